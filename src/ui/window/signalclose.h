// VexaHost - a desktop that ends the program with a signal (logout, `kill`,
// a service manager, Ctrl+C in its terminal) gets the same close as the
// window's own close button: the exchange ends, the settings are written,
// the port is closed, and the program exits normally.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QSocketNotifier;

namespace vexa {

// While one exists, SIGTERM, SIGINT and SIGHUP are caught. The handler only
// writes the signal's number into a pipe; the event loop reads it and closes
// every window, `window` first, and again while one refuses. A box opened by
// the code a close resumes is closed as it shows. A second signal, when the
// first has not yet ended the program, ends it at once through the signal's
// default action; the same signal from the same sender within a second is
// the first one again.
// On platforms without these signals it does nothing.
class SignalClose : public QObject
{
    Q_OBJECT
public:
    explicit SignalClose(QWidget *window, QObject *parent = nullptr);
    ~SignalClose() override;

signals:
    void received(int signal);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onPipeReadable();
    void closeWindows();

    QPointer<QWidget> m_window;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_retry;
    bool m_closing = false;
};

} // namespace vexa
