// VexaHost - the main window: a switchboard between the operator's controls,
// the reader link and the report views. The link's state and logic live in
// ReaderLink; the tag pages build their own frames.
#pragma once

#include <array>
#include <memory>
#include <QMainWindow>
#include <QSet>
#include <QTimer>

#include "config/readeroptions.h"
#include "link/frameview.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QTabWidget;
class QToolButton;
class QGroupBox;

namespace vexa {

class DeviceWatch;
class IsoPage;
class Iso14443Page;
class LinePane;
class OperatorPrompt;
class ReaderLink;
class ResponsePane;
class SerialTransport;
class StatusLight;
class TagitPage;
struct Report;

class TFrmMain : public QMainWindow
{
    Q_OBJECT
public:
    // `prompt` answers the operator's message boxes; null means real boxes.
    explicit TFrmMain(OperatorPrompt *prompt = nullptr, QWidget *parent = nullptr);
    ~TFrmMain() override;

    // --- command cycle
    void SpeedButton1Click();
    void ContinuousMode1Click();
    void ClearResponse1Click();
    void Exit1Click();
    void Timer2Timer();
    bool repeating() const;

    // --- reader identity
    void btnRdrVersionClick();
    void ToolButton4Click();
    void btnSetupClick();
    void btnResetReaderClick();
    void ToolButton3Click();
    void requestLoaderInfo();
    void reportManagementResponse(const FrameView &frame);

    // --- serial link
    void rebuildPortMenu();
    QAction *findPortItem(const QString &caption) const;
    void portChoice(QAction *item);
    // The device the chosen port stands for, for panel 0's tool tip.
    QString chosenPortToolTip() const;
    void ComPort1Click();
    void enableCommandControls(bool enable);
    void devicesChanged();

    // --- views
    void DebugMode1Click();

    // --- start and close
    void FormShow();
    void FormClose();

    // Heading-line writer and report writer of the response pane.
    void writeHeading(const QString &text);
    void writeReport(const Report &report);
    QString clockText() const;
    void logMessage(const QString &line);

    // State the Parts name, kept here for the whole run.
    ReaderOptions options;
    int bootLoaderComType = 0;

    ReaderLink &link() { return *m_link; }
    SerialTransport &serial() { return *m_serial; }
    OperatorPrompt &prompt() { return *m_prompt; }

    // Components, by the window's own names.
    QToolButton *btnSend = nullptr, *btnContinuous = nullptr, *btnRdrVersion = nullptr, *ToolButton4 = nullptr,
                *btnWgnMode = nullptr, *btnSetup = nullptr, *ToolButton2 = nullptr, *ToolButton3 = nullptr,
                *btnResetReader = nullptr;
    QAction *ClearResponse1 = nullptr, *Print1 = nullptr, *Send1 = nullptr, *ContinuousMode1 = nullptr,
            *Activate1 = nullptr, *LED1 = nullptr, *Audio1 = nullptr, *Exit1 = nullptr;
    QAction *ISOSetup1 = nullptr, *Encryption1 = nullptr, *AudioLED1 = nullptr, *RFModulation1 = nullptr,
            *btnTransOn = nullptr, *btnTransOff = nullptr, *Wiegand1 = nullptr, *Addressreader1 = nullptr;
    QAction *ComPort1 = nullptr, *USB1 = nullptr, *N96001 = nullptr, *N192001 = nullptr, *N384001 = nullptr,
            *N576001 = nullptr, *DebugMode1 = nullptr;
    QAction *viewAutoread1 = nullptr, *UpgradeFirmware1 = nullptr, *About1 = nullptr;
    QMenu *Port1 = nullptr, *BaudRate1 = nullptr;
    QTabWidget *PageControl1 = nullptr;
    IsoPage *TSISO = nullptr;
    Iso14443Page *ts14443 = nullptr;
    TagitPage *TSTagit = nullptr;
    QGroupBox *grpBxResponse = nullptr;
    ResponsePane *memoResponse = nullptr;
    LinePane *rchEditAPDLog = nullptr;
    std::array<QLabel *, 8> statusPanels{};
    StatusLight *txLight = nullptr, *rxLight = nullptr;
    QTimer Timer2;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void buildToolBar();
    void buildPages();
    void buildStatusBar();
    void wireLink();
    void setGoLook(bool repeatingLook);
    void setPanel(int index, const QString &text);
    void onResponse(const FrameView &frame);
    void sendManagementCommand(uint8_t code);
    QAction *makeAction(const QString &name, const QString &caption);
    void markNotBuilt(QObject *control);
    void setControlEnabled(QObject *control, bool enable);

    std::unique_ptr<OperatorPrompt> m_ownPrompt;
    OperatorPrompt *m_prompt = nullptr;
    SerialTransport *m_serial = nullptr;
    ReaderLink *m_link = nullptr;
    DeviceWatch *m_deviceWatch = nullptr;
    QActionGroup *m_portGroup = nullptr;
    QSet<QObject *> m_notBuilt;
    bool m_shown = false;
    bool m_closed = false;
};

} // namespace vexa
