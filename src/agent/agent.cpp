// vexa-agent - the readers, the queue and the broker, in one event loop.
#include "agent/agent.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTimeZone>

#include "agent/agentcommand.h"
#include "agent/readeragent.h"
#include "core/session/taglogexport.h"
#include "core/util/regularfile.h"

namespace vexa::agent {

namespace {

const QString kAgentName = QStringLiteral("_agent");
// Handed to the client at a time: a backlog is read from the disk in runs.
constexpr int kPeekRun = 32;

QString brokerKey(const BrokerConfig &b)
{
    return QStringList{b.host, QString::number(b.effectivePort()), b.clientId, b.prefix, b.username, b.password,
                       b.passwordFile, QString::number(b.tls), b.caFile, b.certFile, b.keyFile,
                       QString::number(b.keepAliveSeconds), QString::number(b.reconnectMaxSeconds)}
        .join(QChar(0));
}

// Everything that, changed, needs the reader's session started afresh.
QString readerKey(const ReaderConfig &r)
{
    return QStringList{QString::number(int(r.interface)), r.port, r.device, QString::number(r.baud),
                       QString::number(r.addressing.addressReader), r.addressing.readerSerialNumber, r.command,
                       QString::number(r.intervalMs), QString::number(r.arrivalFirstBlock),
                       QString::number(r.arrivalLastBlock), QString::number(r.allow),
                       QString::number(r.fast)}
        .join(QChar(0));
}

// The time now, but past the last start's value: a clock set back between
// two starts must not give the second an older or the same run.
qint64 nextRunId(const QString &stateDir)
{
    const QString path = stateDir + QStringLiteral("/run");
    const RegularFileRead last = readRegularFile(path, 32);
    const qint64 previous = last.status == RegularFileRead::Status::Read ? last.bytes.trimmed().toLongLong() : 0;
    const qint64 run = std::max(QDateTime::currentMSecsSinceEpoch(), previous + 1);
    const QString why = replaceFile(path, QByteArray::number(run) + '\n');
    if (!why.isEmpty())
        logLine(QStringLiteral("cannot keep this start's run in %1: %2").arg(path, why));
    return run;
}

} // namespace

MqttOptions mqttOptions(const BrokerConfig &broker)
{
    MqttOptions o;
    o.host = broker.host;
    o.port = broker.effectivePort();
    o.clientId = broker.clientId.isEmpty() ? QStringLiteral("vexa-agent-") + QSysInfo::machineHostName()
                                           : broker.clientId;
    o.keepaliveSeconds = broker.keepAliveSeconds;
    o.retryMinMs = 1000;
    o.retryMaxMs = broker.reconnectMaxSeconds * 1000;
    o.username = broker.username;
    o.password = broker.password;
    if (!broker.passwordFile.isEmpty()) {
        QFile file(broker.passwordFile);
        if (file.open(QIODevice::ReadOnly))
            o.password = QString::fromUtf8(file.readLine()).trimmed();
    }
    o.tls = broker.tls;
    o.caFile = broker.caFile;
    o.certFile = broker.certFile;
    o.keyFile = broker.keyFile;
    o.willTopic = broker.prefix + QLatin1Char('/') + kAgentName + QStringLiteral("/status");
    o.willPayload = "offline";
    return o;
}

Agent::Agent(QString configPath, const AgentConfig &config, QObject *parent)
    : QObject(parent), m_configPath(std::move(configPath)), m_config(config)
{
    // One flushed state file per run of confirmations, not per message.
    m_ackTimer.setSingleShot(true);
    m_ackTimer.setInterval(100);
    connect(&m_ackTimer, &QTimer::timeout, this, &Agent::acknowledge);
    m_flushDeadline.setSingleShot(true);
    connect(&m_flushDeadline, &QTimer::timeout, this, &Agent::finishStop);
}

Agent::~Agent()
{
    qDeleteAll(m_readers);
}

QString Agent::topic(const QString &reader, const char *leaf) const
{
    return QStringLiteral("%1/%2/%3").arg(m_config.broker.prefix, reader, QLatin1String(leaf));
}

bool Agent::start(QString *error)
{
    m_queue = std::make_unique<EventQueue>(m_config.agent.stateDir + QStringLiteral("/queue"),
                                           qint64(m_config.agent.queueLimitMegabytes) * 1024 * 1024);
    if (!m_queue->open()) {
        *error = m_queue->errorString();
        return false;
    }
    if (m_queue->cutBytes() > 0)
        logLine(QStringLiteral("the event queue's torn tail was cut (%1 bytes)").arg(m_queue->cutBytes()));
    m_handedUpTo = m_queue->acknowledged();
    m_runId = nextRunId(m_config.agent.stateDir);
    if (m_queue->dropped() > 0)
        logLine(QStringLiteral("%1 events dropped before this start are still to be told").arg(m_queue->dropped()));
    if (!startClient()) {
        *error = m_mqtt->lastError();
        return false;
    }
    for (const ReaderConfig &reader : std::as_const(m_config.readers))
        addReader(reader);
    return true;
}

bool Agent::startClient()
{
    m_mqtt = std::make_unique<MqttClient>(mqttOptions(m_config.broker));
    m_inflight.clear();
    m_directInflight.clear();
    m_outstanding.clear();
    m_lostMid = 0;
    m_handedUpTo = m_queue->acknowledged();
    connect(m_mqtt.get(), &MqttClient::problem, this, [](const QString &text) { logLine(QStringLiteral("broker: ") + text); });
    connect(m_mqtt.get(), &MqttClient::published, this, &Agent::onPublished);
    connect(m_mqtt.get(), &MqttClient::message, this, &Agent::onMessage);
    connect(m_mqtt.get(), &MqttClient::connectedChanged, this, [this](bool connected) {
        if (!connected)
            return;
        logLine(QStringLiteral("connected to the broker at %1:%2").arg(m_config.broker.host).arg(m_config.broker.effectivePort()));
        // Retained states the broker may have lost, or never had.
        // Every state afresh, the agent's first: those still waiting are
        // replaced, not sent twice.
        if (!m_stopping) {
            m_direct.removeIf([](const Direct &d) { return d.retain; });
            QList<Direct> states{{topic(kAgentName, "status"), "online", true}};
            for (ReaderAgent *reader : std::as_const(m_readers))
                states.append({topic(reader->config().name, "status"), reader->online() ? "online" : "offline", true});
            m_direct = states + m_direct;
        }
        pump();
    });
    m_mqtt->subscribe(m_config.broker.prefix + QStringLiteral("/+/command"));
    return m_mqtt->start();
}

void Agent::addReader(const ReaderConfig &config)
{
    auto *reader = new ReaderAgent(config, m_config.agent.absenceMs, m_runId, m_lastSeq.value(config.name), this);
    m_readers.insert(config.name, reader);
    const QString name = config.name;
    connect(reader, &ReaderAgent::onlineChanged, this, [this, name](bool online) { setStatus(name, online); });
    connect(reader, &ReaderAgent::eventsReady, this,
            [this, name](const QList<QByteArray> &messages) { append(topic(name, "events"), messages); });
    connect(reader, &ReaderAgent::replyReady, this,
            [this, name](const QByteArray &payload) { postDirect({topic(name, "reply"), payload, false}); });
    setStatus(name, false);
    reader->start();
}

void Agent::removeReader(const QString &name)
{
    ReaderAgent *reader = m_readers.take(name);
    if (!reader)
        return;
    m_lastSeq.insert(name, reader->lastSeq());
    reader->stop();
    delete reader;
    setStatus(name, false);
}

void Agent::setStatus(const QString &reader, bool online)
{
    postDirect({topic(reader, "status"), online ? "online" : "offline", true});
}

void Agent::postDirect(Direct direct)
{
    // A status waiting is replaced by the newer one; replies are bounded.
    if (direct.retain) {
        m_direct.removeIf([&](const Direct &d) { return d.retain && d.topic == direct.topic; });
    } else if (m_direct.size() >= kDirectLimit) {
        logLine(QStringLiteral("%1: the broker is away; a reply was dropped").arg(direct.topic));
        return;
    }
    m_direct.append(std::move(direct));
    pump();
}

void Agent::append(const QString &topicName, const QList<QByteArray> &payloads)
{
    QList<QByteArray> records;
    for (const QByteArray &payload : payloads)
        records << topicName.toUtf8() + '\n' + payload;
    const quint64 droppedBefore = m_queue->dropped();
    if (!records.isEmpty() && !m_queue->appendBatch(records))
        logLine(QStringLiteral("the event queue refused %1 messages: %2").arg(records.size()).arg(m_queue->errorString()));
    if (m_queue->dropped() > droppedBefore)
        logLine(QStringLiteral("the event queue was full: %1 events dropped unpublished")
                    .arg(m_queue->dropped() - droppedBefore));
    pump();
}

void Agent::onMessage(const QString &topicName, const QByteArray &payload)
{
    const QStringList levels = topicName.mid(m_config.broker.prefix.size() + 1).split(QLatin1Char('/'));
    if (levels.size() != 2 || levels.at(1) != QLatin1String("command") || m_stopping)
        return;
    if (ReaderAgent *reader = m_readers.value(levels.at(0))) {
        reader->command(payload);
        return;
    }
    if (levels.at(0) == kAgentName)
        return;
    QJsonObject refusal{{QStringLiteral("status"), QStringLiteral("refused")},
                        {QStringLiteral("reason"), QStringLiteral("no such reader")}};
    if (const QJsonValue id = QJsonDocument::fromJson(payload).object().value(QStringLiteral("id")); !id.isUndefined())
        refusal.insert(QStringLiteral("id"), id);
    postDirect({topic(levels.at(0), "reply"), QJsonDocument(refusal).toJson(QJsonDocument::Compact), false});
}

void Agent::pump()
{
    if (!m_mqtt)
        return;
    while (m_mqtt->canPublish()) {
        if (!m_direct.isEmpty()) {
            const Direct &d = m_direct.first();
            const int mid = m_mqtt->publish(d.topic, d.payload, 1, d.retain);
            if (mid <= 0)
                return;
            m_directInflight.insert(mid, true);
            m_direct.removeFirst();
            continue;
        }
        if (m_lostMid == 0 && m_queue->dropped() > 0) {
            if (!publishLost())
                return;
            continue;
        }
        const QList<QueuedEvent> records = m_queue->peek(kPeekRun, m_handedUpTo);
        if (records.isEmpty())
            return;
        for (const QueuedEvent &record : records) {
            if (!m_mqtt->canPublish())
                return;
            const qsizetype newline = record.payload.indexOf('\n');
            const int mid = newline > 0 ? m_mqtt->publish(QString::fromUtf8(record.payload.left(newline)),
                                                          record.payload.mid(newline + 1), 1, false)
                                        : 0;
            if (mid > 0) {
                m_inflight.insert(mid, record.seq);
                m_outstanding.insert(record.seq);
            } else if (m_mqtt->canPublish()) {
                // Not ours or not publishable: skipped, never retried forever.
                logLine(QStringLiteral("queue record %1 is not a message; skipped").arg(record.seq));
            } else {
                return;
            }
            m_handedUpTo = record.seq;
        }
    }
}

bool Agent::publishLost()
{
    m_lostCount = m_queue->dropped();
    const QJsonObject lost{{QStringLiteral("event"), QStringLiteral("lost")},
                           {QStringLiteral("count"), qint64(m_lostCount)},
                           {QStringLiteral("time"), QString::fromLatin1(tagcsv::isoTime(
                                                        QDateTime::currentMSecsSinceEpoch(),
                                                        QTimeZone::systemTimeZone()))}};
    m_lostMid = m_mqtt->publish(topic(kAgentName, "events"), QJsonDocument(lost).toJson(QJsonDocument::Compact), 1,
                                false);
    return m_lostMid > 0;
}

void Agent::onPublished(int mid)
{
    if (mid == m_lostMid) {
        // More may have been dropped meanwhile: those stay for the next notice.
        m_lostMid = 0;
        if (!m_queue->forgetDropped(m_lostCount))
            logLine(QStringLiteral("the event queue's state: %1").arg(m_queue->errorString()));
    } else if (m_directInflight.remove(mid) == 0) {
        const auto it = m_inflight.constFind(mid);
        if (it != m_inflight.cend()) {
            m_outstanding.erase(*it);
            m_inflight.erase(it);
            if (!m_ackTimer.isActive())
                m_ackTimer.start();
        }
    }
    pump();
    if (m_stopping && m_direct.isEmpty() && m_mqtt->inflight() == 0)
        finishStop();
}

void Agent::acknowledge()
{
    const quint64 upTo = m_outstanding.empty() ? m_handedUpTo : *m_outstanding.begin() - 1;
    if (upTo > m_queue->acknowledged() && !m_queue->acknowledge(upTo))
        logLine(QStringLiteral("the event queue's state: %1").arg(m_queue->errorString()));
}

void Agent::stop(std::function<void()> done)
{
    if (m_stopping)
        return;
    m_stopping = true;
    m_done = std::move(done);
    logLine(QStringLiteral("stopping"));
    for (ReaderAgent *reader : std::as_const(m_readers)) {
        reader->stop();
        setStatus(reader->config().name, false);
    }
    postDirect({topic(kAgentName, "status"), "offline", true});
    if (!m_mqtt->isConnected() || (m_direct.isEmpty() && m_mqtt->inflight() == 0)) {
        QTimer::singleShot(0, this, &Agent::finishStop);
        return;
    }
    m_flushDeadline.start(kFlushMs);
}

void Agent::finishStop()
{
    if (!m_done)
        return;
    m_flushDeadline.stop();
    m_ackTimer.stop();
    acknowledge();
    m_mqtt->stop();
    std::exchange(m_done, {})();
}

void Agent::reload()
{
    if (m_stopping)
        return;
    const ParsedConfig parsed = loadAgentConfig(m_configPath, checkScheduleCommand);
    if (!parsed.ok()) {
        for (const QString &line : parsed.faultLines(m_configPath))
            logLine(line);
        logLine(QStringLiteral("the configuration was not reloaded; the agent goes on as it was"));
        return;
    }
    const AgentConfig next = parsed.config;
    if (next.agent.stateDir != m_config.agent.stateDir || next.agent.queueLimitMegabytes != m_config.agent.queueLimitMegabytes)
        logLine(QStringLiteral("\"state-dir\" and \"queue-limit\" take effect at the next start"));
    const bool brokerChanged = brokerKey(next.broker) != brokerKey(m_config.broker);
    const bool absenceChanged = next.agent.absenceMs != m_config.agent.absenceMs;
    QHash<QString, const ReaderConfig *> wanted;
    for (const ReaderConfig &r : next.readers)
        wanted.insert(r.name, &r);
    for (const QString &name : m_readers.keys()) {
        const ReaderConfig *r = wanted.value(name);
        if (!r || absenceChanged || readerKey(*r) != readerKey(m_readers.value(name)->config())) {
            logLine(QStringLiteral("%1: %2").arg(name, r ? QStringLiteral("changed; started afresh") : QStringLiteral("removed")));
            removeReader(name);
        }
    }
    if (brokerChanged) {
        // The new connection says every status again; records handed to
        // the old one and not confirmed go again (QoS 1 allows it).
        logLine(QStringLiteral("the broker's settings changed; connecting afresh"));
        m_mqtt->stop();
        m_direct.clear();
        m_config.broker = next.broker;
        if (!startClient())
            logLine(QStringLiteral("broker: ") + m_mqtt->lastError());
    }
    m_config.agent.absenceMs = next.agent.absenceMs;
    m_config.readers = next.readers;
    for (const ReaderConfig &r : next.readers) {
        if (!m_readers.contains(r.name)) {
            logLine(QStringLiteral("%1: started").arg(r.name));
            addReader(r);
        }
    }
    logLine(QStringLiteral("the configuration was reloaded"));
}

} // namespace vexa::agent
