// vexactl's whole-memory jobs against vexa-sim at 57600 baud with --fast:
// the dump of a 64-block tag and the restore of 64 changed blocks, each as
// a ratio of its time (first frame out to the end of the process) to the
// line time of the exchanges it made, counted from the simulator's trace.
// The simulator answers at once (it models no air time yet), so the ratio
// is to line time alone; host turnaround is what it measures. The
// simulator paces only its own answers (a request crosses the pseudo-
// terminal at once), so the time can fall below the line time of both
// ways; the ratio to the answers' line time is printed beside it.
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
const QString kUid = QStringLiteral("E004A00112345678");
const QString kTag = QStringLiteral("iso15693 %1 blocks=%2").arg(kUid).arg(kBlocks);

struct Timed
{
    double ms = -1;     // first frame out to the process's end
    double lineMs = 0;  // the bytes of every frame both ways at 10 bits each
    double answerMs = 0; // the answers' bytes alone
    int exchanges = 0;
};

int frameBytes(const QStringList &frames)
{
    int bytes = 0;
    for (const QString &frame : frames)
        bytes += int(frame.split(QLatin1Char(' '), Qt::SkipEmptyParts).size());
    return bytes;
}

Timed run(SimProcess &sim, const QStringList &command)
{
    Timed timed;
    // A control line's "ok" follows every trace line before it.
    if (!sim.control(QStringLiteral("tag clear")) || !sim.control(QStringLiteral("tag add ") + kTag))
        return timed;
    sim.forgetTraffic();
    QProcess ctl;
    QElapsedTimer clock;
    qint64 firstFrameNs = -1;
    QObject::connect(&ctl, &QProcess::readyReadStandardError, [&] {
        if (firstFrameNs < 0 && ctl.readAllStandardError().contains("Host --"))
            firstFrameNs = clock.nsecsElapsed();
    });
    QEventLoop loop;
    QObject::connect(&ctl, &QProcess::finished, &loop, &QEventLoop::quit);
    clock.start();
    ctl.start(QStringLiteral(VEXACTL_PATH),
              QStringList{"--port", "COM1", "--baud", QString::number(kBaud), "--fast", "--frames"} + command);
    if (ctl.state() != QProcess::NotRunning)
        loop.exec();
    const qint64 endNs = clock.nsecsElapsed();
    if (ctl.exitStatus() != QProcess::NormalExit || ctl.exitCode() != 0 || firstFrameNs < 0) {
        std::fprintf(stderr, "vexactl %s ended with %d\n", qPrintable(command.join(' ')), ctl.exitCode());
        return timed;
    }
    if (!sim.control(QStringLiteral("tag list")))
        return timed;
    timed.exchanges = int(sim.requests().size());
    timed.lineMs = (frameBytes(sim.requests()) + frameBytes(sim.replies())) * 10.0 * 1000.0 / kBaud;
    timed.answerMs = frameBytes(sim.replies()) * 10.0 * 1000.0 / kBaud;
    timed.ms = (endNs - firstFrameNs) / 1e6;
    return timed;
}

void report(const char *what, QList<Timed> runs)
{
    std::sort(runs.begin(), runs.end(), [](const Timed &a, const Timed &b) { return a.ms < b.ms; });
    const Timed &median = runs.at(runs.size() / 2);
    std::printf("%s: %d exchanges, line time %.1f ms (answers %.1f ms), median %.1f ms (min %.1f, max %.1f), "
                "ratio %.3f (goal <= 1.10), to the answers' line time %.3f\n",
                what, median.exchanges, median.lineMs, median.answerMs, median.ms, runs.constFirst().ms,
                runs.constLast().ms, median.ms / median.lineMs, median.ms / median.answerMs);
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
    for (int i = 0; i < runs; ++i) {
        dumps << run(sim, {"iso15693", "dump", "--uid", kUid});
        restores << run(sim, {"iso15693", "restore", dumpFile, "--uid", kUid});
        if (dumps.constLast().ms < 0 || restores.constLast().ms < 0)
            return 1;
    }
    std::printf("vexactl --fast at %d baud, %d runs each; line time only (the simulator models no air time)\n",
                kBaud, runs);
    report("dump of 64 blocks", dumps);
    report("restore of 64 changed blocks", restores);
    return 0;
}
