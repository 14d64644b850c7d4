// VexaHost - the main window's layout: menus, tool bar, tab pages, response
// pane, message view and status bar.
#include "mainwindow.h"

#include <algorithm>
#include <functional>

#include <QAccessible>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/autoreadwindow.h"
#include "app/aboutbox.h"
#include "app/icons.h"
#include "config/dialogrunner.h"
#include "ui/messageboxprompt.h"
#include "app/responsepane.h"
#include "app/settingsstore.h"
#include "app/statuslight.h"
#include "app/statusrow.h"
#include "app/windowfirmwarehost.h"
#include "firmware/firmwareupgrade.h"
#include "firmware/loaderwindow.h"
#include "link/devicewatch.h"
#include "link/readerlink.h"
#include "link/serialtransport.h"
#include "link/usbtransport.h"
#include "tags/iso14443page.h"
#include "tags/isopage.h"
#include "tags/tagitpage.h"
#include "ui/accessibility.h"

namespace vexa {

namespace {
constexpr int kClientWidth = 678;
constexpr int kClientHeight = 583;
constexpr int kMinimumWidth = 547;
constexpr int kMinimumHeight = 480;
} // namespace

MainWindow::MainWindow(OperatorPrompt *prompt, QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FrmMain"));
    installAccessibility();
    if (prompt) {
        m_prompt = prompt;
    } else {
        m_ownPrompt = std::make_unique<MessageBoxPrompt>(this);
        m_prompt = m_ownPrompt.get();
    }
    m_serial = new SerialTransport(this);
    m_usb = new UsbTransport(this);
    m_link = new ReaderLink(options, this);
    m_link->setTransport(m_serial);

    setWindowTitle(QStringLiteral("Kestrune - Vexa Host"));
    buildMenus();
    buildToolBar();
    buildPages();
    buildStatusBar();
    autoReadWindow = new AutoReadWindow(this);
    wireLink();
    buildConfiguration();
    wireUsb();

    resize(kClientWidth, kClientHeight);
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    clockTimer.setObjectName(QStringLiteral("Timer2"));
    clockTimer.setParent(this);
    clockTimer.setInterval(1000);
    connect(&clockTimer, &QTimer::timeout, this, &MainWindow::updateClock);
    clockTimer.start();

    m_deviceWatch = new DeviceWatch(this);
    connect(m_deviceWatch, &DeviceWatch::devicesChanged, this, &MainWindow::devicesChanged);
    // A chosen port whose device went away: offer what the ports stand for now.
    connect(m_serial, &SerialTransport::deviceLost, this, &MainWindow::rebuildPortMenu);

    m_firmwareUpgrade = new FirmwareUpgrade(*new WindowFirmwareHost(*this), this);
    new LoaderWindow(*m_firmwareUpgrade, this);

    isoPage->showCommandOptions();
}

MainWindow::~MainWindow()
{
    // The link and pages refer to the prompt; tear them down before it goes.
    delete m_link;
    m_link = nullptr;
}

QAction *MainWindow::makeAction(const QString &name, const QString &caption)
{
    auto *action = new QAction(caption, this);
    action->setObjectName(name);
    return action;
}

void MainWindow::markNotBuilt(QObject *control)
{
    // Present with its caption, disabled until its feature is built.
    m_notBuilt.insert(control);
    setControlEnabled(control, false);
}

void MainWindow::setControlEnabled(QObject *control, bool enable)
{
    if (m_notBuilt.contains(control))
        enable = false;
    if (auto *action = qobject_cast<QAction *>(control))
        action->setEnabled(enable);
    else if (auto *widget = qobject_cast<QWidget *>(control))
        widget->setEnabled(enable);
}

// A checkable menu item whose handler inverts the check mark itself: undo
// the toolkit's own toggle first so that menu and tool button behave alike.
static void bindToggle(QAction *action, std::function<void()> handler)
{
    action->setCheckable(true);
    QObject::connect(action, &QAction::triggered, action, [action, handler] {
        action->setChecked(!action->isChecked());
        handler();
    });
}

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    clearAction = file->addAction(QStringLiteral("C&lear"), this, &MainWindow::clearResponse);
    clearAction->setObjectName(QStringLiteral("ClearResponse1"));
    printAction = file->addAction(QStringLiteral("&Print"));
    printAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    printAction->setObjectName(QStringLiteral("Print1"));
    connect(printAction, &QAction::triggered, this, &MainWindow::printResponse);
    file->addSeparator();
    goAction = file->addAction(QStringLiteral("&Go"));
    goAction->setObjectName(QStringLiteral("Send1"));
    goAction->setIcon(toolIcon(0));
    goAction->setCheckable(true);
    goAction->setShortcut(QKeySequence(Qt::Key_F5));
    connect(goAction, &QAction::triggered, this, &MainWindow::onGo);
    repeatAction = makeAction(QStringLiteral("ContinuousMode1"), QStringLiteral("&Repeat"));
    repeatAction->setShortcut(QKeySequence(Qt::Key_F6));
    bindToggle(repeatAction, [this] { toggleRepeat(); });
    file->addAction(repeatAction);
    QMenu *activate = file->addMenu(QStringLiteral("&Activate"));
    activateMenuAction = activate->menuAction();
    activateMenuAction->setObjectName(QStringLiteral("Activate1"));
    activateLedAction = activate->addAction(QStringLiteral("&LED..."));
    activateLedAction->setObjectName(QStringLiteral("LED1"));
    activateAudioAction = activate->addAction(QStringLiteral("&Audio..."));
    activateAudioAction->setObjectName(QStringLiteral("Audio1"));
    file->addSeparator();
    exitAction = file->addAction(QStringLiteral("E&xit"), this, &MainWindow::exitProgram);
    exitAction->setObjectName(QStringLiteral("Exit1"));
    exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu *config = menuBar()->addMenu(QStringLiteral("&Configuration"));
    isoSetupAction = config->addAction(QStringLiteral("&ISO Setup..."));
    isoSetupAction->setObjectName(QStringLiteral("ISOSetup1"));
    encryptionAction = config->addAction(QStringLiteral("&Encryption..."));
    encryptionAction->setObjectName(QStringLiteral("Encryption1"));
    audioLedAction = config->addAction(QStringLiteral("&Audio/LED..."));
    audioLedAction->setObjectName(QStringLiteral("AudioLED1"));
    QMenu *rf = config->addMenu(QStringLiteral("&RF Modulation"));
    rfMenuAction = rf->menuAction();
    rfMenuAction->setObjectName(QStringLiteral("RFModulation1"));
    auto *rfGroup = new QActionGroup(this);
    rfOnAction = rf->addAction(QStringLiteral("O&n"));
    rfOnAction->setObjectName(QStringLiteral("btnTransOn"));
    rfOffAction = rf->addAction(QStringLiteral("O&ff"));
    rfOffAction->setObjectName(QStringLiteral("btnTransOff"));
    for (QAction *a : {rfOnAction, rfOffAction}) {
        a->setCheckable(true);
        rfGroup->addAction(a);
    }
    rfOffAction->setChecked(true);
    config->addSeparator();
    wiegandAction = config->addAction(QStringLiteral("&Wiegand..."));
    wiegandAction->setObjectName(QStringLiteral("Wiegand1"));
    config->addSeparator();
    addressReaderAction = config->addAction(QStringLiteral("A&ddress reader..."));
    addressReaderAction->setObjectName(QStringLiteral("Addressreader1"));

    QMenu *settings = menuBar()->addMenu(QStringLiteral("&Settings"));
    QMenu *iface = settings->addMenu(QStringLiteral("&Reader Interface"));
    auto *ifaceGroup = new QActionGroup(this);
    comPortAction = iface->addAction(QStringLiteral("&Com Port"));
    comPortAction->setObjectName(QStringLiteral("ComPort1"));
    usbAction = iface->addAction(QStringLiteral("&USB"));
    usbAction->setObjectName(QStringLiteral("USB1"));
    for (QAction *a : {comPortAction, usbAction}) {
        a->setCheckable(true);
        ifaceGroup->addAction(a);
    }
    comPortAction->setChecked(true);
    connect(comPortAction, &QAction::triggered, this, &MainWindow::chooseSerialInterface);
    connect(usbAction, &QAction::triggered, this, &MainWindow::chooseUsbInterface);
    settings->addSeparator();
    portMenu = settings->addMenu(QStringLiteral("&Port"));
    portMenu->setObjectName(QStringLiteral("Port1"));
    m_portGroup = new QActionGroup(this);
    baudMenu = settings->addMenu(QStringLiteral("&Baud Rate"));
    baudMenu->setObjectName(QStringLiteral("BaudRate1"));
    auto *baudGroup = new QActionGroup(this);
    baud9600Action = baudMenu->addAction(QStringLiteral("&9600"));
    baud9600Action->setObjectName(QStringLiteral("N96001"));
    baud19200Action = baudMenu->addAction(QStringLiteral("&19200"));
    baud19200Action->setObjectName(QStringLiteral("N192001"));
    baud38400Action = baudMenu->addAction(QStringLiteral("&38400"));
    baud38400Action->setObjectName(QStringLiteral("N384001"));
    baud57600Action = baudMenu->addAction(QStringLiteral("&57600"));
    baud57600Action->setObjectName(QStringLiteral("N576001"));
    for (QAction *a : {baud9600Action, baud19200Action, baud38400Action, baud57600Action}) {
        a->setCheckable(true);
        baudGroup->addAction(a);
    }
    baud9600Action->setChecked(true);
    settings->addSeparator();
    messagesAction = makeAction(QStringLiteral("DebugMode1"), QStringLiteral("&View Messages"));
    bindToggle(messagesAction, [this] { toggleMessageView(); });
    settings->addAction(messagesAction);

    QMenu *tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    autoReadAction = tools->addAction(QStringLiteral("&View auto read..."));
    autoReadAction->setObjectName(QStringLiteral("viewAutoread1"));
    tools->addSeparator();
    upgradeFirmwareAction = tools->addAction(QStringLiteral("&Upgrade firmware..."));
    upgradeFirmwareAction->setObjectName(QStringLiteral("UpgradeFirmware1"));
    connect(autoReadAction, &QAction::triggered, this, &MainWindow::viewAutoRead);
    setControlEnabled(autoReadAction, false);
    connect(upgradeFirmwareAction, &QAction::triggered, this, &MainWindow::upgradeFirmware);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    aboutAction = help->addAction(QStringLiteral("&About..."));
    aboutAction->setObjectName(QStringLiteral("About1"));
    connect(aboutAction, &QAction::triggered, this, &MainWindow::showAbout);
}

// A tool tip that names the key of the menu item doing the same thing.
static QString withKey(const QString &hint, const QAction *action)
{
    return QStringLiteral("%1 (%2)").arg(hint, action->shortcut().toString(QKeySequence::NativeText));
}

void MainWindow::buildToolBar()
{
    QToolBar *bar = addToolBar(QStringLiteral("Tools"));
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setIconSize(QSize(20, 20));
    auto button = [this, bar](const QString &name, const QString &caption, int image, const QString &hint) {
        auto *b = new QToolButton(bar);
        b->setObjectName(name);
        b->setText(caption);
        b->setIcon(toolIcon(image));
        b->setToolTip(hint);
        b->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setMinimumSize(54, 38);
        bar->addWidget(b);
        return b;
    };
    goButton = button(QStringLiteral("btnSend"), QStringLiteral("Go"), 0, QStringLiteral("Send selected command to the reader"));
    goButton->setCheckable(true);
    goButton->setToolTip(withKey(goButton->toolTip(), goAction));
    connect(goButton, &QToolButton::clicked, this, &MainWindow::onGo);
    repeatButton = button(QStringLiteral("btnContinuous"), QStringLiteral("Repeat"), 2,
                           QStringLiteral("Continuously repeat selected command"));
    repeatButton->setCheckable(true);
    repeatButton->setToolTip(withKey(repeatButton->toolTip(), repeatAction));
    connect(repeatButton, &QToolButton::clicked, this, &MainWindow::toggleRepeat);
    bar->addSeparator();
    versionButton = button(QStringLiteral("btnRdrVersion"), QStringLiteral("Version"), 9, QStringLiteral("Get Reader Version"));
    connect(versionButton, &QToolButton::clicked, this, &MainWindow::requestVersion);
    infoButton = button(QStringLiteral("ToolButton4"), QStringLiteral("Info"), 9, QString());
    connect(infoButton, &QToolButton::clicked, this, &MainWindow::requestInfo);
    wiegandButton = button(QStringLiteral("btnWgnMode"), QStringLiteral("Wiegand"), 11, QStringLiteral("Enter Wiegand mode"));
    setupButton = button(QStringLiteral("btnSetup"), QStringLiteral("Setup"), 12, QStringLiteral("Show reader setup"));
    connect(setupButton, &QToolButton::clicked, this, &MainWindow::requestSetup);
    clearButton = button(QStringLiteral("ToolButton2"), QStringLiteral("C&lear"), 4, QString());
    connect(clearButton, &QToolButton::clicked, this, &MainWindow::clearResponse);
    testButton = button(QStringLiteral("ToolButton3"), QStringLiteral("Test"), 15, QString());
    connect(testButton, &QToolButton::clicked, this, &MainWindow::runTest);
    resetButton = button(QStringLiteral("btnResetReader"), QStringLiteral("Reset"), 8, QStringLiteral("Reset reader"));
    connect(resetButton, &QToolButton::clicked, this, &MainWindow::resetReader);
}

void MainWindow::buildPages()
{
    auto *central = new QWidget(this);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(4, 4, 4, 0);
    auto *top = new QHBoxLayout;
    outer->addLayout(top, 1);

    const TagContext context{*m_link, options, *m_prompt};
    pageTabs = new QTabWidget(central);
    pageTabs->setObjectName(QStringLiteral("PageControl1"));
    isoPage = new IsoPage(context, pageTabs);
    isoPage->setObjectName(QStringLiteral("TSISO"));
    iso14443Page = new Iso14443Page(context, pageTabs);
    iso14443Page->setObjectName(QStringLiteral("ts14443"));
    tagitPage = new TagitPage(context, pageTabs);
    tagitPage->setObjectName(QStringLiteral("TSTagit"));
    pageTabs->addTab(isoPage, QStringLiteral("ISO/IEC 15693"));
    pageTabs->addTab(iso14443Page, QStringLiteral("ISO/IEC 14443-A"));
    pageTabs->addTab(tagitPage, QStringLiteral("Tag-it"));
    pageTabs->setCurrentIndex(0);
    top->addWidget(pageTabs, 0);

    responseGroup = new QGroupBox(QStringLiteral("Reader Response"), central);
    responseGroup->setObjectName(QStringLiteral("grpBxResponse"));
    auto *responseLayout = new QVBoxLayout(responseGroup);
    responseLayout->setContentsMargins(2, 2, 2, 2);
    responsePane = new ResponsePane(responseGroup);
    responsePane->setObjectName(QStringLiteral("memoResponse"));
    responsePane->setAccessibleName(QStringLiteral("Reader Response"));
    responseLayout->addWidget(responsePane);
    top->addWidget(responseGroup, 1);

    messageView = new LinePane(11, central);
    messageView->setObjectName(QStringLiteral("rchEditAPDLog"));
    messageView->setAccessibleName(QStringLiteral("Messages"));
    messageView->setFixedHeight(kMessageViewHeight);
    messageView->hide();
    outer->addWidget(messageView, 0);
    setCentralWidget(central);
}

void MainWindow::buildStatusBar()
{
    static const int widths[8] = {40, 160, 75, 80, 60, 70, 80, 50};
    static const char *texts[8] = {"COM1", "Baud: 9600", "Repeat: Off", "Tx         Rx", "LED: On", "Audio: On", "", ""};
    auto *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(true);
    // One row of our own: the status bar's own layout lets fixed-width
    // panels overlap when the window is narrow.
    auto *row = new StatusPanelRow(bar);
    row->setObjectName(QStringLiteral("StatusPanels"));
    for (int i = 0; i < 8; ++i) {
        auto *panel = i == 3 ? new LightsPanel(QString::fromLatin1(texts[i]), row)
                             : new QLabel(QString::fromLatin1(texts[i]), row);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (i == 7)
            panel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // The addressed reader's serial number gives way first, then the
        // baud rate or USB state; the Tx and Rx lights sit at fixed places.
        row->addPanel(panel, widths[i], i == 3, i == 6 ? 1 : i == 1 ? 2 : 0);
        statusPanels[size_t(i)] = panel;
    }
    bar->addWidget(row, 1);
    // The two lights sit in panel 3 under the words "Tx" and "Rx".
    QLabel *lights = statusPanels[3];
    txLight = new StatusLight(QColor(0, 200, 0), lights);
    txLight->setAccessibleName(QStringLiteral("Tx"));
    txLight->move(21, 4);
    rxLight = new StatusLight(QColor(255, 0, 0), lights);
    rxLight->setAccessibleName(QStringLiteral("Rx"));
    rxLight->move(61, 4);
}

void MainWindow::setPanel(int index, const QString &text)
{
    statusPanels[size_t(index)]->setText(text);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        onFirstShow();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    onClose();
    QMainWindow::closeEvent(event);
}

void MainWindow::toggleMessageView()
{
    messagesAction->setChecked(!messagesAction->isChecked());
    const int viewHeight = kMessageViewHeight;
    // Take the height before the minimum changes: raising the minimum first
    // may already have grown the window.
    const int oldHeight = height();
    if (messagesAction->isChecked()) {
        messageView->clear();
        messageView->show();
        setMinimumHeight(minimumHeight() + viewHeight);
        resize(width(), oldHeight + viewHeight);
    } else {
        messageView->hide();
        setMinimumHeight(minimumHeight() - viewHeight);
        resize(width(), oldHeight - viewHeight);
    }
}

void MainWindow::upgradeFirmware()
{
    m_firmwareUpgrade->start();
}

void MainWindow::showAbout()
{
    // Made for each showing and gone afterwards: it keeps no state.
    AboutBox box(this);
    box.exec();
}

void MainWindow::logMessage(const QString &line)
{
    messageView->addLine(line);
}

} // namespace vexa
