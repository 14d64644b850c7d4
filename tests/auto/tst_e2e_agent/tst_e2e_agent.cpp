// vexa-agent end to end: the real program, two simulated readers and a real
// broker, watched by a subscriber. One agent runs through the whole test, so
// the cases follow each other: events, commands, the broker away and back,
// a reader gone and back, the configuration check, a reload, the stop and
// a start again.
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>

#include "agent/eventqueue.h"
#include "agent/mqttclient.h"
#include "mosquittobroker.h"
#include "simprocess.h"

using namespace vexa;
using vexa::test::MosquittoBroker;
using vexa::test::SimProcess;

namespace {

constexpr int kWaitMs = 30000; // a loaded CI machine: wide margins
const QString kTag = QStringLiteral("E004010203040506");

struct Heard
{
    QString topic;
    QJsonObject object; // the payload, when it is JSON
    QByteArray payload;
};

} // namespace

class TstE2eAgent : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void tagEvents();
    void lostBeforeStart();
    void command_data();
    void command();
    void repeatedCommand();
    void brokerRestart();
    void readerGone();
    void checkConfig_data();
    void checkConfig();
    void reload();
    void terminates();
    void runPerStart();

private:
    bool startSim(SimProcess &sim, const QString &port, const QStringList &args);
    // Waits for a message after index `from` that `match` takes; its index or -1.
    qsizetype waitFor(const std::function<bool(const Heard &)> &match, qsizetype from = 0);
    qsizetype waitForEvent(const QString &reader, const QString &event, const QString &tag, qsizetype from);
    qsizetype waitForStatus(const QString &reader, const QByteArray &status, qsizetype from);

    QTemporaryDir m_dir;
    MosquittoBroker m_broker;
    std::unique_ptr<SimProcess> m_left, m_right;
    std::unique_ptr<MqttClient> m_watch;
    QProcess m_agent;
    QString m_config;
    QList<Heard> m_heard;
    qint64 m_droppedBefore = 0;
};

bool TstE2eAgent::startSim(SimProcess &sim, const QString &port, const QStringList &args)
{
    return sim.start(QStringList{QStringLiteral("--port"), port} + args);
}

qsizetype TstE2eAgent::waitFor(const std::function<bool(const Heard &)> &match, qsizetype from)
{
    QDeadlineTimer deadline(kWaitMs);
    for (;;) {
        for (qsizetype i = from; i < m_heard.size(); ++i)
            if (match(m_heard.at(i)))
                return i;
        if (deadline.hasExpired())
            return -1;
        QTest::qWait(20);
    }
}

qsizetype TstE2eAgent::waitForEvent(const QString &reader, const QString &event, const QString &tag, qsizetype from)
{
    return waitFor([&](const Heard &h) {
        if (h.topic != QStringLiteral("test/%1/events").arg(reader))
            return false;
        for (const QJsonValue &e : h.object.value(QLatin1String("events")).toArray())
            if (e[QLatin1String("event")] == event && e[QLatin1String("tag")] == tag)
                return true;
        return false;
    }, from);
}

qsizetype TstE2eAgent::waitForStatus(const QString &reader, const QByteArray &status, qsizetype from)
{
    const QString topic = QStringLiteral("test/%1/status").arg(reader);
    return waitFor([&](const Heard &h) { return h.topic == topic && h.payload == status; }, from);
}

void TstE2eAgent::initTestCase()
{
    VEXA_NEED(MosquittoBroker::installed(), "mosquitto is not installed (scripts/install-deps.sh --test)");
    QVERIFY(m_broker.start());
    // Both readers publish their ports in one folder, which the agent reads.
    m_left = std::make_unique<SimProcess>();
    m_right = std::make_unique<SimProcess>(m_left->configHome());
    QVERIFY(startSim(*m_left, QStringLiteral("COM1"), {QStringLiteral("--no-tags")}));
    QVERIFY(startSim(*m_right, QStringLiteral("COM2"), {}));

    MqttOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = m_broker.port();
    // Back before the agent after a broker restart, whose retry waits longer.
    options.retryMinMs = 100;
    options.retryMaxMs = 200;
    m_watch = std::make_unique<MqttClient>(options);
    connect(m_watch.get(), &MqttClient::message, this, [this](const QString &topic, const QByteArray &payload) {
        m_heard.append({topic, QJsonDocument::fromJson(payload).object(), payload});
    });
    m_watch->subscribe(QStringLiteral("test/#"));
    QVERIFY(m_watch->start());
    QTRY_VERIFY_WITH_TIMEOUT(m_watch->isConnected(), kWaitMs);

    const QString config = QStringLiteral("[broker]\nhost = 127.0.0.1\nport = %1\nprefix = test\n"
                                          "[agent]\nstate-dir = %2\nabsence = 1500\n"
                                          "[reader left]\nport = COM1\ncommand = iso15693 inventory\n"
                                          "interval = 100\non-arrival = read 0-1\n"
                                          "[reader right]\nport = COM2\ncommand = iso15693 inventory\n"
                                          "interval = 100\n")
                               .arg(m_broker.port())
                               .arg(m_dir.filePath(QStringLiteral("state")));
    m_config = config;
    QFile file(m_dir.filePath(QStringLiteral("agent.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(config.toUtf8()) > 0);
    file.close();
    // A queue that dropped records for room in the last run.
    {
        vexa::agent::EventQueue queue(m_dir.filePath(QStringLiteral("state/queue")), 40960);
        QVERIFY(queue.open());
        for (int i = 0; i < 60; ++i)
            QVERIFY(queue.append("test/filler/events\n" + QByteArray(1000, ' ') + "{}") != 0);
        m_droppedBefore = qint64(queue.dropped());
        QVERIFY(m_droppedBefore > 0);
    }
    m_agent.setProcessChannelMode(QProcess::ForwardedChannels);
    m_agent.start(QStringLiteral(VEXA_AGENT_PATH), {QStringLiteral("--config"), file.fileName()});
    QVERIFY(m_agent.waitForStarted());
    QVERIFY(waitForStatus(QStringLiteral("left"), "online", 0) >= 0);
    QVERIFY(waitForStatus(QStringLiteral("right"), "online", 0) >= 0);
}

void TstE2eAgent::cleanupTestCase()
{
    if (m_agent.state() != QProcess::NotRunning) {
        m_agent.kill();
        m_agent.waitForFinished();
    }
}

void TstE2eAgent::tagEvents()
{
    const qsizetype start = m_heard.size();
    QVERIFY(m_left->control(QStringLiteral("tag add iso15693 %1 data=11223344,55667788").arg(kTag)));
    const qsizetype arrived = waitForEvent(QStringLiteral("left"), QStringLiteral("arrive"), kTag, start);
    QVERIFY(arrived >= 0);
    // The arrival's block read: its values in a read event.
    const qsizetype blocks = waitFor([](const Heard &h) {
        for (const QJsonValue &e : h.object.value(QLatin1String("events")).toArray())
            if (e[QLatin1String("blocks")][QLatin1String("1")] == QLatin1String("55667788"))
                return true;
        return false;
    }, arrived);
    QVERIFY(blocks >= 0);
    QVERIFY(m_left->control(QStringLiteral("tag remove %1").arg(kTag)));
    QVERIFY(waitForEvent(QStringLiteral("left"), QStringLiteral("leave"), kTag, blocks) >= 0);
}

// Counted in the state file, told once the broker is there, with the
// offset in its time as every event's.
void TstE2eAgent::lostBeforeStart()
{
    const auto lost = [](const Heard &h) { return h.topic == QLatin1String("test/_agent/events"); };
    const qsizetype notice = waitFor(lost);
    QVERIFY(notice >= 0);
    const QJsonObject object = m_heard.at(notice).object;
    QCOMPARE(object.value(QLatin1String("event")).toString(), QStringLiteral("lost"));
    QCOMPARE(object.value(QLatin1String("count")).toInteger(), m_droppedBefore);
    const QRegularExpression withOffset(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)"));
    QVERIFY2(withOffset.match(object.value(QLatin1String("time")).toString()).hasMatch(), m_heard.at(notice).payload);
}

void TstE2eAgent::command_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("reason"); // a part of it

    QTest::newRow("read") << QByteArray(R"({"id":"r1","command":"version"})") << "ok" << "";
    QTest::newRow("write not allowed") << QByteArray(R"({"id":"w1","command":"iso15693 write 0 00112233"})")
                                       << "refused" << "allow = writes";
    QTest::newRow("not JSON") << QByteArray("{\"id\":") << "refused" << "JSON";
}

void TstE2eAgent::command()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, status);
    QFETCH(QString, reason);
    // The id of a malformed message cannot be read: its reply has none.
    const QString id = QJsonDocument::fromJson(payload).object().value(QLatin1String("id")).toString();
    const qsizetype start = m_heard.size();
    QVERIFY(m_watch->publish(QStringLiteral("test/left/command"), payload) > 0);
    const qsizetype reply = waitFor([&](const Heard &h) {
        return h.topic == QLatin1String("test/left/reply") && h.object.value(QLatin1String("id")).toString() == id;
    }, start);
    QVERIFY(reply >= 0);
    const QJsonObject object = m_heard.at(reply).object;
    QCOMPARE(object.value(QLatin1String("status")).toString(), status);
    QVERIFY2(object.value(QLatin1String("reason")).toString().contains(reason), qPrintable(m_heard.at(reply).payload));
}

// QoS 1 may deliver a command twice: it runs once, both get its reply.
void TstE2eAgent::repeatedCommand()
{
    const QString version = m_left->requests().first(); // the agent's first question
    const qsizetype asked = m_left->requests().size(), start = m_heard.size();
    const QByteArray payload = R"({"id":"twice","command":"version"})";
    QVERIFY(m_watch->publish(QStringLiteral("test/left/command"), payload) > 0);
    QVERIFY(m_watch->publish(QStringLiteral("test/left/command"), payload) > 0);
    const auto reply = [](const Heard &h) {
        return h.topic == QLatin1String("test/left/reply") && h.object.value(QLatin1String("id")) == QLatin1String("twice");
    };
    const qsizetype first = waitFor(reply, start);
    QVERIFY(first >= 0);
    const qsizetype second = waitFor(reply, first + 1);
    QVERIFY(second >= 0);
    QCOMPARE(m_heard.at(second).payload, m_heard.at(first).payload);
    QCOMPARE(m_left->requests().mid(asked).count(version), 1);
}

void TstE2eAgent::brokerRestart()
{
    // The right reader sees its default tags at every exchange: a read
    // event each time, numbered.
    QVERIFY(waitFor([](const Heard &h) { return h.topic == QLatin1String("test/right/events"); }) >= 0);
    m_broker.stop();
    QVERIFY(m_right->waitForRequests(int(m_right->requests().size()) + 20, kWaitMs));
    const qsizetype start = m_heard.size();
    QVERIFY(m_broker.start());
    // Everything made while the broker was away arrives: more than 20.
    QVERIFY(waitFor([&](const Heard &) { return m_heard.size() - start > 40; }, start) >= 0);
    QList<qint64> seqs;
    for (const Heard &h : std::as_const(m_heard))
        if (h.topic == QLatin1String("test/right/events"))
            seqs << h.object.value(QLatin1String("seq")).toInteger();
    std::sort(seqs.begin(), seqs.end());
    seqs.erase(std::unique(seqs.begin(), seqs.end()), seqs.end()); // QoS 1 may repeat
    QVERIFY(seqs.size() > 20);
    QCOMPARE(seqs.last() - seqs.first() + 1, qint64(seqs.size()));
}

void TstE2eAgent::readerGone()
{
    const qsizetype start = m_heard.size();
    m_left->stop();
    QVERIFY(waitForStatus(QStringLiteral("left"), "offline", start) >= 0);
    QVERIFY(startSim(*m_left, QStringLiteral("COM1"), {QStringLiteral("--no-tags")}));
    const qsizetype back = waitForStatus(QStringLiteral("left"), "online", start);
    QVERIFY(back >= 0);
    QVERIFY(m_left->control(QStringLiteral("tag add iso15693 %1").arg(kTag)));
    QVERIFY(waitForEvent(QStringLiteral("left"), QStringLiteral("arrive"), kTag, back) >= 0);
}

void TstE2eAgent::checkConfig_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("fault");

    const QByteArray head = "[broker]\nhost = 127.0.0.1\n[reader a]\nport = COM1\n";
    QTest::newRow("command unknown") << head + "command = iso15693 frobnicate\n" << ":5: \"command\": Unknown";
    QTest::newRow("schedule writes") << head + "command = iso15693 write 0 00112233\n" << ":5: \"command\": a schedule repeats reading";
}

void TstE2eAgent::checkConfig()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, fault);
    QFile file(m_dir.filePath(QStringLiteral("faulty.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) > 0);
    file.close();
    QProcess check;
    check.start(QStringLiteral(VEXA_AGENT_PATH), {QStringLiteral("--check-config"), file.fileName()});
    QVERIFY(check.waitForFinished(kWaitMs));
    QCOMPARE(check.exitCode(), 2);
    const QString said = QString::fromLocal8Bit(check.readAllStandardError());
    QVERIFY2(said.contains(file.fileName() + fault), qPrintable(said));
}

void TstE2eAgent::reload()
{
    // The second reader renamed: the old name stops, the new one starts,
    // the first reader and the broker connection go on.
    const qsizetype start = m_heard.size();
    QFile file(m_dir.filePath(QStringLiteral("agent.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly)
            && file.write(QString(m_config).replace(QLatin1String("[reader right]"), QLatin1String("[reader dock]")).toUtf8()) > 0);
    file.close();
    ::kill(pid_t(m_agent.processId()), SIGHUP);
    QVERIFY(waitForStatus(QStringLiteral("right"), "offline", start) >= 0);
    QVERIFY(waitForStatus(QStringLiteral("dock"), "online", start) >= 0);
    // A new connection would have said "online" again.
    QVERIFY(std::none_of(m_heard.cbegin() + start, m_heard.cend(),
                         [](const Heard &h) { return h.topic == QLatin1String("test/_agent/status"); }));
}

void TstE2eAgent::terminates()
{
    const qsizetype start = m_heard.size();
    ::kill(pid_t(m_agent.processId()), SIGTERM);
    QVERIFY(m_agent.waitForFinished(kWaitMs));
    QCOMPARE(m_agent.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_agent.exitCode(), 0);
    for (const char *reader : {"left", "dock", "_agent"})
        QVERIFY2(waitForStatus(QLatin1String(reader), "offline", start) >= 0, reader);
}

// One run for all readers of a start, also one a reload added; another for
// the next start. The dropped events were told once, not again.
void TstE2eAgent::runPerStart()
{
    QSet<qint64> first;
    for (const Heard &h : std::as_const(m_heard))
        if (h.topic.endsWith(QLatin1String("/events")) && h.object.contains(QLatin1String("run")))
            first << h.object.value(QLatin1String("run")).toInteger();
    QCOMPARE(first.size(), 1);
    const qsizetype start = m_heard.size();
    m_agent.start(QStringLiteral(VEXA_AGENT_PATH), {QStringLiteral("--config"), m_dir.filePath(QStringLiteral("agent.conf"))});
    QVERIFY(m_agent.waitForStarted());
    const qsizetype next = waitFor([](const Heard &h) { return h.topic == QLatin1String("test/dock/events"); }, start);
    QVERIFY(next >= 0);
    const qint64 run = m_heard.at(next).object.value(QLatin1String("run")).toInteger();
    QVERIFY2(run > *first.cbegin(), qPrintable(m_heard.at(next).payload));
    QVERIFY(std::none_of(m_heard.cbegin() + start, m_heard.cend(),
                         [](const Heard &h) { return h.topic == QLatin1String("test/_agent/events"); }));
}

QTEST_GUILESS_MAIN(TstE2eAgent)
#include "tst_e2e_agent.moc"
