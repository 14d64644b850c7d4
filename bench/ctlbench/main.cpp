// vexactl against vexa-sim at 57600 baud: the rate of a repeated ISO/IEC
// 15693 inventory against what the line time and the 100 ms gap allow, the
// same with --fast, and the start-up to the first frame on the wire.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

#include "simprocess.h"

using vexa::test::SimProcess;

namespace {
constexpr int kBaud = 57600;
constexpr int kRequestBytes = 9;  // inventory without AFI
constexpr int kAnswerBytes = 26;  // two UIDs in the simulator's default field

// The rate the summary line reports, or a negative number.
double repeatRate(const QStringList &extra, int exchanges)
{
    QProcess ctl;
    ctl.start(QStringLiteral(VEXACTL_PATH),
              QStringList{"--port", "COM1", "--baud", QString::number(kBaud), "--repeat", QString::number(exchanges)}
                  + extra + QStringList{"iso15693", "inventory"});
    // The simulator's trace is read meanwhile, or its pipe fills and it stops.
    QEventLoop loop;
    QObject::connect(&ctl, &QProcess::finished, &loop, &QEventLoop::quit);
    if (ctl.state() != QProcess::NotRunning)
        loop.exec();
    if (ctl.exitStatus() != QProcess::NormalExit || ctl.exitCode() != 0) {
        std::fprintf(stderr, "vexactl ended with %d\n", ctl.exitCode());
        return -1;
    }
    const QString err = QString::fromUtf8(ctl.readAllStandardError());
    const auto match = QRegularExpression(QStringLiteral("(\\d+) answers, 0 errors, 0 time-outs, ([0-9.]+) per second"))
                           .match(err);
    if (!match.hasMatch() || match.captured(1).toInt() != exchanges) {
        std::fprintf(stderr, "%s", qPrintable(err));
        return -1;
    }
    return match.captured(2).toDouble();
}

// From the start of the process to its "Host --" line, which it writes as
// the frame leaves for the port.
double msToFirstFrame()
{
    QProcess ctl;
    ctl.setReadChannel(QProcess::StandardError);
    QElapsedTimer clock;
    clock.start();
    ctl.start(QStringLiteral(VEXACTL_PATH),
              {"--port", "COM1", "--baud", QString::number(kBaud), "--frames", "version"});
    QByteArray err;
    while (!err.contains("Host --")) {
        if (!ctl.waitForReadyRead(10000))
            return -1;
        err += ctl.readAllStandardError();
    }
    const double ms = clock.nsecsElapsed() / 1e6;
    ctl.waitForFinished(10000);
    return ms;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int exchanges = argc > 1 ? std::max(10, atoi(argv[1])) : 100;
    SimProcess sim;
    if (!sim.start({"--baud", QString::number(kBaud)})) {
        std::fprintf(stderr, "vexa-sim did not start\n");
        return 1;
    }
    const double lineMs = (kRequestBytes + kAnswerBytes) * 10.0 * 1000.0 / kBaud;
    const double limit = 1000.0 / (lineMs + 100.0);
    const double plain = repeatRate({}, exchanges);
    const double fast = repeatRate({"--fast"}, exchanges * 5);
    QList<double> starts;
    for (int i = 0; i < 20; ++i)
        starts << msToFirstFrame();
    std::sort(starts.begin(), starts.end());
    if (plain < 0 || fast < 0 || starts.constFirst() < 0) {
        std::fprintf(stderr, "a run failed: %.2f %.2f %.2f\n", plain, fast, starts.constFirst());
        return 1;
    }
    std::printf("line time %.2f ms per exchange; limit with the 100 ms gap %.2f/s\n", lineMs, limit);
    std::printf("repeat, %d exchanges: %.2f/s, ratio %.3f (goal >= 0.95)\n", exchanges, plain, plain / limit);
    std::printf("repeat --fast, %d exchanges: %.2f/s, %.1f times the limit (goal >= 4)\n", exchanges * 5, fast,
                fast / limit);
    std::printf("start-up to the first frame, median of 20: %.1f ms (min %.1f, max %.1f; goal < 50 ms)\n",
                (starts[9] + starts[10]) / 2, starts.constFirst(), starts.constLast());
    return 0;
}
