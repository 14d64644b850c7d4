// vexactl - the firmware upgrade as the loader window runs it, with nobody
// at it.
#pragma once

#include <QObject>
#include <QString>

#include "core/loader/firmwareupgrade.h"
#include "core/session/sessionfirmwarehost.h"

namespace vexa {
class ReaderSession;
}

namespace vexa::ctl {

class TerminalPrompt;

// The loader is captured, the file programmed as soon as it may be, and
// the loader told to go; progress on standard error. The exit status is
// the upgrade's outcome: 0 only once the application has answered after
// the go command, within the boot window.
class FirmwareRun : public QObject
{
public:
    // How long after the go command the new firmware may take to answer
    // its version question (asked again until then).
    static constexpr int kBootWindowMs = 10000;

    // Why the upgrade of `path` is refused before anything goes to the
    // reader (the reason, for printReason()), or an empty text. Exit status 2.
    static QString refusal(const QString &path, bool yes);

    FirmwareRun(ReaderSession &session, TerminalPrompt &prompt, const QString &path);

    // False with the exit status when the upgrade ended at once.
    bool start(int *exitCode);
    // SIGINT or SIGTERM: the loader stops at its next safe point and is told
    // to go, as after a failure; the run ends as Cancelled.
    void requestStop();

private:
    void showProgress(int value, int maximum);
    void finished();

    SessionFirmwareHost m_host;
    FirmwareUpgrade m_upgrade;
    TerminalPrompt &m_prompt;
    QString m_path;
    bool m_terminal;
    bool m_running = false;
    bool m_ended = false;
    int m_exitCode = 0;
    int m_lastPercent = -1;
};

} // namespace vexa::ctl
