// VexaHost link benchmark against vexa-sim: the host's own delay beyond the
// 100 ms completion gap, Repeat throughput against what the line allows, CPU
// time while idle and while waiting for a time-out, and start-up time.
// Prints figures with their limits; it asserts nothing.
#include <algorithm>
#include <functional>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include "eventwait.h"
#include "core/link/readerlink.h"
#include "core/link/serialtransport.h"
#include "controls.h"
#include "fakes.h"
#include "ui/window/mainwindow.h"
#include "ui/window/responsepane.h"
#include "simprocess.h"

using namespace vexa;

// Calls `seen` once, at the first paint of the object it filters.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(std::function<void()> seen) : m_seen(std::move(seen)) {}
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (m_seen && event->type() == QEvent::Paint) {
            m_seen();
            m_seen = nullptr;
        }
        return QObject::eventFilter(object, event);
    }

private:
    std::function<void()> m_seen;
};

using vexa::test::control;
using vexa::test::cpuSeconds;
using vexa::test::runFor;
using vexa::test::waitUntil;

namespace {


double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[i];
}

void line(const char *what, double value, const char *unit, double limit, bool below)
{
    const double ratio = limit > 0 ? value / limit : 0;
    const bool ok = below ? value < limit : value > limit;
    std::printf("%-46s %10.3f %-4s limit %s %8.3f  ratio %6.3f  %s\n", what, value, unit, below ? "<" : ">", limit,
                ratio, ok ? "ok" : "OVER LIMIT");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int exchanges = argc > 1 ? std::max(200, QByteArray(argv[1]).toInt()) : 200;

    test::SimProcess sim;
    if (!sim.start()) {
        std::fprintf(stderr, "vexa-sim did not start\n");
        return 1;
    }
    test::ScriptedPrompt prompt;

    QElapsedTimer startup;
    startup.start();
    MainWindow window(&prompt);
    // The start-up exchange (the baud command, a second's wait, the setup
    // read) runs while the window is already on screen: the figure ends at
    // its first paint, not when show() returns.
    double startupMs = -1;
    FirstPaint firstPaint([&] { startupMs = double(startup.nsecsElapsed()) / 1e6; });
    window.installEventFilter(&firstPaint);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window, 10000) || startupMs < 0) {
        std::fprintf(stderr, "window not shown\n");
        return 1;
    }
    ReaderLink &link = window.session().link();
    auto &version = control<QToolButton>(window, "btnRdrVersion");
    auto &clear = control<QToolButton>(window, "ToolButton2");
    auto &repeat = control<QAction>(window, "ContinuousMode1");
    waitUntil([&] { return !window.startingUp() && !link.busy(); }, 10000);

    // 1. Delay between the last byte and the report, beyond the 100 ms gap.
    QElapsedTimer clock;
    clock.start();
    qint64 lastByte = 0;
    qint64 reported = 0;
    qint64 sentAt = 0;
    qint64 firstByte = 0;
    std::vector<double> turnarounds, answerSpans;
    QObject::connect(&link, &ReaderLink::frameSent, [&] { sentAt = clock.nsecsElapsed(); firstByte = 0; });
    QObject::connect(&window.session().serial(), &Transport::bytesArrived, [&] {
        lastByte = clock.nsecsElapsed();
        if (!firstByte)
            firstByte = lastByte;
    });
    QObject::connect(&link, &ReaderLink::responseReady, [&] { reported = clock.nsecsElapsed(); });
    std::vector<double> delays;
    for (int i = 0; i < exchanges; ++i) {
        reported = 0;
        version.click();
        waitUntil([&] { return reported != 0 || !link.busy(); }, 5000);
        if (reported) {
            delays.push_back(double(reported - lastByte) / 1e6 - ReaderLink::kCompletionGapMs);
            turnarounds.push_back(double(firstByte - sentAt) / 1e6);
            answerSpans.push_back(double(lastByte - firstByte) / 1e6);
        }
        clear.click();
    }

    // 2. Repeat throughput against the line time plus the 100 ms gap.
    const int baud = window.session().serial().baudRate();
    const int requestBytes = 8, answerBytes = 20; // version request and answer
    const double lineMs = double(requestBytes + answerBytes) * 10.0 * 1000.0 / baud;
    const double maxPerSecond = 1000.0 / (lineMs + ReaderLink::kCompletionGapMs);
    int answers = 0;
    auto counter = QObject::connect(&link, &ReaderLink::responseReady, [&] { ++answers; });
    repeat.trigger();
    version.click();
    runFor(1000); // settle into the cycle
    answers = 0;
    QElapsedTimer span;
    span.start();
    runFor(10000);
    const double perSecond = answers * 1000.0 / double(span.elapsed());
    repeat.trigger();
    waitUntil([&] { return !link.busy(); }, 5000);
    QObject::disconnect(counter);
    clear.click();

    // 3. CPU while idle, and while waiting for a time-out.
    double before = cpuSeconds();
    span.restart();
    runFor(10000);
    const double idlePercent = (cpuSeconds() - before) * 100.0 / (double(span.elapsed()) / 1000.0);

    sim.control(QStringLiteral("fault silent 100"));
    before = cpuSeconds();
    span.restart();
    repeat.trigger();
    version.click(); // time-outs, re-sent every 2000 ms
    runFor(10000);
    const double waitPercent = (cpuSeconds() - before) * 100.0 / (double(span.elapsed()) / 1000.0);
    repeat.trigger();

    std::printf("VexaHost link benchmark against vexa-sim at %d baud, %zu exchanges\n", baud, delays.size());
    line("delay beyond the 100 ms gap, median", percentile(delays, 0.5), "ms", 2.0, true);
    line("delay beyond the 100 ms gap, 95th percentile", percentile(delays, 0.95), "ms", 10.0, true);
    std::printf("%-46s %10.3f ms\n", "send to first answer byte, median", percentile(turnarounds, 0.5));
    std::printf("%-46s %10.3f ms\n", "first to last answer byte, median", percentile(answerSpans, 0.5));
    std::printf("%-46s %10.3f /s   line allows %.3f /s\n", "Repeat exchanges", perSecond, maxPerSecond);
    line("Repeat ratio to the line's maximum", perSecond / maxPerSecond, "", 0.95, false);
    line("CPU while idle (10 s)", idlePercent, "%", 0.5, true);
    line("CPU while waiting for time-outs (10 s)", waitPercent, "%", 0.5, true);
    line("start-up to the first shown window", startupMs, "ms", 1000.0, true);
    window.close();
    return 0;
}
