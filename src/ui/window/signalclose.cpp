// VexaHost - the close on a signal.
#include "ui/window/signalclose.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vexa {

#ifdef Q_OS_UNIX
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

int g_pipe[2] = {-1, -1};

// The first signal, as the handler that took it recorded it. `timeout` and
// some service managers send their one request twice, to the program and
// then to its process group, so the same signal from the same process
// shortly after is that request again, not an operator who insists.
enum FirstState : int { NoneYet, Recording, Recorded };
std::atomic<int> g_first{NoneYet};
std::atomic<int> g_firstSignal{0};
std::atomic<pid_t> g_firstSender{0};
std::atomic<long long> g_firstNs{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free
              && std::atomic<long long>::is_always_lock_free);
constexpr long long kSameRequestNs = 1'000'000'000;
struct sigaction g_previous[3];

long long monotonicNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now); // safe in a handler
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

pid_t senderOf(const siginfo_t *info)
{
    // Only a kill() names its sender; the terminal's Ctrl+C comes from the
    // kernel, and two of those are the operator pressing twice.
    return info && info->si_code == SI_USER ? info->si_pid : 0;
}

extern "C" void onSignal(int signal, siginfo_t *info, void *)
{
    const pid_t sender = senderOf(info);
    int expected = NoneYet;
    if (!g_first.compare_exchange_strong(expected, Recording)) {
        // Another thread may be recording the first right now; it takes a
        // few stores. The handlers mask each other, so it is never this one.
        while (g_first.load() == Recording) {
        }
        const bool sameRequest = sender != 0 && signal == g_firstSignal.load() && sender == g_firstSender.load()
                                 && monotonicNs() - g_firstNs.load() < kSameRequestNs;
        if (sameRequest)
            return;
        // The close is under way or stuck: the operator insists.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    g_firstSignal = signal;
    g_firstSender = sender;
    g_firstNs = monotonicNs();
    g_first = Recorded;
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t ignored = ::write(g_pipe[1], &number, 1);
    errno = savedErrno;
}

} // namespace
#endif

SignalClose::SignalClose(QWidget *window, QObject *parent) : QObject(parent), m_window(window)
{
#ifdef Q_OS_UNIX
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("VexaHost: signals end the program without saving (%s).",
                 g_pipe[0] >= 0 ? "caught elsewhere" : qPrintable(qt_error_string(errno)));
        return;
    }
    g_first = NoneYet;
    m_retry.setInterval(200);
    connect(&m_retry, &QTimer::timeout, this, &SignalClose::closeWindows);
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalClose::onPipeReadable);
    struct sigaction action = {};
    action.sa_sigaction = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals)
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART | SA_SIGINFO;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
#endif
}

SignalClose::~SignalClose()
{
#ifdef Q_OS_UNIX
    if (!m_notifier)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
    g_first = NoneYet;
#endif
}

void SignalClose::onPipeReadable()
{
#ifdef Q_OS_UNIX
    unsigned char number = 0;
    while (::read(g_pipe[0], &number, 1) == 1)
        emit received(number);
#endif
    if (m_closing)
        return;
    m_closing = true;
    qApp->installEventFilter(this);
    closeWindows();
}

void SignalClose::closeWindows()
{
    // The main window first: its close writes the settings, whatever the
    // boxes over it would have said.
    if (m_window && m_window->isVisible())
        m_window->close();
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible() || widget == m_window)
            continue;
        if (auto *dialog = qobject_cast<QDialog *>(widget))
            dialog->reject(); // a question is answered No, Cancel
        else
            widget->close();
    }
    // A window may refuse while it works (the loader window during a
    // transfer, which ends now that the port is closed): asked again.
    const auto widgets = QApplication::topLevelWidgets();
    const bool open = std::any_of(widgets.begin(), widgets.end(), [](QWidget *w) { return w->isVisible(); });
    if (!open)
        m_retry.stop();
    else if (!m_retry.isActive())
        m_retry.start();
}

bool SignalClose::eventFilter(QObject *watched, QEvent *event)
{
    // The code a rejected box returns to may open another one.
    if (event->type() == QEvent::Show)
        if (auto *dialog = qobject_cast<QDialog *>(watched); dialog && dialog->isWindow())
            QTimer::singleShot(0, dialog, &QDialog::reject);
    return QObject::eventFilter(watched, event);
}

} // namespace vexa
