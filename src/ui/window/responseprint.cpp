// VexaHost - "Print".
#include "responseprint.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTimer>

#include "core/util/regularfile.h"
#include "ui/widgets/messageboxprompt.h"
#include "ui/widgets/windowframe.h"
#include "ui/window/reportprinter.h"
#include "ui/window/responsepane.h"

namespace vexa {

namespace {
const char kReportTitle[] = "Kestrune - Vexa Host Response Report";
// Pages drawn between two turns of the event loop: small enough that the
// window answers at once, large enough that a long report is not slowed.
constexpr int kPagesPerTurn = 8;

// Why the report cannot be written to `path`, or nothing when it can.
QString reportFileProblem(const QString &path)
{
    // Opened for appending, so that a file that is there keeps its content
    // until the report replaces it; one made here goes again.
    const bool existed = QFileInfo::exists(path);
    QFile file(path);
    if (!file.open(QIODevice::Append))
        return file.errorString();
    file.close();
    if (!existed)
        QFile::remove(path);
    return {};
}
} // namespace

ResponsePrint::ResponsePrint(ResponsePane &pane, OperatorPrompt &prompt, QWidget *window)
    : QObject(window), m_pane(pane), m_prompt(prompt), m_window(window)
{
    setObjectName(QStringLiteral("ResponsePrint"));
}

bool ResponsePrint::hasPrinter() const
{
    return printerAvailable ? printerAvailable() : !QPrinterInfo::defaultPrinter().isNull();
}

QString ResponsePrint::askReportFile()
{
    if (chooseReportFile)
        return chooseReportFile();
    // The operator's documents, not whatever folder the program was started in.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    QFileDialog dialog(m_window, QStringLiteral("Save Response Report"), folder, QStringLiteral("PDF files (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(QStringLiteral("VexaHost Response Report.pdf"));
    fitFileDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

QString ResponsePrint::askTextFile()
{
    if (chooseTextFile)
        return chooseTextFile();
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    QFileDialog dialog(m_window, QStringLiteral("Save Report As"), folder, QStringLiteral("Text files (*.txt)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(QStringLiteral("VexaHost Response Report.txt"));
    fitFileDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

QByteArray responseReportText(const QStringList &asWritten)
{
    QByteArray text;
    for (const QString &line : asWritten)
        text += line.toUtf8() + '\n';
    return text;
}

bool ResponsePrint::saveReportAs()
{
    // As with Print, a file that cannot be written is named with the reason
    // and the operator picks another; the old file stays as it was.
    for (;;) {
        QString path = askTextFile();
        if (path.isEmpty())
            return false;
        if (QFileInfo(path).suffix().isEmpty())
            path += QStringLiteral(".txt");
        const QString problem = replaceFile(path, responseReportText(m_pane.linesAsWritten()));
        if (problem.isEmpty())
            return true;
        m_prompt.error(QStringLiteral("The response report could not be saved as %1: %2. Choose another file.")
                           .arg(QDir::toNativeSeparators(path), problem));
    }
}

bool ResponsePrint::printResponse()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QLatin1String(kReportTitle));
    printer.setCreator(QStringLiteral("Vexa Host"));
    QString pdfFile;
    if (!hasPrinter()) {
        if (!m_prompt.confirm(QStringLiteral("No printer is installed. Save the response report as a PDF file instead?")))
            return false;
        // A file that cannot be written is named with the reason, and the
        // operator picks another instead of starting Print again.
        for (;;) {
            pdfFile = askReportFile();
            if (pdfFile.isEmpty())
                return false;
            if (QFileInfo(pdfFile).suffix().isEmpty())
                pdfFile += QStringLiteral(".pdf");
            const QString problem = reportFileProblem(pdfFile);
            if (problem.isEmpty())
                break;
            m_prompt.error(QStringLiteral("The response report could not be saved as %1: %2. Choose another file.")
                                .arg(QDir::toNativeSeparators(pdfFile), problem));
        }
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfFile);
    }
    return runPrintJob(printer, pdfFile);
}

bool ResponsePrint::runPrintJob(QPrinter &printer, const QString &pdfFile)
{
    ReportPrinter report(m_pane.store(), m_pane.lineFont(LineStyle::Detail),
                         m_pane.lineFont(LineStyle::Heading), m_pane.textColour());
    report.setHeading(QLatin1String(kReportTitle), QDateTime::currentDateTime());
    if (!report.begin(&printer)) {
        m_prompt.error(pdfFile.isEmpty()
                            ? QStringLiteral("The response report could not be printed on %1.").arg(printer.printerName())
                            : QStringLiteral("The response report could not be saved as %1.").arg(pdfFile));
        return false;
    }

    QProgressDialog progress(pdfFile.isEmpty() ? QStringLiteral("Printing the response report...")
                                               : QStringLiteral("Saving the response report..."),
                             QStringLiteral("Cancel"), 0, report.pageCount(), m_window);
    progress.setObjectName(QStringLiteral("PrintProgress"));
    // Untitled, the window system would name it after the program file.
    progress.setWindowTitle(QString::fromLatin1(kBoxTitle));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setValue(0);

    // Pages go out a few per turn of the event loop, so the window repaints
    // and Cancel is heard however long the report is.
    QEventLoop loop;
    bool done = false;
    QTimer step;
    step.setInterval(0);
    connect(&step, &QTimer::timeout, &loop, [&] {
        if (progress.wasCanceled()) {
            loop.quit();
            return;
        }
        done = report.printPages(kPagesPerTurn);
        progress.setValue(report.pagesPrinted());
        if (done)
            loop.quit();
    });
    step.start();
    loop.exec();
    step.stop();

    if (!done) {
        report.end();
        printer.abort();
        if (!pdfFile.isEmpty())
            QFile::remove(pdfFile);
        return false;
    }
    progress.setValue(progress.maximum());
    if (!pdfFile.isEmpty()) {
        if (QFileInfo(pdfFile).size() == 0) {
            m_prompt.error(QStringLiteral("The response report could not be saved as %1.").arg(pdfFile));
            return false;
        }
        m_prompt.information(QStringLiteral("The response report was saved as %1 (%2 pages).")
                                  .arg(pdfFile)
                                  .arg(report.pageCount()));
    }
    return true;
}

} // namespace vexa
