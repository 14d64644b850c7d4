// VexaHost benchmark helpers: waits that let the event loop run without
// polling it (QTest::qWait naps between its turns, which would slow the
// exchanges a benchmark is measuring), CPU and heap figures, and the lines
// every benchmark prints.
#pragma once

#include <cstdio>
#include <malloc.h>
#include <sys/resource.h>

#include <QElapsedTimer>
#include <QString>
#include <QEventLoop>
#include <QTimer>

#include "core/link/readerlink.h"

namespace vexa::test {

// Lets the event loop run for `ms`.
inline void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` holds or the time is up; true if it holds.
template<typename F>
bool waitUntil(F done, int timeoutMs, int stepMs = 1)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        runFor(stepMs);
    return done();
}

// The process's CPU time so far, user and system.
inline double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A Repeat cycle that is already running, measured for `seconds` after two
// seconds of settling: answers per second and the CPU it takes.
struct RepeatPhase
{
    double perSecond = 0;
    double cpuPercent = 0;
};

inline RepeatPhase measureRepeat(ReaderLink &link, int seconds)
{
    int answers = 0;
    const auto counter = QObject::connect(&link, &ReaderLink::responseReady, [&] { ++answers; });
    runFor(2000);
    answers = 0;
    const double cpu = cpuSeconds();
    QElapsedTimer span;
    span.start();
    runFor(seconds * 1000);
    RepeatPhase phase;
    phase.perSecond = answers * 1000.0 / double(span.elapsed());
    phase.cpuPercent = (cpuSeconds() - cpu) * 100.0 / (double(span.elapsed()) / 1000.0);
    QObject::disconnect(counter);
    return phase;
}

// Bytes of heap in use: what the allocator has handed out, mapped blocks too.
inline size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// One figure against its limit, and one figure alone, in the columns every
// benchmark prints.
inline void ratioLine(const QString &what, double value, double limit, bool below)
{
    const bool ok = below ? value <= limit : value >= limit;
    std::printf("%-62s %9.3f  limit %s %5.2f  %s\n", qPrintable(what), value, below ? "<=" : ">=", limit,
                ok ? "ok" : "OVER LIMIT");
    std::fflush(stdout);
}

inline void infoLine(const QString &what, double value, const char *unit)
{
    std::printf("%-62s %9.3f  %s\n", qPrintable(what), value, unit);
    std::fflush(stdout);
}

} // namespace vexa::test
