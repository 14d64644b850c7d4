// VexaHost - the main window: a view of one reader session. It lays out the
// menus, tool bar, tag pages, response pane, message view and status bar,
// shows what the session tells and calls the session for what the operator
// asks. Its controls are private; each keeps its historical name as
// objectName(), by which tests and assistive technology find it.
#pragma once

#include <memory>
#include <QMainWindow>

#include "core/session/readersession.h"

class QAction;
class QDialog;
class QMenu;
class QTabWidget;
class QToolButton;

namespace vexa {

class ActivateAudioDialog;
class ActivateLedDialog;
class AddressDialog;
class AudioLedDialog;
class AutoReadWindow;
class DialogRunner;
class EncryptionDialog;
class FirmwareUpgrade;
class Iso14443Page;
class IsoOptionsDialog;
class IsoPage;
class LinePane;
class ResponsePane;
class ResponsePrint;
class TagitPage;
class TagLogWindow;
class TagMemoryWindow;
class WiegandDialog;
struct LoadedSettings;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kMessageViewHeight = 120;
    // Longest a start waits for its first paint before it talks to the reader.
    static constexpr int kStartupUnpaintedMs = 500;

    // `prompt` answers the operator's message boxes; null means real boxes.
    explicit MainWindow(OperatorPrompt *prompt = nullptr, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Places the window where it was closed before it first shows.
    void setVisible(bool visible) override;

    ReaderSession &session() { return *m_session; }
    FirmwareUpgrade &firmwareUpgrade() { return *m_firmwareUpgrade; }
    // The configuration dialogs are shown through `runner` (null: modally,
    // for a person); tests answer them without one.
    void setDialogRunner(DialogRunner *runner);
    // The start's exchange with the reader (rate, then setup) is still to
    // come or under way.
    bool startingUp() const { return m_startupBaudRate != 0 || m_session->changingBaud(); }

signals:
    // The window is closing: waits in progress end.
    void closing();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    // Layout (mainwindow.cpp).
    QAction *addItem(QMenu *menu, const char *name, const QString &caption, const QKeySequence &key = {});
    void buildMenus();
    void buildToolBar();
    void buildPages();
    TagPage pageInView() const;
    void buildStatusBar();
    void buildDialogs();
    void wireSession();
    void setControlEnabled(QObject *control, bool enable);
    void enableCommandControls(bool enable);
    void showInterface(ReaderSession::Interface choice);
    void showBaudRate(int rate);
    void onFirstShow();
    void runStartupExchange();
    void onClose();

    // What the operator's controls do (windowcommands.cpp).
    void onGo();
    void showGoLook();
    void toggleRepeat();
    void clearResponse();
    void toggleMessageView();
    int runDialog(QDialog &dialog);
    void chooseWiegandMode();
    void showIsoOptions();
    void sendEncryptionOptions();
    void chooseReaderAddress();
    void configureFeedback();
    void activateLed();
    void activateAudio();
    void setRfTransmitter(bool on);
    void viewAutoRead();
    // Made when first asked for, placed as the settings say.
    TagLogWindow *tagLogWindow();
    // Made when first asked for; opened with the Tag Log's ISO/IEC 15693
    // tag, when one is chosen there.
    TagMemoryWindow *tagMemoryWindow();
    void showTagMemory();
    void showAbout();

    std::unique_ptr<OperatorPrompt> m_ownPrompt;
    ReaderSession *m_session = nullptr;
    FirmwareUpgrade *m_firmwareUpgrade = nullptr;
    ResponsePrint *m_print = nullptr;
    std::unique_ptr<DialogRunner> m_ownDialogRunner;
    DialogRunner *m_dialogRunner = nullptr;

    QToolButton *m_goButton = nullptr, *m_repeatButton = nullptr, *m_wiegandButton = nullptr;
    QAction *m_goAction = nullptr, *m_repeatAction = nullptr, *m_messagesAction = nullptr, *m_comPortAction = nullptr,
            *m_usbAction = nullptr, *m_autoReadAction = nullptr, *m_upgradeAction = nullptr, *m_rfOnAction = nullptr,
            *m_rfOffAction = nullptr;
    // Go, Repeat and every command: off while no reader can be reached.
    QList<QObject *> m_commandControls;
    QMenu *m_portMenu = nullptr, *m_baudMenu = nullptr;
    QTabWidget *m_pageTabs = nullptr;
    IsoPage *m_isoPage = nullptr;
    Iso14443Page *m_iso14443Page = nullptr;
    TagitPage *m_tagitPage = nullptr;
    ResponsePane *m_responsePane = nullptr;
    LinePane *m_messageView = nullptr;
    AutoReadWindow *m_autoReadWindow = nullptr;
    TagLogWindow *m_tagLogWindow = nullptr;
    TagMemoryWindow *m_tagMemoryWindow = nullptr;
    bool m_memoryJobRunning = false; // the Tag Memory window's job has the session
    WiegandDialog *m_wiegandDialog = nullptr;
    IsoOptionsDialog *m_isoOptionsDialog = nullptr;
    EncryptionDialog *m_encryptionDialog = nullptr;
    AddressDialog *m_addressDialog = nullptr;
    AudioLedDialog *m_audioLedDialog = nullptr;
    ActivateLedDialog *m_activateLedDialog = nullptr;
    ActivateAudioDialog *m_activateAudioDialog = nullptr;

    bool m_shown = false;
    bool m_closed = false;
    int m_startupBaudRate = 0; // the start's rate change, waiting for the first paint
    bool m_settingsNotAFile = false; // said at the start; the close leaves it alone
    // The stored settings, read just before the window first shows.
    std::unique_ptr<LoadedSettings> m_startSettings;
};

} // namespace vexa
