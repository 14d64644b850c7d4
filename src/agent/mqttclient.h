// VexaHost - vexa-agent's connection to the site's MQTT broker: libmosquitto
// driven from the Qt event loop that also runs the reader sessions.
//
// No thread of its own: the library's socket is watched by two
// QSocketNotifiers (read; write only while the library has bytes queued)
// and a one-second timer calls the library's housekeeping (keepalive pings,
// a connection attempt that never got its answer). Every call into the
// library happens on the owner's thread, so its callbacks do too.
//
// The connection keeps itself up: an attempt that fails and a connection
// that drops are retried after a delay that doubles from retryMinMs to
// retryMaxMs (RetryDelay; with some jitter, so that agents that lost one
// broker do not all come back in the same instant) and starts again from
// retryMinMs once the broker has answered. stop() is the only way to end it.
//
// A TLS handshake that fails is reported with the library's own words for
// it (its log) and the certificate check's verdict, not only "A TLS error
// occurred.".
//
// Publishing is bounded: at most maxInflight QoS 1 messages are handed to
// the library and not yet acknowledged by the broker (PUBACK). Beyond that,
// and while not connected, publish() refuses and the caller keeps the
// message (the agent's on-disk queue); published(mid) says when to hand over
// the next one. So a slow broker slows the caller down instead of filling
// memory. A message handed over but not acknowledged when the connection
// drops stays with the library, which sends it again after the reconnect
// (flagged as a duplicate, as QoS 1 allows); its published(mid) comes then.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

struct mosquitto;
struct mosquitto_message;
class QSocketNotifier;

namespace vexa {

struct MqttOptions
{
    QString host = QStringLiteral("localhost");
    int port = 1883;
    // Empty: the library makes up one. The session is always clean; the
    // client subscribes again on every connection.
    QString clientId;
    int keepaliveSeconds = 60;
    QString username;
    QString password;
    // TLS when `tls` is set or any of the files is given; without caFile the
    // system's certificate authorities are trusted. certFile and keyFile
    // (the client's own certificate) go together.
    bool tls = false;
    QString caFile;
    QString certFile;
    QString keyFile;
    // The broker publishes willPayload (retained, QoS 1) on willTopic when
    // this client goes without saying goodbye; empty: no last will.
    QString willTopic;
    QByteArray willPayload = "offline";
    int maxInflight = 20;
    int retryMinMs = 1000;
    int retryMaxMs = 30000;
};

// The wait before the next attempt to reach the broker: `minMs` after a
// connection, doubled at every failure in a row up to `maxMs`.
class RetryDelay
{
public:
    RetryDelay(int minMs, int maxMs) : m_min(minMs), m_max(maxMs), m_next(minMs) {}
    // The wait before this attempt; the next failure waits twice as long.
    int take();
    void reset() { m_next = m_min; }
    int next() const { return m_next; }

private:
    int m_min;
    int m_max;
    int m_next;
};

class MqttClient : public QObject
{
    Q_OBJECT
public:
    explicit MqttClient(const MqttOptions &options, QObject *parent = nullptr);
    ~MqttClient() override;

    // Applies the options and starts connecting; false (with lastError())
    // when the options cannot work (a TLS file missing, a bad will topic).
    // A broker that is not there is no error: the client keeps trying.
    bool start();
    // Says goodbye to the broker (so the last will is not published) and
    // stops reconnecting.
    void stop();

    bool isConnected() const { return m_connected; }
    // Connected and fewer than maxInflight QoS 1 messages unacknowledged.
    bool canPublish() const;
    int inflight() const { return int(m_inflight.size()); }
    // What the next failed attempt waits (without the jitter).
    int nextRetryMs() const { return m_retryDelay.next(); }

    // The message id (> 0), or 0 when refused (see canPublish(), an invalid
    // topic or QoS; lastError() says which). QoS 0 messages count as
    // published once written to the socket.
    int publish(const QString &topic, const QByteArray &payload, int qos = 1, bool retain = false);
    // Kept for the life of the client and sent again on every connection;
    // subscribed(filter) each time the broker has taken it.
    void subscribe(const QString &filter, int qos = 1);

    QString lastError() const { return m_lastError; }

signals:
    void connectedChanged(bool connected);
    void published(int mid);
    void message(const QString &topic, const QByteArray &payload);
    void subscribed(const QString &filter);
    // A failed attempt or a lost connection, for the log; retrying follows.
    void problem(const QString &text);

private:
    static void onConnect(mosquitto *, void *self, int rc);
    static void onDisconnect(mosquitto *, void *self, int rc);
    static void onPublish(mosquitto *, void *self, int mid);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *msg);
    static void onSubscribe(mosquitto *, void *self, int mid, int count, const int *granted);
    static void onLog(mosquitto *, void *self, int level, const char *text);

    bool configure();
    void attempt();
    void retryLater();
    void readable();
    void writable();
    void housekeeping();
    void afterLoop(int rc);
    void watchSocket();
    void dropSocket();
    void connackReceived(int rc);
    void connectionLost(int rc);
    void sendSubscribe(const QString &filter, int qos);
    void setConnected(bool connected);
    bool fail(const QString &text);
    int refuse(const QString &text);
    // problem(text) from the event loop, as every signal the library's
    // callbacks cause.
    void report(const QString &text);

    MqttOptions m_options;
    mosquitto *m_mosq = nullptr;
    int m_fd = -1;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_misc;
    QTimer m_retry;
    RetryDelay m_retryDelay{1000, 30000};
    QString m_tlsFailure; // of the attempt under way, from the library's log
    bool m_running = false;
    bool m_connected = false;
    QSet<int> m_inflight;
    QHash<QString, int> m_subscriptions;
    QHash<int, QString> m_subscribing; // by message id, until the broker's answer
    QString m_lastError;
};

} // namespace vexa
