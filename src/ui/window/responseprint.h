// VexaHost - "Print": the whole response pane as one job on the default
// printer, or, where no printer is installed, as a PDF file the operator
// names, so that a report is never silently lost.
#pragma once

#include <functional>
#include <QObject>
#include <QString>

class QPrinter;
class QWidget;

namespace vexa {

class OperatorPrompt;
class ResponsePane;

class ResponsePrint : public QObject
{
    Q_OBJECT
public:
    // Boxes and the progress box are modal on `window`.
    ResponsePrint(ResponsePane &pane, OperatorPrompt &prompt, QWidget *window);

    // The whole pane, from its stored lines: its selection and scroll
    // position are left as they are. False when nothing was printed.
    bool printResponse();
    // "Save Report As...": the pane's reports as UTF-8 text, the oldest
    // first, each with its lines as the pane shows them. False when nothing
    // was saved.
    bool saveReportAs();

    // Where printing asks the system and the operator; tests put in their
    // own answers. Unset: the default printer, and a file dialog.
    std::function<bool()> printerAvailable;
    std::function<QString()> chooseReportFile;
    std::function<QString()> chooseTextFile;

private:
    bool hasPrinter() const;
    QString askReportFile();
    QString askTextFile();
    bool runPrintJob(QPrinter &printer, const QString &pdfFile);

    ResponsePane &m_pane;
    OperatorPrompt &m_prompt;
    QWidget *m_window;
};

// Lines in the order they were written (LinePane::linesAsWritten(): the
// oldest report first, each reading as in the pane) as the text file Save
// Report As writes: UTF-8, each line ended by a line feed.
QByteArray responseReportText(const QStringList &asWritten);

} // namespace vexa
