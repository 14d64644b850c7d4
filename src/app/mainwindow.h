// VexaHost - the main window: a switchboard between the operator's controls,
// the reader link and the report views. The link's state and logic live in
// ReaderLink; the tag pages build their own frames.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <QMainWindow>
#include <QSet>
#include <QTimer>

#include "config/readeroptions.h"
#include "link/frameview.h"

class QAction;
class QDialog;
class QActionGroup;
class QLabel;
class QMenu;
class QTabWidget;
class QToolButton;
class QGroupBox;
struct AtUsbHidDeviceRecord;
class QPrinter;

namespace vexa {

class AutoReadWindow;
struct LoadedSettings;
class ActivateAudioDialog;
class ActivateLedDialog;
class AddressDialog;
class AudioLedDialog;
class DeviceWatch;
class DialogRunner;
class EncryptionDialog;
class IsoOptionsDialog;
class WiegandDialog;
class FirmwareUpgrade;
class IsoPage;
class Iso14443Page;
class LinePane;
class OperatorPrompt;
class ReaderLink;
class ResponsePane;
class SerialTransport;
class StatusLight;
class TagitPage;
class UsbTransport;
struct Report;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Places the window where it was closed before it first shows.
    void setVisible(bool visible) override;
    // `prompt` answers the operator's message boxes; null means real boxes.
    explicit MainWindow(OperatorPrompt *prompt = nullptr, QWidget *parent = nullptr);
    ~MainWindow() override;

    // --- command cycle
    void onGo();
    void toggleRepeat();
    void clearResponse();
    void exitProgram();
    void updateClock();
    bool repeating() const;

    // --- reader identity
    void requestVersion();
    void requestInfo();
    void requestSetup();
    void resetReader();
    void runTest();
    void requestLoaderInfo();
    void reportManagementResponse(const FrameView &frame);

    // --- serial link
    void rebuildPortMenu();
    QAction *findPortItem(const QString &caption) const;
    void choosePort(QAction *item);
    // "COM&3": the caption of a "Port" item.
    static QString portItemCaption(int number);
    // A port the user may not open: its device, the reason and the fix.
    static QString deniedPortText(const QString &device);
    // The device the chosen port stands for, for panel 0's tool tip.
    QString chosenPortToolTip() const;
    void chooseSerialInterface();
    void enableCommandControls(bool enable);
    void devicesChanged();

    // --- configuration (configactions.cpp)
    void chooseWiegandMode();
    void showIsoOptions();
    void sendEncryptionOptions();
    void chooseReaderAddress();
    void configureFeedback();
    void activateLed();
    void activateAudio();
    void setRfTransmitter(bool on);
    // Sends the baud-rate command at the old rate, waits about a second,
    // switches the port and reads the reader's setup at the new rate.
    void changeBaudRate(int rate);
    // The configuration dialogs are shown through `runner` (null: modally,
    // for a person); tests answer them without one.
    void setDialogRunner(DialogRunner *runner);

    // --- USB link
    void chooseUsbInterface();
    void usbSelect();
    void usbOpen();
    void usbClose();
    void onUsbDeviceChange(unsigned int event, const AtUsbHidDeviceRecord &record);
    void viewAutoRead();
    // --- firmware
    void upgradeFirmware();
    FirmwareUpgrade &firmwareUpgrade() { return *m_firmwareUpgrade; }

    // --- views
    static constexpr int kMessageViewHeight = 120;
    void toggleMessageView();
    void showAbout();
    void printResponse();

    // Where printing asks the system and the operator; tests put in their
    // own answers. Unset: the default printer, and a file dialog.
    std::function<bool()> printerAvailable;
    std::function<QString()> chooseReportFile;

    // --- start and close
    void onFirstShow();
    void onClose();
    // The start's exchange with the reader (rate, then setup) is still to
    // come or under way.
    bool startingUp() const { return m_startupBaudRate != 0 || m_changingBaud != 0; }

    // Heading-line writer and report writer of the response pane.
    void writeHeading(const QString &text);
    void writeReport(const Report &report);
    QString clockText() const;
    void logMessage(const QString &line);

    // State the Parts name, kept here for the whole run.
    ReaderOptions options;
    int bootLoaderComType = 0;
    // Set whenever the USB interface is selected or the device is closed or
    // removed; the firmware upgrade waits on it for the reader's return.
    bool usbDeviceLost = false;
    static constexpr int kBaudSettleMs = 990;
    // Longest a start waits for its first paint before it talks to the reader.
    static constexpr int kStartupUnpaintedMs = 500;

    ReaderLink &link() { return *m_link; }
    SerialTransport &serial() { return *m_serial; }
    UsbTransport &usb() { return *m_usb; }
    OperatorPrompt &prompt() { return *m_prompt; }

    // Controls and views; each keeps its historical name as objectName().
    QToolButton *goButton = nullptr, *repeatButton = nullptr, *versionButton = nullptr, *infoButton = nullptr,
                *wiegandButton = nullptr, *setupButton = nullptr, *clearButton = nullptr, *testButton = nullptr,
                *resetButton = nullptr;
    QAction *clearAction = nullptr, *printAction = nullptr, *goAction = nullptr, *repeatAction = nullptr,
            *activateMenuAction = nullptr, *activateLedAction = nullptr, *activateAudioAction = nullptr, *exitAction = nullptr;
    QAction *isoSetupAction = nullptr, *encryptionAction = nullptr, *audioLedAction = nullptr, *rfMenuAction = nullptr,
            *rfOnAction = nullptr, *rfOffAction = nullptr, *wiegandAction = nullptr, *addressReaderAction = nullptr;
    QAction *comPortAction = nullptr, *usbAction = nullptr, *baud9600Action = nullptr, *baud19200Action = nullptr, *baud38400Action = nullptr,
            *baud57600Action = nullptr, *messagesAction = nullptr;
    QAction *autoReadAction = nullptr, *upgradeFirmwareAction = nullptr, *aboutAction = nullptr;
    QMenu *portMenu = nullptr, *baudMenu = nullptr;
    QTabWidget *pageTabs = nullptr;
    IsoPage *isoPage = nullptr;
    Iso14443Page *iso14443Page = nullptr;
    TagitPage *tagitPage = nullptr;
    QGroupBox *responseGroup = nullptr;
    ResponsePane *responsePane = nullptr;
    LinePane *messageView = nullptr;
    AutoReadWindow *autoReadWindow = nullptr;
    std::array<QLabel *, 8> statusPanels{};
    StatusLight *txLight = nullptr, *rxLight = nullptr;
    QTimer clockTimer;
    WiegandDialog *wiegandDialog = nullptr;
    IsoOptionsDialog *isoOptionsDialog = nullptr;
    EncryptionDialog *encryptionDialog = nullptr;
    AddressDialog *addressDialog = nullptr;
    AudioLedDialog *audioLedDialog = nullptr;
    ActivateLedDialog *activateLedDialog = nullptr;
    ActivateAudioDialog *activateAudioDialog = nullptr;

signals:
    // The window is closing: waits in progress end.
    void closing();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void runStartupExchange();
    // A port is chosen, or the link is not the serial port.
    bool linkTalks() const;
    void buildMenus();
    void buildToolBar();
    void buildPages();
    void buildStatusBar();
    void wireLink();
    void wireUsb();
    void releaseUsbForSerial();
    bool hasPrinter() const;
    QString askReportFile();
    bool printReport();
    bool runPrintJob(QPrinter &printer, const QString &pdfFile);
    void setGoLook(bool repeatingLook);
    void setPanel(int index, const QString &text);
    void onResponse(const FrameView &frame);
    void sendManagementCommand(uint8_t code);
    QAction *makeAction(const QString &name, const QString &caption);
    void markNotBuilt(QObject *control);
    void setControlEnabled(QObject *control, bool enable);
    void buildConfiguration();
    int runDialog(QDialog &dialog);
    std::array<QAction *, 4> baudActions() const;
    // Marks the item of a rate (57600 for any other) and shows it in panel 1.
    void showBaudRate(int rate);

    std::unique_ptr<OperatorPrompt> m_ownPrompt;
    OperatorPrompt *m_prompt = nullptr;
    SerialTransport *m_serial = nullptr;
    UsbTransport *m_usb = nullptr;
    ReaderLink *m_link = nullptr;
    DeviceWatch *m_deviceWatch = nullptr;
    FirmwareUpgrade *m_firmwareUpgrade = nullptr;
    QActionGroup *m_portGroup = nullptr;
    QSet<QObject *> m_notBuilt;
    bool m_shown = false;
    bool m_closed = false;
    std::unique_ptr<DialogRunner> m_ownDialogRunner;
    DialogRunner *m_dialogRunner = nullptr;
    int m_changingBaud = 0; // the rate of the change under way
    int m_startupBaudRate = 0; // the start's rate change, waiting for the first paint
    int m_storedPortNumber = 1;
    bool m_settingsNotAFile = false; // said at the start; the close leaves it alone
    // The stored settings, read just before the window first shows.
    std::unique_ptr<LoadedSettings> m_startSettings;
    // The chosen port is one the user may not open.
    bool m_chosenPortDenied = false;
};

} // namespace vexa
