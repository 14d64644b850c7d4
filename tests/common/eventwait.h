// VexaHost benchmark helpers: waits that let the event loop run without
// polling it (QTest::qWait naps between its turns, which would slow the
// exchanges a benchmark is measuring).
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

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

} // namespace vexa::test
