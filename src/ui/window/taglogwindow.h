// VexaHost - "Tag Log": the session's tag log as a live table beside the
// main window, sortable by any column and filtered by family, with "Clear",
// "Export..." (CSV) and a status line "N tags, M reads". Not modal: the
// operator keeps working in the main window, and Repeat never waits for it.
#pragma once

#include <functional>
#include <optional>
#include <utility>
#include <QWidget>

#include "core/wire/reception.h"

#include "core/settings/settingsstore.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

namespace vexa {

class OperatorPrompt;
class TagLog;
class TagLogExport;
class TagLogFilter;
class TagLogModel;
class TagPresence;

class TagLogWindow : public QWidget
{
    Q_OBJECT
public:
    // `presence` fills the "State" column ("present" / "left").
    TagLogWindow(TagLog &log, OperatorPrompt &prompt, const TagLogPlacement &placement, QWidget *mainWindow,
                 const TagPresence *presence = nullptr);

    // Shows it where it was, or beside the main window the first time.
    void showBeside();
    // What the settings keep of it now.
    TagLogPlacement placement() const;
    // The first place of a frame of `size`: right of the main window's frame,
    // else left of it, else narrower on the side with more room, else over
    // it at the screen's right edge; always on `available`.
    static QRect besideFrame(const QRect &mainFrame, QSize size, const QRect &available);

    // The family and UID (or tag address) of the table's current row.
    std::optional<std::pair<ResponseFamily, QString>> currentTag() const;

    TagLogModel &model() { return *m_model; }
    TagLogExport &exporter() { return *m_export; }
    // Where Export asks the operator; tests put in their own answer.
    std::function<QString()> chooseExportFile;

private:
    void updateStatus();
    void exportLog();
    void exportFinished(const QString &reason);
    QString askExportFile();

    TagLog &m_log;
    OperatorPrompt &m_prompt;
    TagLogPlacement m_placement;
    bool m_placed = false;
    TagLogModel *m_model = nullptr;
    TagLogFilter *m_filter = nullptr;
    TagLogExport *m_export = nullptr;
    QString m_exportPath;
    QComboBox *m_familyBox = nullptr;
    QComboBox *m_sortBox = nullptr;
    QCheckBox *m_descending = nullptr;
    QTableView *m_table = nullptr;
    QPushButton *m_clearButton = nullptr, *m_exportButton = nullptr;
    QLabel *m_status = nullptr, *m_note = nullptr;
};

} // namespace vexa
