// vexactl - one command on the reader session: sent once, or as the
// session's Repeat cycle (--repeat, its --interval) until the count or a
// stop; its answers on standard output and a summary on standard error.
#pragma once

#include <functional>
#include <optional>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include "core/session/readersession.h"
#include "ctl/commandline.h"
#include "ctl/output.h"

namespace vexa::ctl {

class TerminalPrompt;

// iso-options: changes the options of the commands that follow in this run
// (never the window's settings) and prints them; nothing goes to the reader.
void changeIsoOptions(ReaderOptions &options, const Invocation &invocation);

// The session's command for an action; none for those that are no single
// reader command (iso-options, run, firmware).
std::optional<Command> actionCommand(const Action &action);

// Runs one command against the session and ends the event loop with its
// exit status.
class CommandRun : public QObject
{
public:
    // `done` is called once with the exit status, when the last exchange
    // has ended or a stop was asked for.
    CommandRun(ReaderSession &session, TerminalPrompt &prompt, const Invocation &invocation,
               std::function<void(int)> done);

    // Sends the first exchange; false with the exit status when nothing was sent.
    bool start(int *exitCode);

    // Why the run failed (the worst exchange's reason), without the command.
    QString reason() const { return m_reason.isEmpty() ? QStringLiteral("failed") : m_reason; }

    // Ctrl-C or SIGTERM: the exchange in flight ends first.
    void requestStop();

private:
    bool send(int *exitCode);
    void onAnswered(const Answer &answer);
    void onTagEvents(const QList<TagEvent> &events);
    void onCycleState(CommandCycle::State state);
    void end();

    ReaderSession &m_session;
    TerminalPrompt &m_prompt;
    const Invocation &m_invocation;
    QString m_refusal; // why the send sent nothing
    QString m_reason;  // why the worst exchange failed
    std::function<void(int)> m_done;
    QElapsedTimer m_clock;
    bool m_inFlight = false;
    bool m_last = false; // the exchange in flight is the last one
    bool m_stopRequested = false;
    bool m_ended = false;
    int m_exitCode = ExitOk;
    int m_exchanges = 0;
    int m_answers = 0;
    int m_errors = 0;
    int m_timeouts = 0;
};

} // namespace vexa::ctl
