// vexactl - the terminal side: standard output for reports, standard error
// for everything a person should read, and the prompt nobody answers.
#pragma once

#include <QByteArray>
#include <QString>

#include "session/operatorprompt.h"

namespace vexa::ctl {

// One line on standard error, flushed at once.
void printError(const QString &text);
// Bytes on standard output, flushed at once.
void printOut(const QByteArray &text);

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
    int errors = 0;
    int informations = 0;

private:
    bool m_yes;
    bool m_asked = false;
    bool m_onlyFirstQuestion = false;
};

} // namespace vexa::ctl
