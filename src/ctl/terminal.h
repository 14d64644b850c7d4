// vexactl - the terminal side: standard output for reports, standard error
// for everything a person should read, and the prompt nobody answers.
#pragma once

#include <functional>
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "core/util/operatorprompt.h"
#include "core/util/shown.h"

namespace vexa::ctl {

// One line on standard error, flushed at once.
void printError(const QString &text);
// Why the run fails: "vexactl: " and `reason` on one line of standard
// error, made printable.
void printReason(const QString &reason);
// Bytes on standard output, flushed at once; false once standard output has
// failed (the reader of a pipe has gone, a full disk). From the first
// failure on nothing more is written and the handler set below runs, once.
bool printOut(const QByteArray &text);
void setOutputFailedHandler(std::function<void()> handler);
// The errno of the failed write; 0 while standard output works.
int outputError();

// The session's messages as one reason: their line breaks are the window's
// layout, not meaning.
QString oneLine(const QStringList &messages);

// Nobody is there to answer: messages go to standard error and a question
// is answered by --yes, given or not.
class TerminalPrompt : public OperatorPrompt
{
public:
    explicit TerminalPrompt(bool yes) : m_yes(yes) {}
    // The window's own texts, as its message boxes show them.
    void message(Kind kind, const QString &text) override;
    void titledMessage(Kind kind, const QString &caption, const QString &text) override;
    bool confirm(const QString &text) override;
    void answerOnlyFirstQuestion() { m_onlyFirstQuestion = true; }
    bool asked() const { return m_asked; }
    // While held, errors and warnings are kept, not printed: the caller makes
    // them the reason of its failure, or lets them out when all went well.
    void hold() { m_holding = true; }
    QStringList release();
    int errors = 0;
    int informations = 0;

private:
    bool m_yes;
    bool m_asked = false;
    bool m_onlyFirstQuestion = false;
    bool m_holding = false;
    QStringList m_held;
};

} // namespace vexa::ctl
