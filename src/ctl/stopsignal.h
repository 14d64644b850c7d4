// vexactl - the stop of a run from outside: Ctrl-C, SIGTERM, or a reader of
// standard output that has gone.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace vexa::ctl {

// Ctrl-C and SIGTERM, brought into the event loop through a pipe. A reader
// of standard output that has gone (`| head -n 1`) ends the run as SIGTERM
// does: the failed write says so, not a signal that would end the program
// before the log and the summary are written.
class StopSignal : public QObject
{
    Q_OBJECT
public:
    StopSignal();

    bool wasRaised() const { return m_raised; }
    // A stop from within: standard output has gone.
    void raise();

signals:
    void raised();

private:
    bool m_raised = false;
    static inline int s_pipe[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace vexa::ctl
