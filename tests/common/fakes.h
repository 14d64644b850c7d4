// VexaHost test helpers: a transport that records what is written and can
// be fed replies, and a prompt that records messages and answers scripted.
#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include "ui/operatorprompt.h"
#include "frames.h"
#include "link/transport.h"

namespace vexa::test {

class FakeTransport : public Transport
{
public:
    using Transport::Transport;
    bool write(const QByteArray &frame, QString *error) override
    {
        if (!failWith.isEmpty()) {
            if (error)
                *error = failWith;
            return false;
        }
        written << frame;
        return true;
    }
    void feed(const QByteArray &bytes) { emit bytesArrived(bytes); }

    QList<QByteArray> written;
    QString failWith;
};

class ScriptedPrompt : public OperatorPrompt
{
public:
    void message(Kind, const QString &text) override { messages << text; }
    bool confirm(const QString &text) override
    {
        confirmations << text;
        return confirmAnswer;
    }

    QStringList messages;
    QStringList confirmations;
    bool confirmAnswer = true;
};

} // namespace vexa::test
