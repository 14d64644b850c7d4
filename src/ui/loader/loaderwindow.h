// VexaHost - the loader window: shows the firmware loader (its file, status,
// progress and whether "&Program" may start) and hands it the operator's
// "&Capture", "&Program" and the close, which sends the go command. It also
// gives the upgrade its file dialog and wait cursor.
//
// The window refuses to close while the loader works. Over USB the go
// command is an exchange: the window closes once it is over.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace vexa {

class FirmwareLoader;
class FirmwareUpgrade;

class LoaderWindow : public QDialog
{
    Q_OBJECT
public:
    LoaderWindow(FirmwareUpgrade &upgrade, QWidget *parent = nullptr);
    ~LoaderWindow() override;

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void showFile(const QString &path);
    void holdWaitCursor(bool waiting);
    void onGoDone();

    FirmwareUpgrade &m_upgrade;
    FirmwareLoader &m_loader;
    QPushButton *m_programButton = nullptr;
    QPushButton *m_doneButton = nullptr;
    QPushButton *m_captureButton = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QStatusBar *m_statusBar = nullptr;
    // The file being programmed: its name, the whole path in the tool tip.
    QLabel *m_fileLabel = nullptr;
    int m_cursorHolds = 0;
    // The go command is under way; the window closes with this result.
    bool m_leaving = false;
    int m_result = 0;
};

} // namespace vexa
