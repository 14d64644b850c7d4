// vexa-printbench - saves a response pane of 100,000 lines as a PDF the way
// "Print" does, a few pages per turn of the event loop, and prints how long
// the longest turn held the window (limit: 100 ms, "a moment") and the whole
// job took.
#include <algorithm>
#include <cstdio>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryDir>

#include "ui/window/reportprinter.h"
#include "ui/window/responsepane.h"

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    constexpr int kPagesPerTurn = 8; // as the main window prints
    constexpr double kTurnLimitMs = 100;

    vexa::ResponsePane pane;
    for (int i = 0; i < lines / 4; ++i) {
        vexa::Report report;
        report.separator = true;
        report.heading = QStringLiteral("Read Tag Block:");
        report.lines = {QStringLiteral("    Block Number: %1").arg(i % 256), QStringLiteral("    Block Data: 0000CAFE")};
        pane.writeReport(report, QStringLiteral(" 10:00:00 "));
    }

    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("report.pdf")));
    vexa::ReportPrinter report(pane.store(), pane.lineFont(vexa::LineStyle::Detail),
                               pane.lineFont(vexa::LineStyle::Heading), pane.textColour());
    QElapsedTimer total;
    total.start();
    if (!report.begin(&printer)) {
        std::fprintf(stderr, "printbench: cannot write the PDF\n");
        return 1;
    }
    double longest = 0;
    for (;;) {
        QElapsedTimer turn;
        turn.start();
        const bool done = report.printPages(kPagesPerTurn);
        longest = std::max(longest, turn.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
        if (done)
            break;
    }
    const double seconds = total.nsecsElapsed() / 1e9;
    const qint64 bytes = QFileInfo(dir.filePath(QStringLiteral("report.pdf"))).size();
    std::printf("lines %lld, pages %d, PDF %.1f MiB, whole job %.1f s\n", (long long)pane.store().count(),
                report.pageCount(), bytes / 1048576.0, seconds);
    std::printf("longest turn without the event loop: %.1f ms, ratio to the %.0f ms limit: %.2f (limit 1.0)\n", longest,
                kTurnLimitMs, longest / kTurnLimitMs);
    return 0;
}
