// "Print": the whole response pane, page after page, with its fonts and
// colour, as one job with the report's title; where no printer is installed,
// saved as a PDF file the operator names. The PDF output is read back.
#include <QtTest>

#include <QPrinter>
#include <QRegularExpression>
#include <QScrollBar>

#include "core/wire/report.h"
#include "ui/window/mainwindow.h"
#include "ui/window/reportprinter.h"
#include "ui/window/responsepane.h"
#include "controls.h"
#include "fakes.h"
#include "ui/window/responseprint.h"

using namespace vexa;
using vexa::test::control;
using vexa::test::ScriptedPrompt;

namespace {

struct Pdf
{
    QByteArray raw;
    QByteArray content; // every stream, inflated where it was deflated

    int pages() const
    {
        static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
        return int(QString::fromLatin1(raw).count(page));
    }
    QString title() const
    {
        // A literal string, or a hex one, either maybe UTF-16 with its mark.
        QByteArray bytes;
        const QRegularExpression hex(QStringLiteral("/Title\\s*<([0-9A-Fa-f]+)>"));
        const QRegularExpression plain(QStringLiteral("/Title\\s*\\(([^)]*)\\)"));
        const QString text = QString::fromLatin1(raw);
        if (const auto m = hex.match(text); m.hasMatch())
            bytes = QByteArray::fromHex(m.captured(1).toLatin1());
        else
            bytes = plain.match(text).captured(1).toLatin1();
        if (!bytes.startsWith("\xFE\xFF"))
            return QString::fromLatin1(bytes);
        QString decoded;
        for (qsizetype i = 2; i + 1 < bytes.size(); i += 2)
            decoded += QChar(ushort((uchar(bytes[i]) << 8) | uchar(bytes[i + 1])));
        return decoded;
    }
};

Pdf readPdf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    Pdf pdf{file.readAll(), {}};
    qsizetype at = 0;
    while ((at = pdf.raw.indexOf("stream", at)) >= 0) {
        qsizetype start = at + 6;
        if (pdf.raw.mid(start, 2) == "\r\n")
            start += 2;
        else if (pdf.raw.mid(start, 1) == "\n")
            start += 1;
        const qsizetype end = pdf.raw.indexOf("endstream", start);
        if (end < 0)
            break;
        const QByteArray data = pdf.raw.mid(start, end - start).trimmed();
        at = end + 9;
        if (!data.startsWith('\x78')) { // not a zlib stream
            pdf.content += data;
            continue;
        }
        // qUncompress wants the inflated size up front; a generous bound will do.
        QByteArray sized(4, '\0');
        qToBigEndian<quint32>(quint32(std::max<qsizetype>(data.size() * 64, 1 << 20)), sized.data());
        const QByteArray inflated = qUncompress(sized + data);
        pdf.content += inflated.isEmpty() ? data : inflated;
    }
    return pdf;
}

} // namespace

class tst_Printing : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void savedAsPdfWhenNoPrinter();
    void pagesFollowTheLines_data();
    void pagesFollowTheLines();
    void selectionRule_data();
    void selectionRule();
    void declinedOrUnwritableSavesNothing();
    void unwritableFileNamesTheReason_data();
    void unwritableFileNamesTheReason();

private:
    void fill(int reports);
    QString printToPdf();

    QTemporaryDir m_dir;
    ScriptedPrompt m_prompt;
    MainWindow *m_window = nullptr;
    QString m_pdf;
};

void tst_Printing::init()
{
    qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit() + "/config");
    m_prompt = ScriptedPrompt();
    m_window = new MainWindow(&m_prompt);
    m_pdf = m_dir.filePath(QStringLiteral("report.pdf"));
    QFile::remove(m_pdf);
    control<ResponsePrint>(*m_window, "ResponsePrint").printerAvailable = [] { return false; };
    control<ResponsePrint>(*m_window, "ResponsePrint").chooseReportFile = [this] { return m_pdf; };
}

void tst_Printing::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

// Each report is a heading and two detail lines under a blank separator.
void tst_Printing::fill(int reports)
{
    for (int i = 0; i < reports; ++i) {
        Report report;
        report.separator = true;
        report.heading = QStringLiteral("Read Tag Block:");
        report.lines = {QStringLiteral("    Block Number: %1").arg(i), QStringLiteral("    Block Data: 0000CAFE")};
        control<ResponsePane>(*m_window, "memoResponse").writeReport(report, QStringLiteral(" 10:00:00 "));
    }
}

QString tst_Printing::printToPdf()
{
    control<QAction>(*m_window, "Print1").trigger();
    return m_pdf;
}

void tst_Printing::savedAsPdfWhenNoPrinter()
{
    fill(3);
    printToPdf();
    QCOMPARE(m_prompt.confirmations.size(), 1);
    QVERIFY(m_prompt.confirmations.first().contains(QStringLiteral("No printer")));
    const Pdf pdf = readPdf(m_pdf);
    QVERIFY2(!pdf.raw.isEmpty(), "the report was saved");
    QCOMPARE(pdf.pages(), 1);
    QCOMPARE(pdf.title(), QStringLiteral("Kestrune - Vexa Host Response Report"));
    // The pane's faces: "Courier New" as the system maps it, plain and bold
    // italic, in the pane's blue.
    QVERIFY2(pdf.raw.contains("Mono") || pdf.raw.contains("Courier"), "monospaced font embedded");
    QVERIFY2(pdf.raw.contains("BoldItalic") || pdf.raw.contains("Bold-Italic") || pdf.raw.contains("BoldOblique"),
             "headings in bold italics");
    const QColor blue = control<ResponsePane>(*m_window, "memoResponse").textColour();
    QCOMPARE(blue, QColor(Qt::blue));
    // Every line in blue: the fill colour of the text is blue, never black.
    QVERIFY2(pdf.content.contains("0 0 1 scn"), "text drawn in blue");
    QVERIFY2(!pdf.content.contains("0 0 0 scn"), "no line drawn in black");
    QVERIFY(m_prompt.messages.last().contains(m_pdf));
}

void tst_Printing::pagesFollowTheLines_data()
{
    QTest::addColumn<int>("reports");
    QTest::newRow("empty pane") << 0;
    QTest::newRow("one page") << 5;
    QTest::newRow("many pages") << 400; // 1,600 lines
}

void tst_Printing::pagesFollowTheLines()
{
    QFETCH(int, reports);
    fill(reports);
    printToPdf();
    const Pdf pdf = readPdf(m_pdf);
    const ResponsePane &pane = control<ResponsePane>(*m_window, "memoResponse");

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath(QStringLiteral("probe.pdf")));
    ReportPrinter probe(pane.store(), pane.lineFont(LineStyle::Detail), pane.lineFont(LineStyle::Heading), Qt::blue);
    probe.setHeading(QStringLiteral("Job Title"), QDateTime(QDate(2026, 3, 4), QTime(9, 5)));
    printer.setPageMargins(QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter);
    QVERIFY(probe.begin(&printer));
    probe.end();
    // Margins widened to 15 mm (the job's own printer has its default ones).
    QCOMPARE(printer.pageLayout().margins(QPageLayout::Millimeter), QMarginsF(15, 15, 15, 15));
    // Every page: title and date on top, its number of the whole at the
    // foot, and the next lines of the report, none left out.
    qsizetype next = 0;
    for (int i = 0; i < probe.pageCount(); ++i) {
        const ReportPrinter::Page page = probe.page(i);
        QCOMPARE(page.header, QStringLiteral("Job Title  -  2026-03-04 09:05"));
        QCOMPARE(page.footer, QStringLiteral("Page %1 of %2").arg(i + 1).arg(probe.pageCount()));
        QCOMPARE(page.firstLine, next);
        next += page.lineCount;
    }
    QCOMPARE(next, pane.store().count());
    // A 12-pixel line on an A4 or Letter page: several dozen lines a page.
    QVERIFY2(probe.linesPerPage() > 40 && probe.linesPerPage() < 100, qPrintable(QString::number(probe.linesPerPage())));
    const qsizetype lines = pane.store().count();
    QCOMPARE(lines, qsizetype(reports) * 4);
    const int expected = lines == 0 ? 1 : int((lines + probe.linesPerPage() - 1) / probe.linesPerPage());
    QCOMPARE(pdf.pages(), expected);
}

void tst_Printing::selectionRule_data()
{
    QTest::addColumn<bool>("partial");
    QTest::addColumn<int>("scrolled"); // the pane's first line in sight
    QTest::newRow("nothing selected, at the top") << false << 0;
    QTest::newRow("nothing selected, scrolled") << false << 40;
    QTest::newRow("part selected, scrolled") << true << 25;
}

// The whole pane is printed, and the pane looks afterwards as before.
void tst_Printing::selectionRule()
{
    QFETCH(bool, partial);
    QFETCH(int, scrolled);
    fill(30);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    ResponsePane *pane = &control<ResponsePane>(*m_window, "memoResponse");
    if (partial)
        pane->select({1, 4}, {2, 10});
    QTRY_VERIFY(pane->verticalScrollBar()->maximum() >= scrolled); // ranges follow a turn later
    pane->verticalScrollBar()->setValue(scrolled);
    const auto anchor = pane->anchorPosition();
    const auto cursor = pane->cursorPosition();
    const QString selected = pane->selectedText();
    printToPdf();
    // Everything is printed either way: 120 lines take more than one page.
    QVERIFY(readPdf(m_pdf).pages() >= 2);
    QCoreApplication::processEvents();
    QCOMPARE(pane->anchorPosition(), anchor);
    QCOMPARE(pane->cursorPosition(), cursor);
    QCOMPARE(pane->hasSelection(), partial);
    QCOMPARE(pane->selectedText(), selected);
    QCOMPARE(pane->verticalScrollBar()->value(), scrolled);
}

void tst_Printing::declinedOrUnwritableSavesNothing()
{
    fill(2);
    m_prompt.confirmAnswer = false;
    printToPdf();
    QVERIFY(!QFile::exists(m_pdf));
}

void tst_Printing::unwritableFileNamesTheReason_data()
{
    QTest::addColumn<QString>("unwritable"); // under the test's folder
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("thenSaved"); // the second answer: a sound file, or Cancel
    QTest::newRow("no such folder, then Cancel") << "no-such-folder/report.pdf" << "No such file or directory" << false;
    QTest::newRow("inside a file, then a sound file") << "plain-file/report.pdf" << "Not a directory" << true;
}

// A file that cannot be written is named with the reason, and the file
// dialog comes again; nothing is left behind.
void tst_Printing::unwritableFileNamesTheReason()
{
    QFETCH(QString, unwritable);
    QFETCH(QString, reason);
    QFETCH(bool, thenSaved);
    fill(2);
    QFile plain(m_dir.filePath(QStringLiteral("plain-file")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString bad = m_dir.filePath(unwritable);
    QStringList answers{bad, thenSaved ? m_pdf : QString()};
    int asked = 0;
    control<ResponsePrint>(*m_window, "ResponsePrint").chooseReportFile = [&] { return answers.value(asked++); };
    control<QAction>(*m_window, "Print1").trigger();
    QCOMPARE(asked, 2);
    QCOMPARE(m_prompt.messages.size(), thenSaved ? 2 : 1);
    const QString error = m_prompt.messages.first();
    QVERIFY2(error.contains(QStringLiteral("could not be saved")) && error.contains(QDir::toNativeSeparators(bad))
                 && error.contains(reason),
             qPrintable(error));
    QVERIFY(!QFile::exists(bad));
    QCOMPARE(readPdf(m_pdf).pages() == 1, thenSaved);
}

QTEST_MAIN(tst_Printing)
#include "tst_printing.moc"
