// vexa-agent - signals through a pipe (the self-pipe pattern).
#include "agent/signalpipe.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <QSocketNotifier>
#include <unistd.h>

namespace vexa::agent {

SignalPipe::SignalPipe(QObject *parent) : QObject(parent)
{
    if (::pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char signo;
        while (::read(s_pipe[0], &signo, 1) == 1) {
            if (signo == SIGHUP)
                emit reloadAsked();
            else
                emit stopAsked();
        }
    });
    struct sigaction action = {};
    action.sa_handler = [](int signo) {
        const int saved = errno;
        const char byte = char(signo);
        [[maybe_unused]] const auto written = ::write(s_pipe[1], &byte, 1);
        errno = saved;
    };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signo : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signo, &action, nullptr);
    // A broker connection closed under a write must not end the agent.
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace vexa::agent
