// VexaHost test helpers: a transport that records what is written and can
// be fed replies, and a prompt that records messages and answers scripted.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QStringList>

#include "core/link/portmap.h"
#include "core/link/transport.h"
#include "core/settings/settingsstore.h"
#include "frames.h"
#include "core/util/operatorprompt.h"

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

// For window tests without a simulator (call after pointing XDG_CONFIG_HOME
// at a test folder): the machine's own serial ports are hidden behind
// port-folder entries that name no device, and the stored settings start
// afresh, so a start neither writes to a real device nor depends on an
// earlier run.
inline void isolateWindowTests()
{
    QDir().mkpath(portFolder());
    for (int n = kLowestListedPort; n <= kHighestListedPort; ++n)
        QFile::link(QStringLiteral("/nonexistent/vexa-port"), portFolder() + QStringLiteral("/COM%1").arg(n));
    QFile::remove(settingsFilePath());
}

} // namespace vexa::test
