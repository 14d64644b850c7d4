// VexaHost - the main window's layout, its wiring to the session, and its
// first showing and close: the stored settings are read once when the window
// is first shown and written once when it closes.
#include "mainwindow.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>
#include <functional>
#include <utility>

#include "core/link/readerlink.h"
#include "core/link/serialtransport.h"
#include "core/loader/firmwareupgrade.h"
#include "core/session/commandcycle.h"
#include "core/settings/settingsstore.h"
#include "ui/dialogs/dialogrunner.h"
#include "ui/dialogs/wieganddialog.h"
#include "ui/loader/loaderwindow.h"
#include "ui/memory/tagmemorywindow.h"
#include "ui/pages/iso14443page.h"
#include "ui/pages/isopage.h"
#include "ui/pages/tagitpage.h"
#include "ui/widgets/accessibility.h"
#include "ui/widgets/messageboxprompt.h"
#include "ui/widgets/windowframe.h"
#include "ui/window/autoreadwindow.h"
#include "ui/window/icons.h"
#include "ui/window/portmenu.h"
#include "ui/window/responsepane.h"
#include "ui/window/responseprint.h"
#include "ui/window/sessionstatus.h"
#include "ui/window/taglogwindow.h"

namespace vexa {

namespace {
constexpr int kMinimumWidth = 547;
constexpr int kMinimumHeight = 480;

// A checkable menu item whose handler sets the check mark itself: undo the
// toolkit's own toggle first so that menu and tool button behave alike.
void bindToggle(QAction *action, std::function<void()> handler)
{
    action->setCheckable(true);
    QObject::connect(action, &QAction::triggered, action, [action, handler] {
        action->setChecked(!action->isChecked());
        handler();
    });
}

// A tool tip that names the key of the menu item doing the same thing.
QString withKey(const QString &hint, const QAction *action)
{
    return QStringLiteral("%1 (%2)").arg(hint, action->shortcut().toString(QKeySequence::NativeText));
}

// One exclusive group of checkable items.
void makeExclusive(QObject *owner, std::initializer_list<QAction *> items)
{
    auto *group = new QActionGroup(owner);
    for (QAction *item : items) {
        item->setCheckable(true);
        group->addAction(item);
    }
}

} // namespace

MainWindow::MainWindow(OperatorPrompt *prompt, QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FrmMain"));
    installAccessibility();
    if (!prompt) {
        m_ownPrompt = std::make_unique<MessageBoxPrompt>(this);
        prompt = m_ownPrompt.get();
    }
    m_session = new ReaderSession(*prompt, this);

    setWindowTitle(QStringLiteral("Kestrune - Vexa Host"));
    buildMenus();
    buildToolBar();
    buildPages();
    buildStatusBar();
    m_autoReadWindow = new AutoReadWindow(this);
    buildDialogs();
    wireSession();
    m_print = new ResponsePrint(*m_responsePane, *prompt, this);

    resize(StoredSettings::kDesignWidth, StoredSettings::kDesignHeight);
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    m_firmwareUpgrade = new FirmwareUpgrade(m_session->firmwareHost(), this);
    new LoaderWindow(*m_firmwareUpgrade, this);
    m_isoPage->showCommandOptions();
}

MainWindow::~MainWindow()
{
    // A memory job still under way gives the session back its options as it
    // goes: before the session.
    delete m_tagMemoryWindow;
    delete m_session; // first, while the prompt it was given is still there
}

QAction *MainWindow::addItem(QMenu *menu, const char *name, const QString &caption, const QKeySequence &key)
{
    QAction *item = menu->addAction(caption);
    item->setObjectName(QLatin1String(name));
    item->setShortcut(key);
    return item;
}

void MainWindow::setControlEnabled(QObject *control, bool enable)
{
    if (auto *action = qobject_cast<QAction *>(control))
        action->setEnabled(enable);
    else if (auto *widget = qobject_cast<QWidget *>(control))
        widget->setEnabled(enable);
}

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    connect(addItem(file, "ClearResponse1", QStringLiteral("C&lear")), &QAction::triggered, this,
            &MainWindow::clearResponse);
    QAction *print = addItem(file, "Print1", QStringLiteral("&Print"), Qt::CTRL | Qt::Key_P);
    connect(print, &QAction::triggered, this, [this] { m_print->printResponse(); });
    connect(addItem(file, "SaveReportAs1", QStringLiteral("&Save Report As...")), &QAction::triggered, this,
            [this] { m_print->saveReportAs(); });
    file->addSeparator();
    m_goAction = addItem(file, "Send1", QStringLiteral("&Go"), Qt::Key_F5);
    m_goAction->setIcon(toolIcon(0));
    m_goAction->setCheckable(true);
    connect(m_goAction, &QAction::triggered, this, &MainWindow::onGo);
    m_repeatAction = addItem(file, "ContinuousMode1", QStringLiteral("&Repeat"), Qt::Key_F6);
    bindToggle(m_repeatAction, [this] { toggleRepeat(); });
    QMenu *activate = file->addMenu(QStringLiteral("&Activate"));
    activate->menuAction()->setObjectName(QStringLiteral("Activate1"));
    connect(addItem(activate, "LED1", QStringLiteral("&LED...")), &QAction::triggered, this, &MainWindow::activateLed);
    connect(addItem(activate, "Audio1", QStringLiteral("&Audio...")), &QAction::triggered, this,
            &MainWindow::activateAudio);
    file->addSeparator();
    connect(addItem(file, "Exit1", QStringLiteral("E&xit"), Qt::CTRL | Qt::Key_Q), &QAction::triggered, this,
            &QWidget::close);

    QMenu *config = menuBar()->addMenu(QStringLiteral("&Configuration"));
    QAction *isoSetup = addItem(config, "ISOSetup1", QStringLiteral("&ISO Setup..."));
    connect(isoSetup, &QAction::triggered, this, &MainWindow::showIsoOptions);
    QAction *encryption = addItem(config, "Encryption1", QStringLiteral("&Encryption..."));
    connect(encryption, &QAction::triggered, this, &MainWindow::sendEncryptionOptions);
    QAction *audioLed = addItem(config, "AudioLED1", QStringLiteral("&Audio/LED..."));
    connect(audioLed, &QAction::triggered, this, &MainWindow::configureFeedback);
    QMenu *rf = config->addMenu(QStringLiteral("&RF Modulation"));
    rf->menuAction()->setObjectName(QStringLiteral("RFModulation1"));
    m_rfOnAction = addItem(rf, "btnTransOn", QStringLiteral("O&n"));
    m_rfOffAction = addItem(rf, "btnTransOff", QStringLiteral("O&ff"));
    makeExclusive(this, {m_rfOnAction, m_rfOffAction});
    m_rfOffAction->setChecked(true);
    connect(m_rfOnAction, &QAction::triggered, this, [this] { setRfTransmitter(true); });
    connect(m_rfOffAction, &QAction::triggered, this, [this] { setRfTransmitter(false); });
    config->addSeparator();
    QAction *wiegand = addItem(config, "Wiegand1", QStringLiteral("&Wiegand..."));
    connect(wiegand, &QAction::triggered, this, &MainWindow::chooseWiegandMode);
    config->addSeparator();
    QAction *address = addItem(config, "Addressreader1", QStringLiteral("A&ddress reader..."));
    connect(address, &QAction::triggered, this, &MainWindow::chooseReaderAddress);

    QMenu *settings = menuBar()->addMenu(QStringLiteral("&Settings"));
    QMenu *iface = settings->addMenu(QStringLiteral("&Reader Interface"));
    m_comPortAction = addItem(iface, "ComPort1", QStringLiteral("&Com Port"));
    m_usbAction = addItem(iface, "USB1", QStringLiteral("&USB"));
    makeExclusive(this, {m_comPortAction, m_usbAction});
    m_comPortAction->setChecked(true);
    connect(m_comPortAction, &QAction::triggered, m_session, &ReaderSession::chooseSerial);
    connect(m_usbAction, &QAction::triggered, m_session, &ReaderSession::chooseUsb);
    settings->addSeparator();
    m_portMenu = new PortMenu(*m_session, settings);
    settings->addMenu(m_portMenu);
    m_baudMenu = settings->addMenu(QStringLiteral("&Baud Rate"));
    m_baudMenu->setObjectName(QStringLiteral("BaudRate1"));
    auto *baudGroup = new QActionGroup(this);
    for (const char *name : {"N96001", "N192001", "N384001", "N576001"}) {
        const int rate = QByteArray(name + 1).chopped(1).toInt();
        QAction *item = addItem(m_baudMenu, name, QStringLiteral("&%1").arg(rate));
        item->setCheckable(true);
        item->setData(rate);
        baudGroup->addAction(item);
        connect(item, &QAction::triggered, m_session, [this, rate] { m_session->changeBaudRate(rate); });
    }
    m_baudMenu->actions().constFirst()->setChecked(true);
    settings->addSeparator();
    m_messagesAction = addItem(settings, "DebugMode1", QStringLiteral("&View Messages"));
    bindToggle(m_messagesAction, [this] { toggleMessageView(); });

    QMenu *tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    m_autoReadAction = addItem(tools, "viewAutoread1", QStringLiteral("&View auto read..."));
    connect(m_autoReadAction, &QAction::triggered, this, &MainWindow::viewAutoRead);
    setControlEnabled(m_autoReadAction, false);
    connect(addItem(tools, "TagLog1", QStringLiteral("&Tag Log"), Qt::Key_F7), &QAction::triggered, this,
            [this] { tagLogWindow()->showBeside(); });
    connect(addItem(tools, "TagMemory1", QStringLiteral("Tag &Memory"), Qt::Key_F8), &QAction::triggered, this,
            &MainWindow::showTagMemory);
    tools->addSeparator();
    m_upgradeAction = addItem(tools, "UpgradeFirmware1", QStringLiteral("&Upgrade firmware..."));
    connect(m_upgradeAction, &QAction::triggered, this, [this] { m_firmwareUpgrade->start(); });

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    connect(addItem(help, "About1", QStringLiteral("&About...")), &QAction::triggered, this, &MainWindow::showAbout);

    m_commandControls = {m_goAction, m_repeatAction, activate->menuAction(), isoSetup, encryption, audioLed,
                         rf->menuAction(), wiegand, address};
}

void MainWindow::buildToolBar()
{
    QToolBar *bar = addToolBar(QStringLiteral("Tools"));
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setIconSize(QSize(20, 20));
    auto button = [this, bar](const char *name, const QString &caption, int image, const QString &hint,
                              void (ReaderSession::*command)() = nullptr) {
        auto *b = new QToolButton(bar);
        b->setObjectName(QLatin1String(name));
        b->setText(caption);
        b->setIcon(toolIcon(image));
        b->setToolTip(hint);
        b->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setMinimumSize(54, 38);
        bar->addWidget(b);
        if (command)
            connect(b, &QToolButton::clicked, m_session, command);
        return b;
    };
    m_goButton = button("btnSend", QStringLiteral("Go"), 0, withKey(QStringLiteral("Send selected command to the reader"), m_goAction));
    m_goButton->setCheckable(true);
    connect(m_goButton, &QToolButton::clicked, this, &MainWindow::onGo);
    m_repeatButton = button("btnContinuous", QStringLiteral("Repeat"), 2,
                            withKey(QStringLiteral("Continuously repeat selected command"), m_repeatAction));
    m_repeatButton->setCheckable(true);
    connect(m_repeatButton, &QToolButton::clicked, this, &MainWindow::toggleRepeat);
    bar->addSeparator();
    QToolButton *version = button("btnRdrVersion", QStringLiteral("Version"), 9, QStringLiteral("Get Reader Version"),
                                  &ReaderSession::requestVersion);
    button("ToolButton4", QStringLiteral("Info"), 9, QString(), &ReaderSession::requestInfo);
    m_wiegandButton = button("btnWgnMode", QStringLiteral("Wiegand"), 11, QStringLiteral("Enter Wiegand mode"));
    connect(m_wiegandButton, &QToolButton::clicked, this, &MainWindow::chooseWiegandMode);
    QToolButton *setup = button("btnSetup", QStringLiteral("Setup"), 12, QStringLiteral("Show reader setup"),
                                &ReaderSession::requestSetup);
    connect(button("ToolButton2", QStringLiteral("C&lear"), 4, QString()), &QToolButton::clicked, this,
            &MainWindow::clearResponse);
    QToolButton *test = button("ToolButton3", QStringLiteral("Test"), 15, QString(), &ReaderSession::runTest);
    QToolButton *reset = button("btnResetReader", QStringLiteral("Reset"), 8, QStringLiteral("Reset reader"),
                                &ReaderSession::resetReader);
    m_commandControls << m_goButton << m_repeatButton << version << m_wiegandButton << setup << test << reset;
}

void MainWindow::buildPages()
{
    auto *central = new QWidget(this);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(4, 4, 4, 0);
    auto *top = new QHBoxLayout;
    outer->addLayout(top, 1);

    const TagContext context{*m_session, m_session->options(), m_session->prompt()};
    m_pageTabs = new QTabWidget(central);
    m_pageTabs->setObjectName(QStringLiteral("PageControl1"));
    m_isoPage = new IsoPage(context, m_pageTabs);
    m_isoPage->setObjectName(QStringLiteral("TSISO"));
    m_iso14443Page = new Iso14443Page(context, m_pageTabs);
    m_iso14443Page->setObjectName(QStringLiteral("ts14443"));
    m_tagitPage = new TagitPage(context, m_pageTabs);
    m_tagitPage->setObjectName(QStringLiteral("TSTagit"));
    m_pageTabs->addTab(m_isoPage, QStringLiteral("ISO/IEC 15693"));
    m_pageTabs->addTab(m_iso14443Page, QStringLiteral("ISO/IEC 14443-A"));
    m_pageTabs->addTab(m_tagitPage, QStringLiteral("Tag-it"));
    m_pageTabs->setCurrentIndex(0);
    // The rule the operator knows: a tag answer reads as the page in view.
    m_session->setVisiblePage(TagPage::Iso15693);
    connect(m_pageTabs, &QTabWidget::currentChanged, this, [this] { m_session->setVisiblePage(pageInView()); });
    top->addWidget(m_pageTabs, 0);
    m_commandControls << m_pageTabs;

    auto *responseGroup = new QGroupBox(QStringLiteral("Reader Response"), central);
    responseGroup->setObjectName(QStringLiteral("grpBxResponse"));
    auto *responseLayout = new QVBoxLayout(responseGroup);
    responseLayout->setContentsMargins(2, 2, 2, 2);
    m_responsePane = new ResponsePane(responseGroup);
    m_responsePane->setObjectName(QStringLiteral("memoResponse"));
    m_responsePane->setAccessibleName(QStringLiteral("Reader Response"));
    responseLayout->addWidget(m_responsePane);
    top->addWidget(responseGroup, 1);

    m_messageView = new LinePane(11, central);
    m_messageView->setObjectName(QStringLiteral("rchEditAPDLog"));
    m_messageView->setAccessibleName(QStringLiteral("Messages"));
    m_messageView->setFixedHeight(kMessageViewHeight);
    m_messageView->hide();
    outer->addWidget(m_messageView, 0);
    setCentralWidget(central);
}

TagPage MainWindow::pageInView() const
{
    const QWidget *page = m_pageTabs->currentWidget();
    return page == m_isoPage ? TagPage::Iso15693 : page == m_tagitPage ? TagPage::Tagit : TagPage::Iso14443;
}

void MainWindow::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(true);
    // One row of our own: the status bar's own layout lets fixed-width
    // panels overlap when the window is narrow.
    auto *row = new SessionStatusRow(*m_session, bar);
    row->setObjectName(QStringLiteral("StatusPanels"));
    bar->addWidget(row, 1);
}

void MainWindow::wireSession()
{
    ReaderSession *s = m_session;
    connect(s, &ReaderSession::commandsAvailableChanged, this, &MainWindow::enableCommandControls);
    connect(s, &ReaderSession::interfaceChanged, this, &MainWindow::showInterface);
    connect(s, &ReaderSession::baudRateShown, this, &MainWindow::showBaudRate);
    connect(s, &ReaderSession::messageLine, m_messageView, [this](const QString &line) { m_messageView->addLine(line); });
    connect(s, &ReaderSession::answered, this,
            [this](const Answer &answer) { m_responsePane->writeReport(answer.report, m_session->clockText()); });
    connect(s, &ReaderSession::autoReadLine, m_autoReadWindow, &AutoReadWindow::appendLine);
    connect(m_autoReadWindow, &QDialog::finished, s, [s] { s->setAutoReadMode(false); });
    connect(s, &ReaderSession::cycleStateChanged, this, &MainWindow::showGoLook);
    connect(s, &ReaderSession::repeatingChanged, this, [this](bool on) {
        m_repeatAction->setChecked(on);
        m_repeatButton->setChecked(on);
    });
}

void MainWindow::enableCommandControls(bool enable)
{
    // A memory job takes every answer as its own: nothing else is sent.
    enable = enable && !m_memoryJobRunning;
    for (QObject *c : std::as_const(m_commandControls))
        setControlEnabled(c, enable);
    if (enable)
        setControlEnabled(m_upgradeAction, true);
}

void MainWindow::showInterface(ReaderSession::Interface choice)
{
    const bool usb = choice == ReaderSession::Interface::Usb;
    (usb ? m_usbAction : m_comPortAction)->setChecked(true);
    setControlEnabled(m_autoReadAction, usb);
    setControlEnabled(m_portMenu->menuAction(), !usb);
    setControlEnabled(m_baudMenu->menuAction(), !usb);
}

void MainWindow::showBaudRate(int rate)
{
    for (QAction *item : m_baudMenu->actions())
        if (item->data().toInt() == rate)
            item->setChecked(true);
}

void MainWindow::setVisible(bool visible)
{
    if (visible && !m_startSettings) {
        StoredSettings defaults;
        defaults.baudRate = m_session->serialBaudRate();
        m_startSettings = std::make_unique<LoadedSettings>(loadSettings(defaults));
        const StoredSettings &s = m_startSettings->settings;
        resize(s.width, s.height);
        // The stored place is the frame's (x() and y() at the close). Given
        // before the window exists, the toolkit asks the window manager to
        // put the frame there; a move() once the window exists, but before
        // the window manager has framed it, places the inside there instead,
        // and every start crept up and left by the frame's width.
        const QPoint place(s.left, s.top);
        if (reachablePlace(place)) {
            if (testAttribute(Qt::WA_WState_Created) && windowHandle())
                windowHandle()->setFramePosition(place);
            else
                move(place);
        }
    }
    QMainWindow::setVisible(visible);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!std::exchange(m_shown, true))
        onFirstShow();
}

void MainWindow::onFirstShow()
{
    // The upgrade's file dialog starts there; a read-only place is no reason
    // to complain.
    QDir().mkpath(m_firmwareUpgrade->firmwareFolder);

    const LoadedSettings &loaded = *m_startSettings;
    if (!loaded.problem.isEmpty())
        qWarning().noquote() << loaded.problem;
    m_settingsNotAFile = loaded.notAFile;
    const StoredSettings &s = loaded.settings;
    if (s.debugOn)
        toggleMessageView();
    m_startupBaudRate = m_session->begin({s.comMethod != 0, s.portNumber, s.baudRate, s.options});
    // The rate change waits about a second for the reader; the window is
    // painted first, so the operator never looks at an empty frame. A window
    // that is never painted (started minimised) still brings the reader to
    // its rate.
    if (m_startupBaudRate)
        QTimer::singleShot(kStartupUnpaintedMs, this, &MainWindow::runStartupExchange);
    m_isoPage->applyBlockLength();
    m_wiegandDialog->selectMode(0);
    if (s.tagLog.visible)
        tagLogWindow()->showBeside();
}

TagLogWindow *MainWindow::tagLogWindow()
{
    if (!m_tagLogWindow)
        m_tagLogWindow = new TagLogWindow(m_session->tagLog(), m_session->prompt(),
                                          m_startSettings ? m_startSettings->settings.tagLog : TagLogPlacement{}, this,
                                          &m_session->tagPresence());
    return m_tagLogWindow;
}

TagMemoryWindow *MainWindow::tagMemoryWindow()
{
    if (!m_tagMemoryWindow) {
        m_tagMemoryWindow =
            new TagMemoryWindow(*m_session, m_session->prompt(),
                                m_startSettings ? m_startSettings->settings.tagMemory : TagMemoryPlacement{}, this);
        connect(m_tagMemoryWindow, &TagMemoryWindow::jobRunningChanged, this, [this](bool running) {
            m_memoryJobRunning = running;
            // The job's answers are its commands' family, whatever page is
            // in view (the page rule would read an ISO answer as Tag-it).
            m_session->setVisiblePage(running ? std::nullopt : std::optional(pageInView()));
            enableCommandControls(m_session->commandsAvailable());
        });
    }
    return m_tagMemoryWindow;
}

void MainWindow::showTagMemory()
{
    TagMemoryWindow *memory = tagMemoryWindow();
    if (!memory->isVisible() && m_tagLogWindow)
        if (const auto tag = m_tagLogWindow->currentTag(); tag && tag->first == ResponseFamily::Iso15693)
            memory->setUid(tag->second);
    memory->showPlaced();
}

bool MainWindow::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    // Queued, so the first frame reaches the screen before the wait starts.
    if (event->type() == QEvent::Paint && m_startupBaudRate)
        QTimer::singleShot(0, this, &MainWindow::runStartupExchange);
    return handled;
}

void MainWindow::runStartupExchange()
{
    m_session->runStartExchange(std::exchange(m_startupBaudRate, 0));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    onClose();
    QMainWindow::closeEvent(event);
}

void MainWindow::onClose()
{
    if (std::exchange(m_closed, true))
        return;
    emit closing();
    if (m_tagMemoryWindow)
        m_tagMemoryWindow->dropJob(); // before the session gives its options back
    const ReaderSession::Settings kept = m_session->end();
    StoredSettings s;
    s.comMethod = kept.usb ? 1 : 0;
    s.portNumber = kept.portNumber;
    s.baudRate = kept.baudRate;
    s.options = kept.options;
    s.debugOn = m_messagesAction->isChecked();
    s.left = x();
    s.top = y();
    s.height = height() - (s.debugOn ? kMessageViewHeight : 0);
    s.width = width();
    // Kept as stored when the window was not opened this run.
    s.tagLog = m_tagLogWindow ? m_tagLogWindow->placement()
                              : (m_startSettings ? m_startSettings->settings.tagLog : TagLogPlacement{});
    s.tagMemory = m_tagMemoryWindow ? m_tagMemoryWindow->placement()
                                    : (m_startSettings ? m_startSettings->settings.tagMemory : TagMemoryPlacement{});
    if (m_tagMemoryWindow)
        m_tagMemoryWindow->hide();
    if (m_tagLogWindow)
        m_tagLogWindow->hide();
    if (m_settingsNotAFile)
        return; // a named pipe stays one; the start has said why nothing is kept
    const QString problem = saveSettings(s);
    if (!problem.isEmpty())
        qWarning().noquote() << problem;
}

} // namespace vexa
