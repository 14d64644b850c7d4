// vexactl - standard output, standard error and the prompt nobody answers.
#include "terminal.h"

#include <cerrno>
#include <cstdio>
#include <utility>

namespace vexa::ctl {

namespace {
int s_outputError = 0;
std::function<void()> s_outputFailed;

// Each line made printable on its own: a message's own line breaks stay.
QString printableLines(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = printableText(line);
    return lines.join(QLatin1Char('\n'));
}
} // namespace

void printError(const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
    std::fflush(stderr);
}

void printReason(const QString &reason)
{
    printError(QStringLiteral("vexactl: ") + printableText(reason));
}

bool printOut(const QByteArray &text)
{
    if (s_outputError)
        return false;
    errno = 0;
    const size_t written = std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    if (written == size_t(text.size()) && std::fflush(stdout) == 0)
        return true;
    s_outputError = errno ? errno : EIO;
    if (s_outputFailed)
        s_outputFailed();
    return false;
}

void setOutputFailedHandler(std::function<void()> handler)
{
    s_outputFailed = std::move(handler);
}

int outputError()
{
    return s_outputError;
}

QString oneLine(const QStringList &messages)
{
    return messages.join(QLatin1Char(' ')).split(QLatin1Char('\n'), Qt::SkipEmptyParts).join(QLatin1Char(' ')).trimmed();
}

void TerminalPrompt::message(Kind kind, const QString &text)
{
    if (kind == Kind::Error)
        ++errors;
    if (kind == Kind::Information)
        ++informations;
    if (m_holding && kind != Kind::Information)
        m_held << text;
    else
        printError(printableLines(text));
}

QStringList TerminalPrompt::release()
{
    m_holding = false;
    return std::exchange(m_held, {});
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
        printError(printableLines(text) + QStringLiteral(" No"));
        return false;
    }
    m_asked = true;
    if (!m_yes && m_holding) {
        // The question becomes the reason nothing was sent.
        m_held << text + QStringLiteral(" Not sent; give --yes to confirm.");
        return false;
    }
    if (!m_yes)
        printError(printableLines(text));
    return m_yes;
}

} // namespace vexa::ctl
