// vexa-agent - SIGTERM, SIGINT and SIGHUP into the event loop: the handler
// only writes the signal's number to a pipe; a notifier reads it where
// anything may be done.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace vexa::agent {

class SignalPipe : public QObject
{
    Q_OBJECT
public:
    explicit SignalPipe(QObject *parent = nullptr);

signals:
    void stopAsked();
    void reloadAsked();

private:
    static inline int s_pipe[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace vexa::agent
