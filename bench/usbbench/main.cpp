// VexaHost USB benchmark against vexa-sim --usb and the simulator's USB HID
// library (put build/sim/usb first on LD_LIBRARY_PATH): the time of one
// exchange against what the 50 ms poll allows for its number of reports, and
// CPU time while the idle device is polled. Prints figures with their
// limits; it asserts nothing.
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTest>

#include "controls.h"
#include "eventwait.h"
#include "core/link/readerlink.h"
#include "fakes.h"
#include "core/link/usbtransport.h"
#include "ui/window/mainwindow.h"
#include "simprocess.h"

using namespace vexa;

using vexa::test::control;
using vexa::test::cpuSeconds;
using vexa::test::runFor;
using vexa::test::waitUntil;

namespace {


double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void line(const char *what, double value, const char *unit, double limit)
{
    std::printf("%-52s %9.3f %-3s limit < %8.3f  ratio %6.3f  %s\n", what, value, unit, limit, value / limit,
                value < limit ? "ok" : "OVER LIMIT");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int exchanges = argc > 1 ? std::max(20, QByteArray(argv[1]).toInt()) : 100;

    test::SimProcess sim;
    if (!sim.start({QStringLiteral("--usb")})) {
        std::fprintf(stderr, "vexa-sim did not start\n");
        return 1;
    }
    runFor(300);
    test::ScriptedPrompt prompt;
    MainWindow window(&prompt);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window, 10000)) {
        std::fprintf(stderr, "window not shown\n");
        return 1;
    }
    waitUntil([&] { return !window.startingUp() && !window.session().link().busy(); }, 10000);
    control<QAction>(window, "USB1").trigger();
    if (!window.session().usb().isOpen()) {
        std::fprintf(stderr, "the simulated USB reader was not found (is build/sim/usb first on LD_LIBRARY_PATH?)\n");
        return 1;
    }
    ReaderLink &link = window.session().link();
    auto &version = control<QToolButton>(window, "btnRdrVersion");
    auto &tabs = control<QTabWidget>(window, "PageControl1");
    auto &go = control<QToolButton>(window, "btnSend");
    auto &clear = control<QToolButton>(window, "ToolButton2");
    QElapsedTimer clock;
    clock.start();
    qint64 sentAt = 0, reported = 0;
    QObject::connect(&link, &ReaderLink::frameSent, [&] { sentAt = clock.nsecsElapsed(); });
    QObject::connect(&link, &ReaderLink::responseReady, [&] { reported = clock.nsecsElapsed(); });

    // One exchange: the answer's reports wait for the next tick (up to one
    // poll interval), then the 100 ms completion gap. Tick count: the
    // answer's reports all arrive together, so one tick gathers them.
    struct Kind
    {
        const char *name;
        int page; // -1: the version command
        int reports;
    };
    const Kind kinds[] = {{"version (1 report)", -1, 1}, {"ISO inventory, 2 tags (2 reports)", 0, 2}};
    for (const Kind &kind : kinds) {
        std::vector<double> spans;
        for (int i = 0; i < exchanges; ++i) {
            reported = 0;
            if (kind.page < 0) {
                version.click();
            } else {
                tabs.setCurrentIndex(kind.page);
                go.click();
            }
            waitUntil([&] { return reported != 0 || !link.busy(); }, 5000);
            if (reported)
                spans.push_back(double(reported - sentAt) / 1e6);
            waitUntil([&] { return !link.busy(); }, 5000);
            clear.click();
        }
        const double allowed = UsbTransport::kPollMs + ReaderLink::kCompletionGapMs;
        char what[96];
        std::snprintf(what, sizeof what, "exchange, median of %zu: %s", spans.size(), kind.name);
        line(what, median(spans), "ms", allowed);
    }

    // CPU while the open, idle device is polled every 50 ms.
    const double before = cpuSeconds();
    QElapsedTimer span;
    span.start();
    runFor(10000);
    const double idlePercent = (cpuSeconds() - before) * 100.0 / (double(span.elapsed()) / 1000.0);
    line("CPU while the idle USB reader is polled (10 s)", idlePercent, "%", 0.5);
    return 0;
}
