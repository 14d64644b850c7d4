// VexaHost pane benchmark: what one report costs as the response pane and
// the message view fill up, what a line costs in memory, and Repeat's pace
// against vexa-sim late in a long run (after a pre-filled pane) against its
// pace at the start. Prints figures as ratios against their limits; it
// asserts nothing.
//
//   vexa-panebench [--prefill LINES] [--seconds S] [--no-repeat]
#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <sys/resource.h>
#include <vector>

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "eventwait.h"
#include "core/codecs/iso15693.h"
#include "core/link/readerlink.h"
#include "controls.h"
#include "fakes.h"
#include "core/link/serialtransport.h"
#include "ui/pages/commandlist.h"
#include "simprocess.h"
#include "ui/pages/fieldedit.h"
#include "ui/pages/isopage.h"
#include "ui/window/mainwindow.h"
#include "ui/window/responsepane.h"

using namespace vexa;

using vexa::test::control;
using vexa::test::cpuSeconds;
using vexa::test::heapInUse;
using vexa::test::infoLine;
using vexa::test::ratioLine;
using vexa::test::runFor;
using vexa::test::statusPanel;
using vexa::test::waitUntil;

namespace {

// The lower quartile: on a shared machine other programs only ever add
// time, so the quicker batches show the pane's own cost best.
double lowerQuartile(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 4];
}

// Reports shaped like the ones Repeat writes: "View One Block" (heading,
// two details, separator) and, every tenth, an inventory of 25 tags.
Report sampleReport(int n)
{
    Report r;
    r.separator = true;
    if (n % 10 == 9) {
        r.heading = QStringLiteral("ISO Inventory:");
        for (int tag = 0; tag < 25; ++tag)
            r.lines << QStringLiteral("    UID: E0 04 01 00 %1 %2 5A 3C")
                           .arg(tag, 2, 16, QChar(u'0'))
                           .arg(n & 0xFF, 2, 16, QChar(u'0'))
                           .toUpper();
    } else {
        r.heading = QStringLiteral("Read Tag Block:");
        r.lines << QStringLiteral("    Block Number: %1").arg(n % 64)
                << QStringLiteral("    Block Data: %1").arg(quint32(n) * 2654435761u, 8, 16, QChar(u'0')).toUpper();
    }
    return r;
}

QString sampleMessage(int n)
{
    return QStringLiteral("Vexa -- 10:11:%1 -> 01 0C 00 00 00 20 %2 11 22 33 44 5D A2")
        .arg(n % 60, 2, 10, QChar(u'0'))
        .arg(n & 0xFF, 2, 16, QChar(u'0'));
}

// Milliseconds per report (or message line) while a pane holds 1k, 10k,
// 100k and 1M lines, painting after each one as the running program does.
// The panes take turns batch by batch, so a change in the machine's load
// falls on every level alike.
void measureCosts(const QString &name, const std::function<LinePane *()> &makePane,
                  const std::function<void(LinePane &, int)> &add)
{
    const qsizetype levels[] = {1'000, 10'000, 100'000, 1'000'000};
    std::vector<std::unique_ptr<LinePane>> panes;
    std::vector<std::vector<double>> batches(std::size(levels));
    int serial = 0;
    const auto fill = [&](LinePane &pane, qsizetype level) {
        while (pane.store().keptLines() < level && pane.store().droppedLines() == 0)
            add(pane, serial++);
        QCoreApplication::processEvents();
    };
    for (const qsizetype level : levels) {
        panes.emplace_back(makePane());
        panes.back()->show();
        if (!QTest::qWaitForWindowExposed(panes.back().get(), 10000))
            return;
        fill(*panes.back(), level);
    }
    for (int round = -2; round < 40; ++round) { // two rounds to warm the caches
        for (size_t i = 0; i < panes.size(); ++i) {
            LinePane &pane = *panes[i];
            if (pane.store().droppedLines() == 0 && pane.store().keptLines() > levels[i] + levels[i] / 5) {
                pane.clear();
                fill(pane, levels[i]);
            }
            const int n = 10;
            QElapsedTimer t;
            t.start();
            for (int k = 0; k < n; ++k) {
                add(pane, serial++);
                QCoreApplication::processEvents();
            }
            if (round >= 0)
                batches[i].push_back(double(t.nsecsElapsed()) / 1e6 / n);
        }
    }
    const double first = lowerQuartile(batches[0]);
    infoLine(QStringLiteral("%1: one at 1k lines").arg(name), first, "ms");
    for (size_t i = 1; i < panes.size(); ++i)
        ratioLine(QStringLiteral("%1: one at %2k lines / at 1k").arg(name).arg(levels[i] / 1000),
                  lowerQuartile(batches[i]) / first, 1.2, true);
}

double bytesPerLine(const std::function<void(LinePane &, int)> &add, bool response, qsizetype lines)
{
    const size_t before = heapInUse();
    double result = 0;
    {
        std::unique_ptr<LinePane> pane = response ? std::make_unique<ResponsePane>() : std::make_unique<LinePane>(11);
        for (int n = 0; pane->store().keptLines() < lines; ++n)
            add(*pane, n);
        result = double(heapInUse() - before) / double(pane->store().keptLines());
    }
    return result;
}

int frameBytes(const QString &traced)
{
    return int(traced.split(u' ', Qt::SkipEmptyParts).size());
}

int repeatRun(qsizetype prefill, int seconds)
{
    test::SimProcess sim;
    if (!sim.start()) {
        std::fprintf(stderr, "vexa-sim did not start\n");
        return 1;
    }
    test::ScriptedPrompt prompt;
    MainWindow window(&prompt);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window, 10000)
        || !waitUntil([&] { return statusPanel(window, 0).text() == QStringLiteral("COM1") && !window.session().link().busy(); },
                      10000, 5)) {
        std::fprintf(stderr, "the window did not reach the simulator\n");
        return 1;
    }
    ReaderLink &link = window.session().link();
    auto &isoPage = control<IsoPage>(window, "TSISO");
    auto &go = control<QToolButton>(window, "btnSend");
    auto &pane = control<ResponsePane>(window, "memoResponse");
    control<QTabWidget>(window, "PageControl1").setCurrentIndex(0);
    isoPage.commandList->findChildren<QRadioButton *>().at(iso15693::ViewOneBlock)->click();
    isoPage.blockNumberEdit->setText(QStringLiteral("7"));

    control<QAction>(window, "ContinuousMode1").trigger();
    go.click();
    const test::RepeatPhase early = test::measureRepeat(link, seconds);
    const qsizetype earlyLines = pane.store().count();

    // Pause, fill the pane as hours of Repeat would, go on.
    go.click();
    waitUntil([&] { return !link.busy(); }, 5000, 5);
    QElapsedTimer fill;
    fill.start();
    for (int n = 0; pane.store().count() < prefill; ++n)
        pane.writeReport(sampleReport(n), window.session().clockText());
    const double fillSeconds = double(fill.elapsed()) / 1000.0;
    go.click();
    const test::RepeatPhase late = test::measureRepeat(link, seconds);
    const qsizetype lateLines = pane.store().count();
    go.click();
    waitUntil([&] { return !link.busy(); }, 5000, 5);

    const QStringList requests = sim.requests(), replies = sim.replies();
    const int baud = window.session().serial().baudRate();
    const int bytes = frameBytes(requests.isEmpty() ? QString() : requests.last())
                    + frameBytes(replies.isEmpty() ? QString() : replies.last());
    const double lineMs = double(bytes) * 10.0 * 1000.0 / baud;
    const double allowed = 1000.0 / (lineMs + ReaderLink::kCompletionGapMs);

    infoLine(QStringLiteral("Repeat \"View One Block\", early (%1 lines)").arg(earlyLines), early.perSecond, "/s");
    infoLine(QStringLiteral("Repeat, late (%1 lines, filled in %2 s)").arg(lateLines).arg(fillSeconds, 0, 'f', 1),
             late.perSecond, "/s");
    infoLine(QStringLiteral("the line (%1 bytes at %2 baud) and the 100 ms gap allow").arg(bytes).arg(baud), allowed,
             "/s");
    infoLine(QStringLiteral("CPU early"), early.cpuPercent, "% of a core");
    infoLine(QStringLiteral("CPU late"), late.cpuPercent, "% of a core");
    ratioLine(QStringLiteral("Repeat rate late / early"), late.perSecond / early.perSecond, 0.95, false);
    ratioLine(QStringLiteral("Repeat rate late / what the line allows"), late.perSecond / allowed, 0.95, false);
    window.close();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Response pane and message view benchmark"));
    parser.addHelpOption();
    const QCommandLineOption prefill(QStringLiteral("prefill"),
                                     QStringLiteral("Lines put into the pane between the early and late Repeat runs."),
                                     QStringLiteral("lines"), QStringLiteral("100000"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Length of each Repeat run."),
                                     QStringLiteral("s"), QStringLiteral("20"));
    const QCommandLineOption noRepeat(QStringLiteral("no-repeat"), QStringLiteral("Skip the Repeat runs."));
    parser.addOptions({prefill, seconds, noRepeat});
    parser.process(app);

    std::printf("VexaHost pane benchmark\n");
    measureCosts(
        QStringLiteral("response pane report"),
        [] {
            auto *pane = new ResponsePane;
            pane->resize(640, 420);
            return pane;
        },
        [](LinePane &pane, int n) {
            static_cast<ResponsePane &>(pane).writeReport(sampleReport(n), QStringLiteral(" 10:11:12 "));
        });
    measureCosts(
        QStringLiteral("message view line"),
        [] {
            auto *view = new LinePane(11);
            view->resize(640, 120);
            return view;
        },
        [](LinePane &view, int n) { view.addLine(sampleMessage(n)); });
    const double paneBytes = bytesPerLine(
        [](LinePane &pane, int n) {
            static_cast<ResponsePane &>(pane).writeReport(sampleReport(n), QStringLiteral(" 10:11:12 "));
        },
        true, 1'000'000);
    ratioLine(QStringLiteral("response pane bytes per line (1M lines) / 250"), paneBytes / 250.0, 1.0, true);
    infoLine(QStringLiteral("response pane bytes per line"), paneBytes, "bytes");
    const double viewBytes = bytesPerLine([](LinePane &pane, int n) { pane.addLine(sampleMessage(n)); }, false, 500'000);
    infoLine(QStringLiteral("message view bytes per line (%1 characters)").arg(sampleMessage(0).size()), viewBytes,
             "bytes");

    if (!parser.isSet(noRepeat))
        return repeatRun(parser.value(prefill).toLongLong(), std::max(5, parser.value(seconds).toInt()));
    return 0;
}
