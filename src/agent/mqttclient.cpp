// VexaHost - vexa-agent's MQTT client: libmosquitto in the Qt event loop.
#include "agent/mqttclient.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <mutex>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSocketNotifier>

#include <mosquitto.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace vexa {

namespace {

// The library's global set-up (its TLS and socket layers) once per process,
// undone after main() returns, when no client is left.
void initLibraryOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        mosquitto_lib_init();
        std::atexit([] { mosquitto_lib_cleanup(); });
    });
}

// The library's own text, but for the one it leaves without words.
QString reason(int rc)
{
    if (rc == MOSQ_ERR_KEEPALIVE)
        return MqttClient::tr("no answer within the keepalive time");
    return QString::fromUtf8(mosquitto_strerror(rc));
}

// The last part of an OpenSSL error line: "error:0A000086:SSL
// routines::certificate verify failed" says "certificate verify failed".
QString sslReason(const QString &line)
{
    return line.section(QLatin1Char(':'), -1).trimmed();
}

// The server certificate's names, held against the host we asked for, as
// the library's own check does (a DNS name, or an address).
bool certificateNames(SSL *ssl, const QByteArray &host)
{
    STACK_OF(X509) *chain = SSL_get_peer_cert_chain(ssl);
    if (!chain || sk_X509_num(chain) < 1)
        return true; // nothing to judge: not a name fault
    X509 *leaf = sk_X509_value(chain, 0);
    return X509_check_host(leaf, host.constData(), size_t(host.size()), 0, nullptr) == 1
           || X509_check_ip_asc(leaf, host.constData(), 0) == 1;
}

} // namespace

int RetryDelay::take()
{
    const int now = m_next;
    m_next = int(std::min<qint64>(qint64(m_next) * 2, m_max));
    return now;
}

MqttClient::MqttClient(const MqttOptions &options, QObject *parent)
    : QObject(parent), m_options(options)
{
    initLibraryOnce();
    const QByteArray id = m_options.clientId.toUtf8();
    m_mosq = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
    if (m_mosq) {
        mosquitto_connect_callback_set(m_mosq, &MqttClient::onConnect);
        mosquitto_disconnect_callback_set(m_mosq, &MqttClient::onDisconnect);
        mosquitto_publish_callback_set(m_mosq, &MqttClient::onPublish);
        mosquitto_message_callback_set(m_mosq, &MqttClient::onMessage);
        mosquitto_subscribe_callback_set(m_mosq, &MqttClient::onSubscribe);
        mosquitto_log_callback_set(m_mosq, &MqttClient::onLog);
    }
    m_misc.setInterval(1000);
    connect(&m_misc, &QTimer::timeout, this, &MqttClient::housekeeping);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttClient::attempt);
}

MqttClient::~MqttClient()
{
    stop();
    dropSocket();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
}

bool MqttClient::fail(const QString &text)
{
    m_lastError = text;
    return false;
}

int MqttClient::refuse(const QString &text)
{
    m_lastError = text;
    return 0;
}

void MqttClient::report(const QString &text)
{
    QMetaObject::invokeMethod(this, [this, text] { emit problem(text); }, Qt::QueuedConnection);
}

bool MqttClient::configure()
{
    const MqttOptions &o = m_options;
    if (!m_mosq)
        return fail(tr("cannot create an MQTT client (out of memory or a client id too long)"));
    if (o.host.isEmpty() || o.port < 1 || o.port > 65535)
        return fail(tr("the broker's host and port (1 to 65535) are needed"));
    // The protocol's limit, and the library's smallest keepalive.
    if (o.keepaliveSeconds != 0 && (o.keepaliveSeconds < 5 || o.keepaliveSeconds > 65535))
        return fail(tr("keepalive must be 0 or 5 to 65535 seconds"));
    if (o.maxInflight < 1 || o.maxInflight > 65535)
        return fail(tr("the in-flight bound must be 1 to 65535 messages"));
    if (o.retryMinMs < 1 || o.retryMaxMs < o.retryMinMs)
        return fail(tr("the reconnect delays must be positive, the longest not below the shortest"));
    // The library keeps no more in flight either; our own bound in publish()
    // is what keeps its queue behind them empty.
    mosquitto_max_inflight_messages_set(m_mosq, unsigned(o.maxInflight));

    const QByteArray user = o.username.toUtf8(), password = o.password.toUtf8();
    if (!user.isEmpty()
        && mosquitto_username_pw_set(m_mosq, user.constData(), password.isEmpty() ? nullptr : password.constData())
            != MOSQ_ERR_SUCCESS)
        return fail(tr("the user name or password is not valid UTF-8"));

    if (!o.willTopic.isEmpty()) {
        const QByteArray topic = o.willTopic.toUtf8();
        if (mosquitto_pub_topic_check(topic.constData()) != MOSQ_ERR_SUCCESS
            || mosquitto_will_set(m_mosq, topic.constData(), int(o.willPayload.size()), o.willPayload.constData(), 1,
                                  true)
                != MOSQ_ERR_SUCCESS)
            return fail(tr("the last will's topic \"%1\" is not a topic to publish on").arg(o.willTopic));
    }

    if (o.tls || !o.caFile.isEmpty() || !o.certFile.isEmpty() || !o.keyFile.isEmpty()) {
        if (o.certFile.isEmpty() != o.keyFile.isEmpty())
            return fail(tr("a client certificate needs its key, and a key its certificate"));
        for (const QString &file : {o.caFile, o.certFile, o.keyFile})
            if (!file.isEmpty() && !QFileInfo(file).isReadable())
                return fail(tr("cannot read the TLS file %1").arg(file));
        const QByteArray ca = QFile::encodeName(o.caFile), cert = QFile::encodeName(o.certFile),
                         key = QFile::encodeName(o.keyFile);
        // Without a CA file, the system's authorities (Debian's hashed folder).
        const int rc = mosquitto_tls_set(m_mosq, ca.isEmpty() ? nullptr : ca.constData(),
                                         ca.isEmpty() ? "/etc/ssl/certs" : nullptr,
                                         cert.isEmpty() ? nullptr : cert.constData(),
                                         key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(tr("TLS cannot be set up: %1").arg(QString::fromUtf8(mosquitto_strerror(rc))));
    }
    return true;
}

bool MqttClient::start()
{
    if (m_running)
        return true;
    if (!configure())
        return false;
    m_running = true;
    m_retryDelay = RetryDelay(m_options.retryMinMs, m_options.retryMaxMs);
    m_misc.start();
    attempt();
    return true;
}

void MqttClient::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_retry.stop();
    m_misc.stop();
    // A clean goodbye: the broker then drops the last will. The packet is
    // two bytes and normally written at once; if not, the write notifier
    // still flushes it.
    if (m_mosq && mosquitto_socket(m_mosq) >= 0)
        mosquitto_disconnect(m_mosq);
    watchSocket();
    m_inflight.clear();
    setConnected(false);
}

void MqttClient::attempt()
{
    if (!m_running)
        return;
    // Notifiers on the old socket must go before the library closes it: its
    // number may come back for the new one.
    dropSocket();
    m_tlsFailure.clear();
    const QByteArray host = m_options.host.toUtf8();
    // Connecting is non-blocking; only looking up a host name waits on the
    // system's resolver (a numeric address or a local resolver avoids that).
    const int rc = mosquitto_connect_async(m_mosq, host.constData(), m_options.port, m_options.keepaliveSeconds);
    watchSocket();
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_CONN_PENDING) {
        report(tr("cannot connect to the broker %1:%2: %3")
                         .arg(m_options.host)
                         .arg(m_options.port)
                         .arg(m_tlsFailure.isEmpty() ? reason(rc) : m_tlsFailure));
        retryLater();
    }
}

void MqttClient::retryLater()
{
    if (!m_running || m_retry.isActive())
        return;
    // Between three quarters and all of the current delay.
    const int wait = m_retryDelay.take();
    m_retry.start(std::max(1, wait - int(QRandomGenerator::global()->bounded(wait / 4 + 1))));
}

void MqttClient::readable()
{
    afterLoop(mosquitto_loop_read(m_mosq, 1));
}

void MqttClient::writable()
{
    afterLoop(mosquitto_loop_write(m_mosq, 1));
}

void MqttClient::housekeeping()
{
    if (mosquitto_socket(m_mosq) >= 0)
        afterLoop(mosquitto_loop_misc(m_mosq));
}

void MqttClient::afterLoop(int rc)
{
    watchSocket();
    // A failed TLS handshake (an unknown authority, say) closes the socket
    // without the disconnect callback: without this the client would wait
    // for ever.
    if (m_running && m_fd < 0 && !m_retry.isActive())
        connectionLost(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc);
}

// Follows the library's socket: after every call into the library it may
// have closed one, opened another or queued bytes to write.
void MqttClient::watchSocket()
{
    const int fd = m_mosq ? mosquitto_socket(m_mosq) : -1;
    if (fd != m_fd) {
        dropSocket();
        if (fd >= 0) {
            m_fd = fd;
            m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(m_readNotifier, &QSocketNotifier::activated, this, &MqttClient::readable);
            m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
            connect(m_writeNotifier, &QSocketNotifier::activated, this, &MqttClient::writable);
        }
    }
    // Write readiness only while there is something to write: a socket is
    // almost always writable, and watching it idle would spin the loop.
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(mosquitto_want_write(m_mosq));
}

void MqttClient::dropSocket()
{
    // Possibly called from one of their own activations: deleteLater.
    for (QSocketNotifier **notifier : {&m_readNotifier, &m_writeNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    m_fd = -1;
}

int MqttClient::publish(const QString &topic, const QByteArray &payload, int qos, bool retain)
{
    if (!m_connected)
        return refuse(tr("not connected to the broker"));
    if (qos < 0 || qos > 2)
        return refuse(tr("QoS must be 0, 1 or 2"));
    if (qos > 0 && int(m_inflight.size()) >= m_options.maxInflight)
        return refuse(tr("%1 messages wait for the broker's acknowledgement").arg(m_inflight.size()));
    const QByteArray name = topic.toUtf8();
    if (name.isEmpty() || mosquitto_pub_topic_check(name.constData()) != MOSQ_ERR_SUCCESS)
        return refuse(tr("\"%1\" is not a topic to publish on").arg(topic));
    if (payload.size() > INT_MAX)
        return refuse(tr("the message is too large"));
    int mid = 0;
    const int rc = mosquitto_publish(m_mosq, &mid, name.constData(), int(payload.size()), payload.constData(), qos,
                                     retain);
    watchSocket();
    if (rc != MOSQ_ERR_SUCCESS)
        return refuse(QString::fromUtf8(mosquitto_strerror(rc)));
    if (qos > 0)
        m_inflight.insert(mid);
    return mid;
}

bool MqttClient::canPublish() const
{
    return m_connected && int(m_inflight.size()) < m_options.maxInflight;
}

void MqttClient::subscribe(const QString &filter, int qos)
{
    m_subscriptions.insert(filter, std::clamp(qos, 0, 2));
    if (m_connected) {
        sendSubscribe(filter, std::clamp(qos, 0, 2));
        watchSocket();
    }
}

void MqttClient::sendSubscribe(const QString &filter, int qos)
{
    int mid = 0;
    if (mosquitto_subscribe(m_mosq, &mid, filter.toUtf8().constData(), qos) == MOSQ_ERR_SUCCESS)
        m_subscribing.insert(mid, filter);
    else
        report(tr("cannot subscribe to \"%1\"").arg(filter));
}

void MqttClient::setConnected(bool connected)
{
    if (m_connected == connected)
        return;
    m_connected = connected;
    // Signals from the library's callbacks are delivered from the event
    // loop: a slot may then publish, stop or delete the client freely, and
    // published(mid) never comes before publish() has returned that mid.
    QMetaObject::invokeMethod(this, [this, connected] { emit connectedChanged(connected); }, Qt::QueuedConnection);
}

void MqttClient::connackReceived(int rc)
{
    if (rc != 0) {
        // The library drops the connection after this; onDisconnect retries.
        report(tr("the broker %1:%2 refused the connection: %3")
                         .arg(m_options.host)
                         .arg(m_options.port)
                         .arg(QString::fromUtf8(mosquitto_connack_string(rc))));
        return;
    }
    m_retryDelay.reset();
    // A clean session forgets subscriptions; queued until the read returns.
    m_subscribing.clear();
    for (auto it = m_subscriptions.cbegin(); it != m_subscriptions.cend(); ++it)
        sendSubscribe(it.key(), it.value());
    setConnected(true);
}

void MqttClient::connectionLost(int rc)
{
    setConnected(false);
    // rc 0 is our own goodbye.
    if (!m_running || rc == 0)
        return;
    // A refusal was reported with the broker's reason already.
    if (rc != MOSQ_ERR_CONN_REFUSED)
        report(tr("lost the broker %1:%2: %3")
                   .arg(m_options.host)
                   .arg(m_options.port)
                   .arg(m_tlsFailure.isEmpty() ? reason(rc) : m_tlsFailure));
    retryLater();
}

void MqttClient::onConnect(mosquitto *, void *self, int rc)
{
    static_cast<MqttClient *>(self)->connackReceived(rc);
}

void MqttClient::onDisconnect(mosquitto *, void *self, int rc)
{
    static_cast<MqttClient *>(self)->connectionLost(rc);
}

void MqttClient::onPublish(mosquitto *, void *self, int mid)
{
    auto *client = static_cast<MqttClient *>(self);
    client->m_inflight.remove(mid);
    QMetaObject::invokeMethod(client, [client, mid] { emit client->published(mid); }, Qt::QueuedConnection);
}

void MqttClient::onMessage(mosquitto *, void *self, const mosquitto_message *msg)
{
    auto *client = static_cast<MqttClient *>(self);
    const QString topic = QString::fromUtf8(msg->topic);
    const QByteArray payload(static_cast<const char *>(msg->payload), msg->payloadlen);
    QMetaObject::invokeMethod(client, [client, topic, payload] { emit client->message(topic, payload); },
                              Qt::QueuedConnection);
}

// Called inside the library while it still holds the failed handshake:
// the certificate check's verdict is read here, before the socket goes.
void MqttClient::onLog(mosquitto *mosq, void *self, int level, const char *text)
{
    auto *client = static_cast<MqttClient *>(self);
    const QString line = QString::fromUtf8(text);
    // The first error of an attempt says most; the ones after it repeat it.
    // Once connected, an error is no handshake's.
    if (!(level & MOSQ_LOG_ERR) || !line.startsWith(QLatin1String("OpenSSL Error")) || !client->m_tlsFailure.isEmpty()
        || client->m_connected)
        return;
    auto *ssl = static_cast<SSL *>(mosquitto_ssl_get(mosq));
    const long verify = ssl ? SSL_get_verify_result(ssl) : X509_V_OK;
    const QString host = client->m_options.host;
    if (verify != X509_V_OK && ssl && !certificateNames(ssl, host.toUtf8()))
        client->m_tlsFailure = tr("the broker's certificate is not for %1").arg(host);
    else if (verify != X509_V_OK)
        client->m_tlsFailure = tr("the broker's certificate is not trusted: %1")
                                   .arg(QString::fromUtf8(X509_verify_cert_error_string(verify)));
    else if (line.contains(QLatin1String("alert")))
        client->m_tlsFailure = tr("the broker refused the TLS handshake: %1").arg(sslReason(line));
    else
        client->m_tlsFailure = tr("the TLS handshake failed: %1").arg(sslReason(line));
}

void MqttClient::onSubscribe(mosquitto *, void *self, int mid, int count, const int *granted)
{
    auto *client = static_cast<MqttClient *>(self);
    const QString filter = client->m_subscribing.take(mid);
    if (filter.isEmpty())
        return;
    // 0x80: the broker refused it (its access rules, a filter it does not take).
    if (count > 0 && granted[0] == 0x80)
        client->report(tr("the broker refused the subscription to \"%1\"").arg(filter));
    else
        QMetaObject::invokeMethod(client, [client, filter] { emit client->subscribed(filter); },
                                  Qt::QueuedConnection);
}

} // namespace vexa
