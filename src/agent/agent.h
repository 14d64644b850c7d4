// vexa-agent - the whole service: the readers, the on-disk event queue and
// the broker connection, and the signals that stop or reload it.
//
// Topics under the prefix P:
//   P/READER/events     QoS 1: one message per exchange's tag events
//                       {"reader","run","seq","events":[...]}
//   P/READER/status     retained "online" / "offline"
//   P/READER/command    in: {"id", "command"}; P/READER/reply out
//   P/_agent/status     retained "online", and "offline" as the last will
//   P/_agent/events     {"event":"lost","count":N,...} when the full queue
//                       dropped events unpublished
//
// "run" is one value per agent start, shared by all its readers: the start's
// time in milliseconds, kept in the state folder so that it grows from one
// start to the next even when the clock was set back. A reader's "seq" goes
// on through the run, also when a reload starts the reader afresh.
//
// The count of events the full queue dropped lives in the queue's state
// file, not in the queue: a notice waiting there could itself be dropped by
// the next overflow. It is said in one notice at a time while connected and
// taken off the count only when the broker has acknowledged that notice, so
// every dropped event is counted once (a notice the library sends again
// after a reconnect is the same message, byte for byte).
//
// Event messages go through the queue: appended (on disk) when made, handed
// to the client in order while it can take more, acknowledged in the queue
// only once the broker has them. Statuses and replies are not kept on disk:
// a status is the reader's state now, a reply answers a client that is
// connected now; both wait in memory while the broker is away.
#pragma once

#include <memory>
#include <set>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTimer>

#include "agent/agentconfig.h"
#include "agent/eventqueue.h"
#include "agent/mqttclient.h"

namespace vexa::agent {

class ReaderAgent;

MqttOptions mqttOptions(const BrokerConfig &broker);

class Agent : public QObject
{
    Q_OBJECT
public:
    // How long a stop waits for the broker to take what is in flight.
    static constexpr int kFlushMs = 3000;
    static constexpr int kDirectLimit = 256;

    Agent(QString configPath, const AgentConfig &config, QObject *parent = nullptr);
    ~Agent() override;

    // Opens the queue and starts the broker connection and the readers;
    // false with `error` when the queue or the client cannot work.
    bool start(QString *error);
    // Stops the readers, says "offline", flushes and calls `done`.
    void stop(std::function<void()> done);
    // Reads the file again; a faulty file changes nothing.
    void reload();

private:
    struct Direct
    {
        QString topic;
        QByteArray payload;
        bool retain = false;
    };

    QString topic(const QString &reader, const char *leaf) const;
    bool startClient();
    void addReader(const ReaderConfig &config);
    void removeReader(const QString &name);
    void setStatus(const QString &reader, bool online);
    void postDirect(Direct direct);
    void append(const QString &topic, const QList<QByteArray> &payloads);
    void onMessage(const QString &topic, const QByteArray &payload);
    void onPublished(int mid);
    void pump();
    void acknowledge();
    void finishStop();
    bool publishLost();

    QString m_configPath;
    AgentConfig m_config;
    std::unique_ptr<EventQueue> m_queue;
    std::unique_ptr<MqttClient> m_mqtt;
    QMap<QString, ReaderAgent *> m_readers;
    QList<Direct> m_direct;
    QHash<int, quint64> m_inflight; // message id -> queue record
    std::set<quint64> m_outstanding; // records handed over, not yet published
    QHash<int, bool> m_directInflight;
    quint64 m_handedUpTo = 0;        // the last record handed to the client
    qint64 m_runId = 0;
    QHash<QString, quint64> m_lastSeq; // of readers a reload started afresh
    int m_lostMid = 0;                 // the notice of dropped events in flight
    quint64 m_lostCount = 0;           // what it counts
    QTimer m_ackTimer;
    bool m_stopping = false;
    std::function<void()> m_done;
    QTimer m_flushDeadline;
};

} // namespace vexa::agent
