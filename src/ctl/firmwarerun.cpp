// vexactl - the firmware upgrade without a window.
#include "firmwarerun.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include "ctl/commandline.h"
#include "ctl/terminal.h"
#include "firmware/firmwareloader.h"

namespace vexa::ctl {

FirmwareRun::FirmwareRun(ReaderSession &session, TerminalPrompt &prompt, const QString &path)
    : m_host(session), m_upgrade(m_host), m_prompt(prompt), m_path(path), m_terminal(::isatty(2) == 1)
{
    FirmwareLoader &loader = m_upgrade.loader();
    m_upgrade.chooseFile = [this](const FirmwareFileRequest &request) { return chooseFile(request); };
    connect(&m_upgrade, &FirmwareUpgrade::loaderReady, this, [this] { m_upgrade.loader().begin(); });
    connect(&loader, &FirmwareLoader::statusChanged, this, [this](const QString &text) {
        if (!text.isEmpty())
            printError(text);
    });
    connect(&loader, &FirmwareLoader::programAvailableChanged, this, [this](bool available) {
        if (!available || m_programmed)
            return;
        m_programmed = true;
        // Once the capture has handed over, as the operator's button would.
        QTimer::singleShot(0, this, [this] {
            m_errorsBefore = m_prompt.errors;
            m_informationsBefore = m_prompt.informations;
            m_programStarted = true;
            m_upgrade.loader().program();
            if (!m_upgrade.loader().busy())
                leaveLoader();
        });
    });
    connect(&loader, &FirmwareLoader::progressChanged, this, &FirmwareRun::showProgress);
    connect(&loader, &FirmwareLoader::busyChanged, this, [this](bool busy) {
        // A capture that handed over to the transfer is not the end.
        if (!busy && (!m_programmed || m_programStarted))
            leaveLoader();
    });
    connect(&loader, &FirmwareLoader::goDone, this, [this] { m_upgrade.loaderLeft(); });
    connect(&m_upgrade, &FirmwareUpgrade::finished, this, [this] {
        if (m_terminal && m_lastPercent >= 0)
            printError(QString());
        QCoreApplication::exit(m_failed ? ExitFirmware : ExitOk);
    });
}

// False with the exit status when the upgrade did not begin.
bool FirmwareRun::start(int *exitCode)
{
    m_upgrade.start();
    m_prompt.answerOnlyFirstQuestion();
    if (m_upgrade.state() != FirmwareUpgrade::State::Idle)
        return true;
    if (m_refused || !m_prompt.asked()) {
        *exitCode = ExitUsage;
    } else {
        printError(QStringLiteral("vexactl: not upgraded; give --yes to confirm."));
        *exitCode = ExitUsage;
    }
    return false;
}

// The capture or the transfer is over: leave the loader.
void FirmwareRun::leaveLoader()
{
    if (m_going)
        return;
    m_going = true;
    // The transfer says "complete" as an information, a failure as an error.
    m_failed = !m_programStarted || m_prompt.errors != m_errorsBefore
               || m_prompt.informations == m_informationsBefore;
    QTimer::singleShot(0, this, [this] { m_upgrade.loader().go(); });
}

// The file dialog's filters decide which files are taken; a file that
// is not there is the upgrade's to report.
QString FirmwareRun::chooseFile(const FirmwareFileRequest &request)
{
    if (!QFileInfo::exists(m_path)) {
        QTimer::singleShot(0, this, [] { QCoreApplication::exit(ExitUsage); });
        return m_path;
    }
    QStringList patterns;
    for (const QString &filter : request.filters) {
        const qsizetype open = filter.indexOf(QLatin1Char('(')), close = filter.lastIndexOf(QLatin1Char(')'));
        patterns << filter.mid(open + 1, close - open - 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    for (const QString &pattern : patterns) {
        if (QRegularExpression::fromWildcard(pattern, Qt::CaseInsensitive).match(QFileInfo(m_path).fileName()).hasMatch())
            return m_path;
    }
    printError(QStringLiteral("vexactl: %1: not a firmware file (%2).")
                   .arg(m_path, request.filters.join(QStringLiteral(", "))));
    m_refused = true;
    QTimer::singleShot(0, this, [] { QCoreApplication::exit(ExitUsage); });
    return QString();
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
