// vexactl - signals into the event loop: the handler only writes a byte to
// a pipe; the notifier reads it where anything may be done.
#include "stopsignal.h"

#include <csignal>
#include <QSocketNotifier>
#include <unistd.h>

#include "ctl/terminal.h"

namespace vexa::ctl {

StopSignal::StopSignal()
{
    setOutputFailedHandler([this] { raise(); });
    if (::pipe(s_pipe) != 0)
        return;
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        if (::read(s_pipe[0], &byte, 1) == 1) {
            m_raised = true;
            emit raised();
        }
    });
    struct sigaction action = {};
    action.sa_handler = [](int) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(s_pipe[1], &byte, 1);
    };
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void StopSignal::raise()
{
    m_raised = true;
    emit raised();
}

} // namespace vexa::ctl
