// vexactl against vexa-sim at 57600 baud with --fast, the simulator holding
// each answer for its tags' air time: the dump of a 64-block tag and the
// restore of 64 changed blocks, each as a ratio of its time (first frame
// out to the end of the process) to what its exchanges cannot take less
// than, and a Repeat of the inventory as a ratio of its rate to the most
// one exchange allows. An exchange's least time is its request and answer
// on the line (10 bits a byte) plus the air time the simulator traced for
// it ("air: N us"); what is left over is the host's and the pacing's.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include "core/codecs/tagdump.h"
#include "core/util/regularfile.h"
#include "simprocess.h"

using vexa::test::SimProcess;

namespace {
constexpr int kBaud = 57600;
constexpr int kBlocks = 64;
constexpr int kInventories = 100;
const QString kUid = QStringLiteral("E004A00112345678");
const QString kTag = QStringLiteral("iso15693 %1 kind=iso-64x4").arg(kUid);
const QByteArray kHostFrame = "Host --";
const QByteArray kReaderFrame = "Vexa --";

// One exchange as the simulator traced it.
struct Exchange
{
    int lineBytes = 0; // request and answer
    int airUs = 0;
    double leastMs() const { return lineBytes * 10.0 * 1000.0 / kBaud + airUs / 1000.0; }
};

struct Timed
{
    double ms = -1;      // first frame out to the process's end
    double answeredMs = 0; // first frame out to the last answer in
    double lineMs = 0;   // the bytes of every frame both ways
    double airMs = 0;    // the tags' air time, as traced
    int exchanges = 0;
    double ratio() const { return ms / (lineMs + airMs); }
};

int frameBytes(const QString &frame)
{
    return int(frame.split(QLatin1Char(' '), Qt::SkipEmptyParts).size());
}

// The exchanges in the trace, in order: a request, its air time, its answer.
QList<Exchange> tracedExchanges(const QStringList &lines)
{
    QList<Exchange> exchanges;
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("rx:"))) {
            exchanges.append({frameBytes(line.mid(3)), 0});
        } else if (exchanges.isEmpty()) {
            continue;
        } else if (line.startsWith(QLatin1String("air:"))) {
            exchanges.last().airUs += line.mid(4).section(QLatin1Char(' '), 1, 1).toInt();
        } else if (line.startsWith(QLatin1String("tx:"))) {
            exchanges.last().lineBytes += frameBytes(line.mid(3));
        }
    }
    return exchanges;
}

// Runs vexactl on a fresh tag; the times its frames went out, as seen here.
struct Run
{
    bool ok = false;
    QList<qint64> frameNs;
    qint64 lastAnswerNs = 0;
    qint64 endNs = 0;
    QList<Exchange> exchanges;
};

Run runCtl(SimProcess &sim, const QStringList &command)
{
    Run run;
    // A control line's "ok" follows every trace line before it.
    if (!sim.control(QStringLiteral("tag clear")) || !sim.control(QStringLiteral("tag add ") + kTag))
        return run;
    sim.forgetTraffic();
    QProcess ctl;
    QElapsedTimer clock;
    QByteArray partial;
    QObject::connect(&ctl, &QProcess::readyReadStandardError, [&] {
        const qint64 now = clock.nsecsElapsed();
        partial += ctl.readAllStandardError();
        qsizetype newline;
        while ((newline = partial.indexOf('\n')) >= 0) {
            if (partial.startsWith(kHostFrame))
                run.frameNs << now;
            else if (partial.startsWith(kReaderFrame))
                run.lastAnswerNs = now;
            partial.remove(0, newline + 1);
        }
    });
    QEventLoop loop;
    QObject::connect(&ctl, &QProcess::finished, &loop, &QEventLoop::quit);
    clock.start();
    ctl.start(QStringLiteral(VEXACTL_PATH),
              QStringList{"--port", "COM1", "--baud", QString::number(kBaud), "--fast", "--frames"} + command);
    if (ctl.state() != QProcess::NotRunning)
        loop.exec();
    run.endNs = clock.nsecsElapsed();
    if (ctl.exitStatus() != QProcess::NormalExit || ctl.exitCode() != 0 || run.frameNs.isEmpty()) {
        std::fprintf(stderr, "vexactl %s ended with %d\n", qPrintable(command.join(' ')), ctl.exitCode());
        return run;
    }
    if (!sim.control(QStringLiteral("tag list")))
        return run;
    run.exchanges = tracedExchanges(sim.output());
    run.ok = true;
    return run;
}

Timed timedJob(SimProcess &sim, const QStringList &command)
{
    Timed timed;
    const Run run = runCtl(sim, command);
    if (!run.ok)
        return timed;
    timed.exchanges = int(run.exchanges.size());
    for (const Exchange &e : run.exchanges) {
        timed.lineMs += e.lineBytes * 10.0 * 1000.0 / kBaud;
        timed.airMs += e.airUs / 1000.0;
    }
    timed.ms = (run.endNs - run.frameNs.constFirst()) / 1e6;
    timed.answeredMs = (run.lastAnswerNs - run.frameNs.constFirst()) / 1e6;
    return timed;
}

// The Repeat's rate from its first inventory out to its last, over the
// least time of one inventory exchange; -1 when the run failed.
struct Rate
{
    double perSecond = -1;
    double leastMs = 0;
    double ratio() const { return perSecond * leastMs / 1000.0; }
};

Rate repeatRate(SimProcess &sim)
{
    Rate rate;
    const Run run = runCtl(sim, {"--repeat", QString::number(kInventories), "iso15693", "inventory"});
    // The inventories are the last frames; a set-up read may come first.
    if (!run.ok || run.frameNs.size() < kInventories || run.exchanges.size() < kInventories)
        return rate;
    const qint64 spanNs = run.frameNs.constLast() - run.frameNs.at(run.frameNs.size() - kInventories);
    rate.perSecond = (kInventories - 1) / (spanNs / 1e9);
    rate.leastMs = run.exchanges.constLast().leastMs();
    return rate;
}

void report(const char *what, QList<Timed> runs)
{
    std::sort(runs.begin(), runs.end(), [](const Timed &a, const Timed &b) { return a.ms < b.ms; });
    const Timed &median = runs.at(runs.size() / 2);
    std::printf("%s: %d exchanges, line %.1f ms + air %.1f ms = %.1f ms, median %.1f ms (min %.1f, max %.1f), "
                "ratio %.3f (goal <= 1.10)\n"
                "  of which to the last answer in %.1f ms (ratio %.3f), the process's end %.1f ms after it\n",
                what, median.exchanges, median.lineMs, median.airMs, median.lineMs + median.airMs, median.ms,
                runs.constFirst().ms, runs.constLast().ms, median.ratio(), median.answeredMs,
                median.answeredMs / (median.lineMs + median.airMs), median.ms - median.answeredMs);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 7;
    SimProcess sim;
    if (!sim.start({"--baud", QString::number(kBaud), "--no-tags"})) {
        std::fprintf(stderr, "vexa-sim did not start\n");
        return 1;
    }
    // The dump to restore: every block different from the fresh tag's zeros.
    QTemporaryDir dir;
    const QString dumpFile = dir.filePath(QStringLiteral("changed.json"));
    vexa::tagdump::TagDump changed;
    changed.uid = QByteArray::fromHex(kUid.toLatin1());
    for (int b = 0; b < kBlocks; ++b)
        changed.blocks.append({QByteArray(4, char(b + 1)), {}, false});
    if (!vexa::replaceFile(dumpFile, vexa::tagdump::toJson(changed).bytes).isEmpty())
        return 1;

    QList<Timed> dumps, restores;
    QList<Rate> rates;
    for (int i = 0; i < runs; ++i) {
        dumps << timedJob(sim, {"iso15693", "dump", "--uid", kUid});
        restores << timedJob(sim, {"iso15693", "restore", dumpFile, "--uid", kUid});
        rates << repeatRate(sim);
        if (dumps.constLast().ms < 0 || restores.constLast().ms < 0 || rates.constLast().perSecond < 0)
            return 1;
    }
    std::printf("vexactl --fast at %d baud, %d runs each; least time = line time + the tags' air time\n", kBaud,
                runs);
    report("dump of 64 blocks", dumps);
    report("restore of 64 changed blocks", restores);
    std::sort(rates.begin(), rates.end(), [](const Rate &a, const Rate &b) { return a.perSecond < b.perSecond; });
    const Rate &median = rates.at(rates.size() / 2);
    std::printf("--repeat %d inventory, one tag: least %.2f ms an exchange (%.1f/s), median %.1f/s (min %.1f, "
                "max %.1f), ratio %.3f (goal >= 0.90)\n",
                kInventories, median.leastMs, 1000.0 / median.leastMs, median.perSecond,
                rates.constFirst().perSecond, rates.constLast().perSecond, median.ratio());
    return 0;
}
