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

#include "app/icons.h"
#include "app/operatorprompt.h"
#include "app/responsepane.h"
#include "app/statuslight.h"
#include "link/devicewatch.h"
#include "link/readerlink.h"
#include "link/serialtransport.h"
#include "tags/iso14443page.h"
#include "tags/isopage.h"
#include "tags/tagitpage.h"

namespace vexa {

namespace {
constexpr int kClientWidth = 678;
constexpr int kClientHeight = 583;
constexpr int kMinimumWidth = 547;
constexpr int kMinimumHeight = 480;
} // namespace

TFrmMain::TFrmMain(OperatorPrompt *prompt, QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FrmMain"));
    if (prompt) {
        m_prompt = prompt;
    } else {
        m_ownPrompt = std::make_unique<MessageBoxPrompt>(this);
        m_prompt = m_ownPrompt.get();
    }
    m_serial = new SerialTransport(this);
    m_link = new ReaderLink(options, this);
    m_link->setTransport(m_serial);

    setWindowTitle(QStringLiteral("Kestrune - Vexa Host"));
    buildMenus();
    buildToolBar();
    buildPages();
    buildStatusBar();
    wireLink();

    resize(kClientWidth, kClientHeight);
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    Timer2.setInterval(1000);
    connect(&Timer2, &QTimer::timeout, this, &TFrmMain::Timer2Timer);
    Timer2.start();

    m_deviceWatch = new DeviceWatch(this);
    connect(m_deviceWatch, &DeviceWatch::devicesChanged, this, &TFrmMain::devicesChanged);
    // A chosen port whose device went away: offer what the ports stand for now.
    connect(m_serial, &SerialTransport::deviceLost, this, &TFrmMain::rebuildPortMenu);

    TSISO->grpBxIsoCmdClick();
}

TFrmMain::~TFrmMain()
{
    // The link and pages refer to the prompt; tear them down before it goes.
    delete m_link;
    m_link = nullptr;
}

QAction *TFrmMain::makeAction(const QString &name, const QString &caption)
{
    auto *action = new QAction(caption, this);
    action->setObjectName(name);
    return action;
}

void TFrmMain::markNotBuilt(QObject *control)
{
    // Present with its caption, disabled until its feature is built.
    m_notBuilt.insert(control);
    setControlEnabled(control, false);
}

void TFrmMain::setControlEnabled(QObject *control, bool enable)
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

void TFrmMain::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    ClearResponse1 = file->addAction(QStringLiteral("C&lear"), this, &TFrmMain::ClearResponse1Click);
    ClearResponse1->setObjectName(QStringLiteral("ClearResponse1"));
    Print1 = file->addAction(QStringLiteral("&Print"));
    Print1->setObjectName(QStringLiteral("Print1"));
    markNotBuilt(Print1);
    file->addSeparator();
    Send1 = file->addAction(QStringLiteral("Go"));
    Send1->setObjectName(QStringLiteral("Send1"));
    Send1->setIcon(toolIcon(0));
    Send1->setCheckable(true);
    connect(Send1, &QAction::triggered, this, &TFrmMain::SpeedButton1Click);
    ContinuousMode1 = makeAction(QStringLiteral("ContinuousMode1"), QStringLiteral("Repeat"));
    bindToggle(ContinuousMode1, [this] { ContinuousMode1Click(); });
    file->addAction(ContinuousMode1);
    QMenu *activate = file->addMenu(QStringLiteral("Activate"));
    Activate1 = activate->menuAction();
    Activate1->setObjectName(QStringLiteral("Activate1"));
    LED1 = activate->addAction(QStringLiteral("LED..."));
    LED1->setObjectName(QStringLiteral("LED1"));
    Audio1 = activate->addAction(QStringLiteral("Audio..."));
    Audio1->setObjectName(QStringLiteral("Audio1"));
    markNotBuilt(LED1);
    markNotBuilt(Audio1);
    file->addSeparator();
    Exit1 = file->addAction(QStringLiteral("E&xit"), this, &TFrmMain::Exit1Click);
    Exit1->setObjectName(QStringLiteral("Exit1"));

    QMenu *config = menuBar()->addMenu(QStringLiteral("Configuration"));
    ISOSetup1 = config->addAction(QStringLiteral("ISO Setup..."));
    ISOSetup1->setObjectName(QStringLiteral("ISOSetup1"));
    Encryption1 = config->addAction(QStringLiteral("Encryption..."));
    Encryption1->setObjectName(QStringLiteral("Encryption1"));
    AudioLED1 = config->addAction(QStringLiteral("Audio/LED..."));
    AudioLED1->setObjectName(QStringLiteral("AudioLED1"));
    QMenu *rf = config->addMenu(QStringLiteral("RF Modulation"));
    RFModulation1 = rf->menuAction();
    RFModulation1->setObjectName(QStringLiteral("RFModulation1"));
    auto *rfGroup = new QActionGroup(this);
    btnTransOn = rf->addAction(QStringLiteral("On"));
    btnTransOn->setObjectName(QStringLiteral("btnTransOn"));
    btnTransOff = rf->addAction(QStringLiteral("Off"));
    btnTransOff->setObjectName(QStringLiteral("btnTransOff"));
    for (QAction *a : {btnTransOn, btnTransOff}) {
        a->setCheckable(true);
        rfGroup->addAction(a);
    }
    btnTransOff->setChecked(true);
    config->addSeparator();
    Wiegand1 = config->addAction(QStringLiteral("Wiegand..."));
    Wiegand1->setObjectName(QStringLiteral("Wiegand1"));
    config->addSeparator();
    Addressreader1 = config->addAction(QStringLiteral("Address reader..."));
    Addressreader1->setObjectName(QStringLiteral("Addressreader1"));
    for (QAction *a : {ISOSetup1, Encryption1, AudioLED1, btnTransOn, btnTransOff, Wiegand1, Addressreader1})
        markNotBuilt(a);

    QMenu *settings = menuBar()->addMenu(QStringLiteral("Settings"));
    QMenu *iface = settings->addMenu(QStringLiteral("Reader Interface"));
    auto *ifaceGroup = new QActionGroup(this);
    ComPort1 = iface->addAction(QStringLiteral("Com Port"));
    ComPort1->setObjectName(QStringLiteral("ComPort1"));
    USB1 = iface->addAction(QStringLiteral("USB"));
    USB1->setObjectName(QStringLiteral("USB1"));
    for (QAction *a : {ComPort1, USB1}) {
        a->setCheckable(true);
        ifaceGroup->addAction(a);
    }
    ComPort1->setChecked(true);
    connect(ComPort1, &QAction::triggered, this, &TFrmMain::ComPort1Click);
    markNotBuilt(USB1);
    settings->addSeparator();
    Port1 = settings->addMenu(QStringLiteral("Port"));
    Port1->setObjectName(QStringLiteral("Port1"));
    m_portGroup = new QActionGroup(this);
    BaudRate1 = settings->addMenu(QStringLiteral("Baud Rate"));
    BaudRate1->setObjectName(QStringLiteral("BaudRate1"));
    auto *baudGroup = new QActionGroup(this);
    N96001 = BaudRate1->addAction(QStringLiteral("9600"));
    N96001->setObjectName(QStringLiteral("N96001"));
    N192001 = BaudRate1->addAction(QStringLiteral("19200"));
    N192001->setObjectName(QStringLiteral("N192001"));
    N384001 = BaudRate1->addAction(QStringLiteral("38400"));
    N384001->setObjectName(QStringLiteral("N384001"));
    N576001 = BaudRate1->addAction(QStringLiteral("57600"));
    N576001->setObjectName(QStringLiteral("N576001"));
    for (QAction *a : {N96001, N192001, N384001, N576001}) {
        a->setCheckable(true);
        baudGroup->addAction(a);
        markNotBuilt(a);
    }
    N96001->setChecked(true);
    settings->addSeparator();
    DebugMode1 = makeAction(QStringLiteral("DebugMode1"), QStringLiteral("View Messages"));
    bindToggle(DebugMode1, [this] { DebugMode1Click(); });
    settings->addAction(DebugMode1);

    QMenu *tools = menuBar()->addMenu(QStringLiteral("Tools"));
    viewAutoread1 = tools->addAction(QStringLiteral("View auto read..."));
    viewAutoread1->setObjectName(QStringLiteral("viewAutoread1"));
    tools->addSeparator();
    UpgradeFirmware1 = tools->addAction(QStringLiteral("Upgrade firmware..."));
    UpgradeFirmware1->setObjectName(QStringLiteral("UpgradeFirmware1"));
    markNotBuilt(viewAutoread1);
    markNotBuilt(UpgradeFirmware1);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    About1 = help->addAction(QStringLiteral("&About..."));
    About1->setObjectName(QStringLiteral("About1"));
    markNotBuilt(About1);
}

void TFrmMain::buildToolBar()
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
    btnSend = button(QStringLiteral("btnSend"), QStringLiteral("Go"), 0, QStringLiteral("Send selected command to the reader"));
    btnSend->setCheckable(true);
    connect(btnSend, &QToolButton::clicked, this, &TFrmMain::SpeedButton1Click);
    btnContinuous = button(QStringLiteral("btnContinuous"), QStringLiteral("Repeat"), 2,
                           QStringLiteral("Continuously repeat selected command"));
    btnContinuous->setCheckable(true);
    connect(btnContinuous, &QToolButton::clicked, this, &TFrmMain::ContinuousMode1Click);
    bar->addSeparator();
    btnRdrVersion = button(QStringLiteral("btnRdrVersion"), QStringLiteral("Version"), 9, QStringLiteral("Get Reader Version"));
    connect(btnRdrVersion, &QToolButton::clicked, this, &TFrmMain::btnRdrVersionClick);
    ToolButton4 = button(QStringLiteral("ToolButton4"), QStringLiteral("Info"), 9, QString());
    connect(ToolButton4, &QToolButton::clicked, this, &TFrmMain::ToolButton4Click);
    btnWgnMode = button(QStringLiteral("btnWgnMode"), QStringLiteral("Wiegand"), 11, QStringLiteral("Enter Wiegand mode"));
    markNotBuilt(btnWgnMode);
    btnSetup = button(QStringLiteral("btnSetup"), QStringLiteral("Setup"), 12, QStringLiteral("Show reader setup"));
    connect(btnSetup, &QToolButton::clicked, this, &TFrmMain::btnSetupClick);
    ToolButton2 = button(QStringLiteral("ToolButton2"), QStringLiteral("C&lear"), 4, QString());
    connect(ToolButton2, &QToolButton::clicked, this, &TFrmMain::ClearResponse1Click);
    ToolButton3 = button(QStringLiteral("ToolButton3"), QStringLiteral("Test"), 15, QString());
    connect(ToolButton3, &QToolButton::clicked, this, &TFrmMain::ToolButton3Click);
    btnResetReader = button(QStringLiteral("btnResetReader"), QStringLiteral("Reset"), 8, QStringLiteral("Reset reader"));
    connect(btnResetReader, &QToolButton::clicked, this, &TFrmMain::btnResetReaderClick);
}

void TFrmMain::buildPages()
{
    auto *central = new QWidget(this);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(4, 4, 4, 0);
    auto *top = new QHBoxLayout;
    outer->addLayout(top, 1);

    const TagContext context{*m_link, options, *m_prompt};
    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TSISO = new IsoPage(context, PageControl1);
    TSISO->setObjectName(QStringLiteral("TSISO"));
    ts14443 = new Iso14443Page(context, PageControl1);
    ts14443->setObjectName(QStringLiteral("ts14443"));
    TSTagit = new TagitPage(context, PageControl1);
    TSTagit->setObjectName(QStringLiteral("TSTagit"));
    PageControl1->addTab(TSISO, QStringLiteral("ISO/IEC 15693"));
    PageControl1->addTab(ts14443, QStringLiteral("ISO/IEC 14443-A"));
    PageControl1->addTab(TSTagit, QStringLiteral("Tag-it"));
    PageControl1->setCurrentIndex(0);
    top->addWidget(PageControl1, 0);

    grpBxResponse = new QGroupBox(QStringLiteral("Reader Response"), central);
    auto *responseLayout = new QVBoxLayout(grpBxResponse);
    responseLayout->setContentsMargins(2, 2, 2, 2);
    memoResponse = new ResponsePane(grpBxResponse);
    memoResponse->setObjectName(QStringLiteral("memoResponse"));
    memoResponse->setAccessibleName(QStringLiteral("Reader Response"));
    responseLayout->addWidget(memoResponse);
    top->addWidget(grpBxResponse, 1);

    rchEditAPDLog = new LinePane(11, central);
    rchEditAPDLog->setObjectName(QStringLiteral("rchEditAPDLog"));
    rchEditAPDLog->setAccessibleName(QStringLiteral("Messages"));
    rchEditAPDLog->setFixedHeight(120);
    rchEditAPDLog->hide();
    outer->addWidget(rchEditAPDLog, 0);
    setCentralWidget(central);
}

void TFrmMain::buildStatusBar()
{
    static const int widths[8] = {40, 160, 75, 80, 60, 70, 80, 50};
    static const char *texts[8] = {"COM1", "Baud: 9600", "Repeat: Off", "Tx         Rx", "LED: On", "Audio: On", "", ""};
    auto *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(true);
    for (int i = 0; i < 8; ++i) {
        auto *panel = i == 3 ? new LightsPanel(QString::fromLatin1(texts[i]), bar)
                             : new QLabel(QString::fromLatin1(texts[i]), bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setMinimumWidth(widths[i]);
        if (i < 7) {
            panel->setFixedWidth(widths[i]);
            bar->addWidget(panel);
        } else {
            // Wide enough for the whole clock text in any font.
            panel->setMinimumWidth(std::max(widths[i], panel->fontMetrics().horizontalAdvance(QStringLiteral(" 00:00:00 ")) + 8));
            panel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            bar->addWidget(panel, 1);
        }
        statusPanels[size_t(i)] = panel;
    }
    // The two lights sit in panel 3 under the words "Tx" and "Rx".
    QLabel *lights = statusPanels[3];
    txLight = new StatusLight(QColor(0, 200, 0), lights);
    txLight->setAccessibleName(QStringLiteral("Tx"));
    txLight->move(21, 4);
    rxLight = new StatusLight(QColor(255, 0, 0), lights);
    rxLight->setAccessibleName(QStringLiteral("Rx"));
    rxLight->move(61, 4);
}

void TFrmMain::setPanel(int index, const QString &text)
{
    statusPanels[size_t(index)]->setText(text);
}

void TFrmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TFrmMain::closeEvent(QCloseEvent *event)
{
    FormClose();
    QMainWindow::closeEvent(event);
}

void TFrmMain::DebugMode1Click()
{
    DebugMode1->setChecked(!DebugMode1->isChecked());
    const int viewHeight = 120;
    // Take the height before the minimum changes: raising the minimum first
    // may already have grown the window.
    const int oldHeight = height();
    if (DebugMode1->isChecked()) {
        rchEditAPDLog->clear();
        rchEditAPDLog->show();
        setMinimumHeight(minimumHeight() + viewHeight);
        resize(width(), oldHeight + viewHeight);
    } else {
        rchEditAPDLog->hide();
        setMinimumHeight(minimumHeight() - viewHeight);
        resize(width(), oldHeight - viewHeight);
    }
}

void TFrmMain::logMessage(const QString &line)
{
    rchEditAPDLog->insertLine(0, line);
}

} // namespace vexa
