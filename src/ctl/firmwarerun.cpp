// vexactl - the firmware upgrade without a window.
#include "firmwarerun.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <QCoreApplication>
#include <QFileInfo>

#include "core/loader/firmwarefile.h"
#include "core/loader/firmwareloader.h"
#include "ctl/commandline.h"
#include "ctl/terminal.h"

namespace vexa::ctl {

QString FirmwareRun::refusal(const QString &path, bool yes)
{
    // Checked as the transfer reads it, so that a file refused here is one
    // the loader would have refused after the capture.
    if (!QFileInfo::exists(path))
        return shownText(path) + QStringLiteral(": no such file.");
    const QStringList filters = firmwareFileRequest(false, LoaderComType::Serial, QString()).filters;
    if (!matchesFileFilters(path, filters))
        return shownText(path) + QStringLiteral(": not a firmware file (%1).").arg(filters.join(QStringLiteral(", ")));
    const FirmwareRead read = readFirmwareFile(path);
    if (!read.error.isEmpty())
        return read.error;
    if (!yes)
        return QStringLiteral("not upgraded; give --yes to confirm.");
    return {};
}

FirmwareRun::FirmwareRun(ReaderSession &session, TerminalPrompt &prompt, const QString &path)
    : m_host(session), m_upgrade(m_host), m_prompt(prompt), m_path(path), m_terminal(::isatty(2) == 1)
{
    m_upgrade.unattended = true;
    // The answer after the go command is the proof, whatever the file's name.
    m_upgrade.awaitUsbReturn = true;
    m_upgrade.bootWindowMs = kBootWindowMs;
    m_upgrade.chooseFile = [this](const FirmwareFileRequest &) { return m_path; };
    connect(&m_upgrade.loader(), &FirmwareLoader::statusChanged, this, [](const QString &text) {
        if (!text.isEmpty())
            printError(text);
    });
    connect(&m_upgrade.loader(), &FirmwareLoader::progressChanged, this, &FirmwareRun::showProgress);
    connect(&m_upgrade, &FirmwareUpgrade::finished, this, &FirmwareRun::finished);
}

bool FirmwareRun::start(int *exitCode)
{
    m_upgrade.start();
    m_prompt.answerOnlyFirstQuestion();
    if (!m_ended) {
        m_running = true;
        return true;
    }
    *exitCode = m_exitCode;
    return false;
}

void FirmwareRun::requestStop()
{
    m_upgrade.stop();
}

void FirmwareRun::finished()
{
    if (m_terminal && m_lastPercent >= 0)
        printError(QString());
    const FirmwareEnd &end = m_upgrade.outcome();
    // Exit status 2 promises that nothing was sent; by now the loader query
    // at least was, so a file refused now is a failed upgrade.
    m_exitCode = end.outcome == FirmwareOutcome::Succeeded ? ExitOk : ExitFirmware;
    if (end.outcome != FirmwareOutcome::Succeeded)
        printReason(QStringLiteral("not upgraded: ") + end.reason);
    m_ended = true;
    if (m_running)
        QCoreApplication::exit(m_exitCode);
}

void FirmwareRun::showProgress(int value, int maximum)
{
    if (maximum <= 0 || (value == 0 && m_lastPercent < 0))
        return;
    const int percent = value * 100 / maximum;
    if (m_terminal) {
        const int filled = percent / 5;
        std::fprintf(stderr, "\r[%s%s] %3d%%", QByteArray(filled, '#').constData(),
                     QByteArray(20 - filled, ' ').constData(), percent);
        std::fflush(stderr);
    } else if (percent / 10 > m_lastPercent / 10) {
        printError(QStringLiteral("%1%").arg(percent / 10 * 10));
    }
    m_lastPercent = std::max(m_lastPercent, percent);
}

} // namespace vexa::ctl
