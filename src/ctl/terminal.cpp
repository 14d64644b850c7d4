// vexactl - standard output, standard error and the prompt nobody answers.
#include "terminal.h"

#include <cstdio>

namespace vexa::ctl {

void printError(const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
    std::fflush(stderr);
}

void printOut(const QByteArray &text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}

void TerminalPrompt::message(Kind kind, const QString &text)
{
    if (kind == Kind::Error)
        ++errors;
    if (kind == Kind::Information)
        ++informations;
    printError(text);
}

void TerminalPrompt::titledMessage(Kind kind, const QString &caption, const QString &text)
{
    message(kind, caption + QStringLiteral(": ") + text);
}

bool TerminalPrompt::confirm(const QString &text)
{
    // --yes answers the first question; any later one (capture again?)
    // is answered No, so that nobody waits on a loop nobody watches.
    if (m_asked && m_onlyFirstQuestion) {
        printError(text + QStringLiteral(" No"));
        return false;
    }
    m_asked = true;
    if (!m_yes)
        printError(text);
    return m_yes;
}

} // namespace vexa::ctl
