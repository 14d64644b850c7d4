// vexactl - the firmware upgrade as the loader window runs it, with nobody
// at it.
#pragma once

#include <QObject>
#include <QString>

#include "firmware/firmwareupgrade.h"
#include "session/sessionfirmwarehost.h"

namespace vexa {
class ReaderSession;
}

namespace vexa::ctl {

class TerminalPrompt;

// The loader is captured, the file programmed as soon as it may be, and
// the loader told to go; progress on standard error. The event loop ends
// with the exit status.
class FirmwareRun : public QObject
{
public:
    FirmwareRun(ReaderSession &session, TerminalPrompt &prompt, const QString &path);

    // False with the exit status when the upgrade did not begin.
    bool start(int *exitCode);

private:
    void leaveLoader();
    QString chooseFile(const FirmwareFileRequest &request);
    void showProgress(int value, int maximum);

    SessionFirmwareHost m_host;
    FirmwareUpgrade m_upgrade;
    TerminalPrompt &m_prompt;
    QString m_path;
    bool m_terminal;
    bool m_programmed = false;
    bool m_programStarted = false;
    bool m_going = false;
    bool m_failed = false;
    bool m_refused = false;
    int m_errorsBefore = 0;
    int m_informationsBefore = 0;
    int m_lastPercent = -1;
};

} // namespace vexa::ctl
