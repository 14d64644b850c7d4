// vexa-agent with three simulated readers (two serial, one USB) on Repeat
// through a real mosquitto on the loopback: event messages at a subscriber
// against the readers' own exchanges, the latency from the answer to the
// subscriber, and a broker stopped for a while: nothing lost, order kept.
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>

#include "agent/mqttclient.h"
#include "mosquittobroker.h"
#include "simprocess.h"

using namespace vexa;
using vexa::test::MosquittoBroker;
using vexa::test::SimProcess;

namespace {

const QStringList kReaders{QStringLiteral("serial-1"), QStringLiteral("serial-2"), QStringLiteral("usb")};

struct Reader
{
    QList<qint64> seqs; // in the order heard
    qint64 outOfOrder = 0;
    qint64 duplicates = 0;
    QSet<qint64> seen;
    qint64 highest = 0;
};

void say(const QString &text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

bool waitUntil(const std::function<bool()> &done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

double percentile(QList<qint64> values, double p)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return double(values.at(std::min<qsizetype>(values.size() - 1, qsizetype(p * double(values.size())))));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList numbers = app.arguments().mid(1);
    // --fast: the readers' answers end with their frame, as vexactl --fast.
    const bool fast = numbers.removeAll(QStringLiteral("--fast")) > 0;
    const int measureSeconds = numbers.size() > 0 ? std::max(2, numbers.at(0).toInt()) : 10;
    const int outageSeconds = numbers.size() > 1 ? std::max(1, numbers.at(1).toInt()) : 30;
    if (!MosquittoBroker::installed()) {
        say(QStringLiteral("mosquitto is not installed (scripts/install-deps.sh)"));
        return 1;
    }
    MosquittoBroker broker;
    if (!broker.start())
        return 1;
    qputenv("LD_LIBRARY_PATH", VEXA_SIM_USB_DIR);
    SimProcess first;
    SimProcess second(first.configHome());
    SimProcess third(first.configHome());
    if (!first.start({"--port", "COM1", "--baud", "57600"}) || !second.start({"--port", "COM2", "--baud", "57600"})
        || !third.start({"--port", "COM3", "--usb"})) {
        say(QStringLiteral("the simulators did not start"));
        return 1;
    }
    QList<SimProcess *> sims{&first, &second, &third};

    QHash<QString, Reader> readers;
    QList<qint64> latencies;
    bool measuring = false;
    int agentOnline = 0;
    MqttOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = broker.port();
    options.retryMinMs = 100;
    options.retryMaxMs = 200;
    MqttClient watch(options);
    QObject::connect(&watch, &MqttClient::message, [&](const QString &topic, const QByteArray &payload) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (topic == QLatin1String("bench/_agent/status") && payload == "online")
            ++agentOnline;
        if (!topic.endsWith(QLatin1String("/events")))
            return;
        const QJsonObject o = QJsonDocument::fromJson(payload).object();
        Reader &r = readers[o.value(QLatin1String("reader")).toString()];
        const qint64 seq = o.value(QLatin1String("seq")).toInteger();
        if (r.seen.contains(seq)) {
            ++r.duplicates;
            return;
        }
        if (seq < r.highest)
            ++r.outOfOrder;
        r.seen.insert(seq);
        r.seqs << seq;
        r.highest = std::max(r.highest, seq);
        const QJsonArray events = o.value(QLatin1String("events")).toArray();
        if (measuring && !events.isEmpty()) {
            const QDateTime time = QDateTime::fromString(events.first()[QLatin1String("time")].toString(),
                                                         Qt::ISODateWithMs);
            latencies << now - time.toMSecsSinceEpoch();
        }
    });
    watch.subscribe(QStringLiteral("bench/#"));
    watch.start();
    if (!waitUntil([&] { return watch.isConnected(); }, 10000))
        return 1;

    QTemporaryDir dir;
    QString config = QStringLiteral("[broker]\nhost = 127.0.0.1\nport = %1\nprefix = bench\n[agent]\nstate-dir = %2\n")
                         .arg(broker.port())
                         .arg(dir.filePath(QStringLiteral("state")));
    config += QStringLiteral("[reader serial-1]\nport = COM1\nbaud = 57600\ncommand = iso15693 inventory\ninterval = 10\n"
                             "[reader serial-2]\nport = COM2\nbaud = 57600\ncommand = iso15693 inventory\ninterval = 10\n"
                             "[reader usb]\nusb = yes\ncommand = iso15693 inventory\ninterval = 10\n");
    if (fast)
        config.replace(QStringLiteral("interval = 10\n"), QStringLiteral("interval = 10\nfast = on\n"));
    QFile file(dir.filePath(QStringLiteral("agent.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
        return 1;
    file.close();
    QProcess agent;
    agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    agent.start(QStringLiteral(VEXA_AGENT_PATH), {QStringLiteral("--config"), file.fileName()});
    if (!waitUntil([&] { return readers.size() == kReaders.size(); }, 20000)) {
        say(QStringLiteral("not every reader published"));
        return 1;
    }

    // Throughput and latency: event messages against the readers' exchanges.
    QList<qsizetype> requestsBefore;
    for (SimProcess *sim : sims)
        requestsBefore << sim->requests().size();
    QHash<QString, qsizetype> heardBefore;
    for (const QString &name : kReaders)
        heardBefore[name] = readers[name].seen.size();
    measuring = true;
    QTest::qWait(measureSeconds * 1000);
    measuring = false;
    QList<qsizetype> exchanges;
    for (qsizetype i = 0; i < sims.size(); ++i)
        exchanges << sims[i]->requests().size() - requestsBefore[i];
    // What was in flight at the end arrives; the readers go on meanwhile,
    // so each reader's count is taken up to the seq its exchanges reach.
    QTest::qWait(1000);
    qint64 made = 0, heard = 0;
    for (qsizetype i = 0; i < sims.size(); ++i) {
        const Reader &r = readers[kReaders[i]];
        const qint64 upTo = heardBefore[kReaders[i]] + exchanges[i];
        made += exchanges[i];
        heard += std::count_if(r.seqs.cbegin(), r.seqs.cend(), [&](qint64 s) {
            return s > heardBefore[kReaders[i]] && s <= upTo;
        });
    }
    say(QStringLiteral("exchanges in %1 s: %2 (%3 per second, 3 readers)")
            .arg(measureSeconds).arg(made).arg(double(made) / measureSeconds, 0, 'f', 1));
    say(QStringLiteral("event messages at the subscriber / exchanges: %1 (goal >= 0.99)")
            .arg(made ? double(heard) / double(made) : 0.0, 0, 'f', 4));
    say(QStringLiteral("tag reads per second (two tags a reader): %1").arg(2.0 * double(heard) / measureSeconds, 0, 'f', 1));
    say(QStringLiteral("latency answer -> subscriber: median %1 ms (goal < 20), p99 %2 ms, over %3 messages")
            .arg(percentile(latencies, 0.5)).arg(percentile(latencies, 0.99)).arg(latencies.size()));

    // The broker away: every message arrives once it is back, in order.
    broker.stop();
    say(QStringLiteral("broker stopped for %1 s ...").arg(outageSeconds));
    QTest::qWait(outageSeconds * 1000);
    const int onlineBefore = agentOnline;
    if (!broker.start())
        return 1;
    // The agent may wait up to 30 s before it tries the broker again; then
    // its backlog goes out while the readers go on.
    const bool back = waitUntil([&] { return agentOnline > onlineBefore; }, 60000);
    QTest::qWait(5000);
    ::kill(pid_t(agent.processId()), SIGTERM);
    agent.waitForFinished(30000);
    const bool settled = back && waitUntil([&] {
        for (const QString &name : kReaders)
            if (readers[name].seen.size() != readers[name].highest)
                return false;
        return true;
    }, 60000);
    qint64 lost = 0, outOfOrder = 0, duplicates = 0, total = 0;
    for (const QString &name : kReaders) {
        const Reader &r = readers[name];
        lost += r.highest - r.seen.size();
        outOfOrder += r.outOfOrder;
        duplicates += r.duplicates;
        total += r.highest;
    }
    say(QStringLiteral("after the outage: %1 messages, lost %2 (goal 0), out of order %3 (goal 0), "
                       "duplicates %4 (QoS 1)%5")
            .arg(total).arg(lost).arg(outOfOrder).arg(duplicates)
            .arg(settled ? QString() : QStringLiteral(", not settled in 60 s")));
    broker.stop();
    return lost == 0 && outOfOrder == 0 ? 0 : 1;
}
