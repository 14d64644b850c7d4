// VexaHost - the close on a signal.
#include "app/signalclose.h"

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
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vexa {

#ifdef Q_OS_UNIX
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

int g_pipe[2] = {-1, -1};
// Lock-free, so safe in a handler; atomic, because two signals may be
// handled at once on two threads and exactly one of them must be the first.
std::atomic<bool> g_received{false};
static_assert(std::atomic<bool>::is_always_lock_free);
struct sigaction g_previous[3];

extern "C" void onSignal(int signal)
{
    if (g_received.exchange(true)) {
        // The close is under way or stuck: the operator insists.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
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
    g_received = false;
    m_retry.setInterval(200);
    connect(&m_retry, &QTimer::timeout, this, &SignalClose::closeWindows);
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalClose::onPipeReadable);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
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
    g_received = false;
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
