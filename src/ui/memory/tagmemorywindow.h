// VexaHost - "Tag Memory": an ISO/IEC 15693 tag's whole memory beside the
// main window, as a grid of blocks with the decoded NDEF message above it.
// "Read All" dumps the tag named in the UID field (empty: the one tag in the
// field), "Open..." shows a dump file instead, "Save As..." writes the grid
// as a dump, "Write Changes" writes the blocks edited in the grid and reads
// them back, "Verify" compares the tag with the opened file. Each runs as a
// MemoryJob on the session: the window never waits, shows the job's
// progress and can cancel it; file dialogs open window-modal, not in an
// event loop of their own.
#pragma once

#include <functional>
#include <QPointer>
#include <QWidget>

#include "core/session/memoryjob.h"
#include "core/settings/settingsstore.h"
#include "ui/memory/memorygrid.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace vexa {

class OperatorPrompt;
class ReaderSession;

class TagMemoryWindow : public QWidget
{
    Q_OBJECT
public:
    // The largest dump file opened: a 256-block tag of 32-byte blocks as
    // JSON is far below it.
    static constexpr qint64 kLargestFile = 1024 * 1024;
    static constexpr int kDefaultWidth = 620;
    static constexpr int kDefaultHeight = 520;

    TagMemoryWindow(ReaderSession &session, OperatorPrompt &prompt, const TagMemoryPlacement &placement,
                    QWidget *mainWindow);
    ~TagMemoryWindow() override;

    // Shows it where it was closed last, else where the window system puts it.
    void showPlaced();
    TagMemoryPlacement placement() const;
    // The tag the jobs address; empty for the one tag in the field.
    void setUid(const QString &uid);
    QString uid() const;

    MemoryGridModel &grid() { return *m_grid; }
    bool jobRunning() const { return m_job != nullptr; }
    // Stops the job in flight after its exchange.
    void cancelJob();
    // Drops the job at once, its answer unheard (the session is ending): the
    // session's options are as before it.
    void dropJob();

    // Where Save As and Open take their file; tests put in their own
    // answer (called at once), a person gets a window-modal file dialog.
    std::function<QString(bool save)> chooseFile;

signals:
    // A job has the session (the main window sends nothing meanwhile), or
    // no longer.
    void jobRunningChanged(bool running);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void readAll();
    void writeChanges();
    void verify();
    void askFile(bool save);
    void saveTo(const QString &path);
    void openFrom(const QString &path);
    void startJob(const MemoryJobInput &input);
    void jobFinished(MemoryJob *job, const MemoryJobResult &result);
    void showMemory(const tagdump::TagDump &dump, MemoryGridModel::Source source, const QString &origin);
    void showNdef();
    void updateActions();

    ReaderSession &m_session;
    OperatorPrompt &m_prompt;
    TagMemoryPlacement m_placement;
    bool m_placed = false;
    MemoryGridModel *m_grid = nullptr;
    QPointer<MemoryJob> m_job;
    // The dump the grid came from when it is a file: Verify compares with it.
    QString m_filePath;
    QLineEdit *m_uidEdit = nullptr;
    QLabel *m_source = nullptr;
    QPlainTextEdit *m_ndef = nullptr;
    QTableView *m_table = nullptr;
    QPlainTextEdit *m_result = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_readButton = nullptr, *m_openButton = nullptr, *m_saveButton = nullptr,
                *m_writeButton = nullptr, *m_verifyButton = nullptr, *m_cancelButton = nullptr;
};

} // namespace vexa
