// The main window as the operator meets it: layout, menus, status bar, the
// Go/Repeat/Pause looks, and where answers are reported.
#include <QtTest>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QLabel>
#include <QMenuBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>

#include "core/codecs/iso15693.h"
#include "core/codecs/tagit.h"
#include "core/link/readerlink.h"
#include "core/session/taglog.h"
#include "core/settings/settingsstore.h"
#include "core/util/version.h"
#include "core/wire/frame.h"
#include "ui/dialogs/dialogrunner.h"
#include "controls.h"
#include "fakes.h"
#include "ui/pages/commandlist.h"
#include "ui/pages/fieldedit.h"
#include "ui/pages/iso14443page.h"
#include "ui/pages/isopage.h"
#include "ui/pages/tagitpage.h"
#include "ui/widgets/windowframe.h"
#include "ui/window/aboutbox.h"
#include "ui/window/mainwindow.h"
#include "ui/window/responsepane.h"
#include "ui/window/statuslight.h"

using namespace vexa;
using vexa::test::FakeTransport;
using vexa::test::answerFrame;
using vexa::test::control;
using vexa::test::statusPanel;
using vexa::test::hex;
using vexa::test::ScriptedPrompt;

namespace {
QAction *menuItem(QMenuBar *bar, const QStringList &path)
{
    QList<QAction *> actions = bar->actions();
    QAction *found = nullptr;
    for (const QString &caption : path) {
        found = nullptr;
        // Items carry access keys: "&Settings" is found as "Settings".
        for (QAction *a : actions)
            if (QString(a->text()).remove(QLatin1Char('&')) == QString(caption).remove(QLatin1Char('&')))
                found = a;
        if (!found)
            return nullptr;
        if (found->menu())
            actions = found->menu()->actions();
    }
    return found;
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void windowAndPages();
    void objectNamesFindTheirMembers();
    void toolBar_data();
    void toolBar();
    void statusBar();
    void menus_data();
    void menus();
    void commandControlsFollowAvailability();
    void goWithRepeatOffSendsOnce();
    void repeatLooks();
    void responsesGoToVisiblePage_data();
    void responsesGoToVisiblePage();
    void headingFormatAndOrder();
    void setupFeedbackBitsEachTheirOwn_data();
    void setupFeedbackBitsEachTheirOwn();
    void addressedBlockReadFillsTagLog_data();
    void addressedBlockReadFillsTagLog();
    void clearEmptiesBothViews();
    void messageViewEmptiedWhenShown();
    void aboutBox();
    void dialogsShowTitleAndCaptionsWhole_data();
    void dialogsShowTitleAndCaptionsWhole();
    void windowStartsWhereItClosed_data();
    void windowStartsWhereItClosed();

private:
    ScriptedPrompt m_prompt;
    FakeTransport *m_transport = nullptr;
    MainWindow *m_window = nullptr;
};

void tst_MainWindow::init()
{
    qputenv("XDG_CONFIG_HOME", QDir::tempPath().toLocal8Bit() + "/tst_mainwindow_config");
    vexa::test::isolateWindowTests();
    m_window = new MainWindow(&m_prompt);
    m_transport = new FakeTransport(m_window);
    m_window->session().link().setTransport(m_transport);
}

void tst_MainWindow::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void tst_MainWindow::windowAndPages()
{
    MainWindow &w = *m_window;
    QCOMPARE(w.windowTitle(), QStringLiteral("Kestrune - Vexa Host"));
    QCOMPARE(w.minimumSize(), QSize(547, 480));
    QCOMPARE(w.size(), QSize(678, 583));
    auto &tabs = control<QTabWidget>(w, "PageControl1");
    QCOMPARE(tabs.count(), 3);
    QCOMPARE(tabs.tabText(0), QStringLiteral("ISO/IEC 15693"));
    QCOMPARE(tabs.tabText(1), QStringLiteral("ISO/IEC 14443-A"));
    QCOMPARE(tabs.tabText(2), QStringLiteral("Tag-it"));
    QCOMPARE(tabs.currentIndex(), 0);
    QCOMPARE(control<QGroupBox>(w, "grpBxResponse").title(), QStringLiteral("Reader Response"));
    auto &pane = control<ResponsePane>(w, "memoResponse");
    auto &messages = control<LinePane>(w, "rchEditAPDLog");
    QVERIFY(!messages.isVisibleTo(&w));
    QVERIFY(QAccessible::queryAccessibleInterface(&pane)->state().readOnly);
    QCOMPARE(pane.accessibleName(), QStringLiteral("Reader Response"));
    QCOMPARE(messages.accessibleName(), QStringLiteral("Messages"));
}

// Tools and tests look controls up by their historical component names; each
// must name exactly one object of its kind, and a page's names its members.
void tst_MainWindow::objectNamesFindTheirMembers()
{
    MainWindow &w = *m_window;
    QCOMPARE(w.objectName(), QStringLiteral("FrmMain"));
    QCOMPARE(w.session().link().responseTimer().objectName(), QStringLiteral("Timer1"));
    const std::pair<const char *, const char *> kinds[] = {
        {"Timer2", "QTimer"},
        {"btnSend", "QToolButton"},
        {"Send1", "QAction"},
        {"ContinuousMode1", "QAction"},
        {"ToolButton4", "QToolButton"},
        {"ToolButton3", "QToolButton"},
        {"N96001", "QAction"},
        {"N576001", "QAction"},
        {"DebugMode1", "QAction"},
        {"Port1", "QMenu"},
        {"PageControl1", "QTabWidget"},
        {"TSISO", "vexa::IsoPage"},
        {"memoResponse", "vexa::ResponsePane"},
        {"rchEditAPDLog", "vexa::LinePane"},
        {"StatusPanel7", "QLabel"},
        {"TxLight", "vexa::StatusLight"},
        {"RxLight", "vexa::StatusLight"},
        {"frmAutoRead", "vexa::AutoReadWindow"},
        {"frmWgn", "vexa::WiegandDialog"},
    };
    for (const auto &[name, kind] : kinds) {
        const QList<QObject *> found = w.findChildren<QObject *>(QLatin1String(name));
        QVERIFY2(found.size() == 1, name);
        QVERIFY2(found.first()->inherits(kind), name);
    }
    auto &isoPage = control<IsoPage>(w, "TSISO");
    auto &tagitPage = control<TagitPage>(w, "TSTagit");
    const std::pair<const char *, QObject *> members[] = {
        {"edtISOAddress", isoPage.uidEdit},
        {"cboxInvAfiCategory", isoPage.afiFamilyCombo},
        {"cmbBxNumBlocks", tagitPage.blockCountCombo},
        {"edtBlockData7", tagitPage.blockDataField(7)},
        {"lblHex7", tagitPage.blockDataLabel(7)},
        {"GrpBxCmd14443", control<Iso14443Page>(w, "ts14443").commandList},
    };
    for (const auto &[name, member] : members) {
        QVERIFY2(member, name);
        QCOMPARE(member->objectName(), QLatin1String(name));
        QCOMPARE(w.findChild<QObject *>(QLatin1String(name)), member);
    }
}

void tst_MainWindow::toolBar_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("hint");
    QTest::newRow("Go") << "btnSend" << "Go" << "Send selected command to the reader (F5)";
    QTest::newRow("Repeat") << "btnContinuous" << "Repeat" << "Continuously repeat selected command (F6)";
    QTest::newRow("Version") << "btnRdrVersion" << "Version" << "Get Reader Version";
    QTest::newRow("Info") << "ToolButton4" << "Info" << "";
    QTest::newRow("Wiegand") << "btnWgnMode" << "Wiegand" << "Enter Wiegand mode";
    QTest::newRow("Setup") << "btnSetup" << "Setup" << "Show reader setup";
    QTest::newRow("Clear") << "ToolButton2" << "C&lear" << "";
    QTest::newRow("Test") << "ToolButton3" << "Test" << "";
    QTest::newRow("Reset") << "btnResetReader" << "Reset" << "Reset reader";
}

void tst_MainWindow::toolBar()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, hint);
    auto *button = m_window->findChild<QToolButton *>(name);
    QVERIFY(button);
    QCOMPARE(button->text(), caption);
    QCOMPARE(button->toolTip(), hint);
    QVERIFY2(!button->icon().isNull(), "every tool button has its image");
    QVERIFY(!button->icon().pixmap(QSize(40, 40)).isNull());
}

void tst_MainWindow::statusBar()
{
    MainWindow &w = *m_window;
    const QStringList texts{"COM1", "Baud: 9600", "Repeat: Off", "Tx         Rx", "LED: On", "Audio: On", "", ""};
    const int widths[] = {40, 160, 75, 80, 60, 70, 80};
    for (int i = 0; i < 7; ++i)
        QCOMPARE(statusPanel(w, i).text(), texts[i]);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // At the design size each panel has its designed width, or more where
    // its text needs it; the lights' panel exactly.
    for (int i = 0; i < 7; ++i) {
        QVERIFY2(statusPanel(w, i).width() >= widths[i], qPrintable(QString::number(i)));
    }
    QCOMPARE(statusPanel(w, 3).width(), 80);
    QVERIFY(statusPanel(w, 7).alignment() & Qt::AlignRight);
    auto &txLight = control<StatusLight>(w, "TxLight");
    QCOMPARE(txLight.parentWidget(), &statusPanel(w, 3));
    QCOMPARE(txLight.pos(), QPoint(21, 4));
    QCOMPARE(control<StatusLight>(w, "RxLight").pos(), QPoint(61, 4));
    w.session().tickClock();
    QVERIFY(QRegularExpression(QStringLiteral("^ \\d\\d:\\d\\d:\\d\\d $")).match(w.session().clockText()).hasMatch());
}

void tst_MainWindow::menus_data()
{
    QTest::addColumn<QStringList>("path");
    QTest::addColumn<int>("checked"); // -1 not checkable
    for (const char *item : {"C&lear", "&Print", "Go", "Repeat", "Activate", "E&xit"})
        QTest::newRow(item) << QStringList{"&File", item} << (QByteArray(item) == "Repeat" || QByteArray(item) == "Go" ? 0 : -1);
    QTest::newRow("LED") << QStringList{"&File", "Activate", "LED..."} << -1;
    QTest::newRow("Audio") << QStringList{"&File", "Activate", "Audio..."} << -1;
    for (const char *item : {"ISO Setup...", "Encryption...", "Audio/LED...", "Wiegand...", "Address reader..."})
        QTest::newRow(item) << QStringList{"Configuration", item} << -1;
    QTest::newRow("RF On") << QStringList{"Configuration", "RF Modulation", "On"} << 0;
    QTest::newRow("RF Off") << QStringList{"Configuration", "RF Modulation", "Off"} << 1;
    QTest::newRow("Com Port") << QStringList{"Settings", "Reader Interface", "Com Port"} << 1;
    QTest::newRow("USB") << QStringList{"Settings", "Reader Interface", "USB"} << 0;
    QTest::newRow("Port") << QStringList{"Settings", "Port"} << -1;
    QTest::newRow("9600") << QStringList{"Settings", "Baud Rate", "9600"} << 1;
    for (const char *item : {"19200", "38400", "57600"})
        QTest::newRow(item) << QStringList{"Settings", "Baud Rate", item} << 0;
    QTest::newRow("View Messages") << QStringList{"Settings", "View Messages"} << 0;
    QTest::newRow("View auto read") << QStringList{"Tools", "View auto read..."} << -1;
    QTest::newRow("Upgrade") << QStringList{"Tools", "Upgrade firmware..."} << -1;
    QTest::newRow("About") << QStringList{"&Help", "&About..."} << -1;
}

void tst_MainWindow::menus()
{
    QFETCH(QStringList, path);
    QFETCH(int, checked);
    QAction *item = menuItem(m_window->menuBar(), path);
    QVERIFY2(item, qPrintable(path.join(" > ")));
    if (checked >= 0) {
        QVERIFY(item->isCheckable());
        QCOMPARE(item->isChecked(), checked == 1);
    }
}

void tst_MainWindow::commandControlsFollowAvailability()
{
    MainWindow &w = *m_window;
    emit w.session().commandsAvailableChanged(true);
    QVERIFY(control<QAction>(w, "USB1").isEnabled()); // built; "View auto read..." follows it
    QVERIFY(!control<QAction>(w, "viewAutoread1").isEnabled());
    for (const char *item : {"LED1", "Audio1", "ISOSetup1", "Encryption1", "AudioLED1", "btnTransOn", "btnTransOff",
                             "Wiegand1", "Addressreader1", "N96001", "N192001", "N384001", "N576001"})
        QVERIFY2(control<QAction>(w, item).isEnabled(), item);
    QVERIFY(control<QToolButton>(w, "btnWgnMode").isEnabled());
    auto &go = control<QToolButton>(w, "btnSend");
    QVERIFY(go.isEnabled());
    QVERIFY(control<QTabWidget>(w, "PageControl1").isEnabled());
    emit w.session().commandsAvailableChanged(false);
    QVERIFY(!go.isEnabled());
    QVERIFY(!control<QAction>(w, "Send1").isEnabled());
    QVERIFY(control<QAction>(w, "UpgradeFirmware1").isEnabled()); // keeps its state
    QVERIFY(control<QToolButton>(w, "ToolButton4").isEnabled()); // "Info" is not a command control
}

void tst_MainWindow::goWithRepeatOffSendsOnce()
{
    MainWindow &w = *m_window;
    control<QTabWidget>(w, "PageControl1").setCurrentIndex(1);
    auto &go = control<QToolButton>(w, "btnSend");
    go.click();
    QCOMPARE(m_transport->written.size(), 1);
    QCOMPARE(m_transport->written.first(), hex("01 09 00 10 80 40 00 D8 27"));
    QCOMPARE(go.text(), QStringLiteral("Go"));
    QVERIFY(!go.isChecked());
    QVERIFY(!control<QAction>(w, "Send1").isChecked());
}

void tst_MainWindow::repeatLooks()
{
    MainWindow &w = *m_window;
    control<QTabWidget>(w, "PageControl1").setCurrentIndex(1);
    auto &go = control<QToolButton>(w, "btnSend");
    auto &goItem = control<QAction>(w, "Send1");
    const qint64 goKey = go.icon().cacheKey();
    control<QAction>(w, "ContinuousMode1").trigger();
    QCOMPARE(statusPanel(w, 2).text(), QStringLiteral("Repeat: On"));
    QVERIFY(m_transport->written.isEmpty()); // turning Repeat on sends nothing
    goItem.trigger();
    QCOMPARE(go.text(), QStringLiteral("Pause"));
    QCOMPARE(QString(goItem.text()).remove(QLatin1Char('&')), QStringLiteral("Pause"));
    QVERIFY(go.isChecked() && goItem.isChecked());
    QVERIFY(go.icon().cacheKey() != goKey);
    QCOMPARE(m_transport->written.size(), 1);

    go.click(); // Pause: nothing sent, nothing shown
    QCOMPARE(go.text(), QStringLiteral("Go"));
    QVERIFY(!go.isChecked() && !goItem.isChecked());
    QCOMPARE(w.session().link().storedLength(), 0);
    QCOMPARE(m_transport->written.size(), 1);
    QVERIFY(m_prompt.messages.isEmpty());

    go.click(); // a new cycle, ended by Repeat off
    QCOMPARE(go.text(), QStringLiteral("Pause"));
    control<QToolButton>(w, "btnContinuous").click();
    QCOMPARE(statusPanel(w, 2).text(), QStringLiteral("Repeat: Off"));
    QCOMPARE(go.text(), QStringLiteral("Go"));
    QCOMPARE(QString(goItem.text()).remove(QLatin1Char('&')), QStringLiteral("Go"));
    QCOMPARE(w.session().link().storedLength(), 0);
}

void tst_MainWindow::responsesGoToVisiblePage_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("top");
    QTest::newRow("management on Tag-it page") << 2 << answerFrame(0, 0xE7, hex("00 0D 00 00 00")) << "Reader Setup:";
    QTest::newRow("test answer on ISO page") << 0 << answerFrame(0, 0x26) << "Test:";
    QTest::newRow("test answer on 14443 page: nothing") << 1 << answerFrame(0, 0x26) << "";
    QTest::newRow("error on Tag-it page") << 2 << answerFrame(2, 0x26, hex("01")) << "";
}

void tst_MainWindow::responsesGoToVisiblePage()
{
    QFETCH(int, page);
    QFETCH(QByteArray, frame);
    QFETCH(QString, top);
    MainWindow &w = *m_window;
    w.session().tickClock();
    control<QTabWidget>(w, "PageControl1").setCurrentIndex(page);
    m_transport->feed(frame); // unsolicited: judged like any answer
    auto &pane = control<ResponsePane>(w, "memoResponse");
    QTRY_VERIFY_WITH_TIMEOUT(!pane.lines().isEmpty(), 5000);
    const QString first = pane.lines().first();
    if (top.isEmpty())
        QCOMPARE(first, QString());
    else
        QVERIFY2(first.endsWith(QStringLiteral("  -  ") + top), qPrintable(first));
}

void tst_MainWindow::headingFormatAndOrder()
{
    MainWindow &w = *m_window;
    w.session().tickClock();
    Answer first;
    first.report.heading = QStringLiteral("Write Tag Block:");
    emit w.session().answered(first);
    Answer second;
    second.report.separator = true;
    second.report.heading = QStringLiteral("Read Tag Block:");
    second.report.lines << QStringLiteral("    Block Number: 7") << QStringLiteral("    Block Data: 11223344");
    emit w.session().answered(second);
    auto &pane = control<ResponsePane>(w, "memoResponse");
    const QStringList lines = pane.lines();
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], w.session().clockText() + QStringLiteral(" -  Read Tag Block:"));
    QCOMPARE(lines[1], QStringLiteral("    Block Number: 7"));
    QCOMPARE(lines[2], QStringLiteral("    Block Data: 11223344"));
    QCOMPARE(lines[3], QString());
    QCOMPARE(lines[4], w.session().clockText() + QStringLiteral(" -  Write Tag Block:"));
    // Headings in bold italics, detail lines plain.
    QCOMPARE(pane.store().style(0), LineStyle::Heading);
    QCOMPARE(pane.store().style(1), LineStyle::Detail);
    QCOMPARE(pane.store().style(4), LineStyle::Heading);
}

void tst_MainWindow::setupFeedbackBitsEachTheirOwn_data()
{
    QTest::addColumn<int>("flags"); // byte 7 of the setup answer: bit 3 audio, bit 2 LED
    QTest::addColumn<bool>("led");
    QTest::addColumn<bool>("audio");
    QTest::newRow("LED on, audio off") << 0x04 << true << false;
    QTest::newRow("audio on, LED off") << 0x08 << false << true;
}

// The panels, the Audio/LED dialog and the stored settings each follow the
// setup answer's own bit.
void tst_MainWindow::setupFeedbackBitsEachTheirOwn()
{
    QFETCH(int, flags);
    QFETCH(bool, led);
    QFETCH(bool, audio);
    MainWindow &w = *m_window;
    emit w.session().commandsAvailableChanged(true);
    m_transport->feed(answerFrame(0, 0xE7, hex("00 00 02 00 00").replace(1, 1, QByteArray(1, char(flags)))));
    // One of the two differs from the start texts, so both are the answer's.
    QTRY_COMPARE(statusPanel(w, 4).text() + QLatin1Char('|') + statusPanel(w, 5).text(),
                 QStringLiteral("LED: %1|Audio: %2").arg(led ? "On" : "Off", audio ? "On" : "Off"));
    struct Peek : DialogRunner
    {
        int run(QDialog &d, QWidget *) override
        {
            boxes = {control<QCheckBox>(d, "cBoxLED").isChecked(), control<QCheckBox>(d, "cBoxAudio").isChecked()};
            return QDialog::Rejected;
        }
        std::pair<bool, bool> boxes;
    } peek;
    peek.boxes = {!led, !audio}; // a dialog not run fails the test
    w.setDialogRunner(&peek);
    control<QAction>(w, "AudioLED1").trigger();
    w.setDialogRunner(nullptr);
    QCOMPARE(peek.boxes, std::make_pair(led, audio));
    w.close();
    const ReaderOptions stored = loadSettings().settings.options;
    QCOMPARE(std::make_pair(stored.ledOn, stored.audioOn), std::make_pair(led, audio));
}

void tst_MainWindow::addressedBlockReadFillsTagLog_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("tag"); // the UID or tag address typed
    QTest::addColumn<QByteArray>("answer"); // of block 7
    QTest::addColumn<QString>("blocks");
    QTest::newRow("ISO/IEC 15693 by UID") << 0 << "E0040100A1B2C3D4"
                                          << answerFrame(0, 0x20, hex("44 33 22 11 00 07")) << "7: 11223344";
    QTest::newRow("Tag-it by tag address") << 2 << "12345678" << answerFrame(0, 0x07, hex("0A 00 00 00 00 07"))
                                           << "7: 0000000A";
}

// The answer to a block read names no tag: the window's request does.
void tst_MainWindow::addressedBlockReadFillsTagLog()
{
    QFETCH(int, page);
    QFETCH(QString, tag);
    QFETCH(QByteArray, answer);
    QFETCH(QString, blocks);
    MainWindow &w = *m_window;
    control<QTabWidget>(w, "PageControl1").setCurrentIndex(page);
    if (auto &iso = control<IsoPage>(w, "TSISO"); page == 0) {
        iso.commandList->setItemIndex(iso15693::ViewOneBlock);
        iso.useUidCheck->setChecked(true);
        iso.uidEdit->setText(tag);
        iso.blockNumberEdit->setText(QStringLiteral("7"));
    } else {
        auto &tagit = control<TagitPage>(w, "TSTagit");
        tagit.commandList->setItemIndex(tagit::ReadBlock);
        tagit.useAddressCheck->setChecked(true);
        tagit.addressEdit->setText(tag);
        tagit.blockNumberCombo->setCurrentText(QStringLiteral("7"));
    }
    control<QToolButton>(w, "btnSend").click();
    QCOMPARE(m_transport->written.size(), 1);
    m_transport->feed(answer);
    const TagLog &log = w.session().tagLog();
    QTRY_COMPARE(log.count(), 1);
    QCOMPARE(log.row(0).tag, tag);
    QCOMPARE(TagLog::blocksText(log.row(0)), blocks);
}

void tst_MainWindow::clearEmptiesBothViews()
{
    MainWindow &w = *m_window;
    Answer answer;
    answer.report.heading = QStringLiteral("x");
    emit w.session().answered(answer);
    emit w.session().messageLine(QStringLiteral("y"));
    control<QToolButton>(w, "ToolButton2").click();
    QVERIFY(control<ResponsePane>(w, "memoResponse").lines().isEmpty());
    QVERIFY(control<LinePane>(w, "rchEditAPDLog").lines().isEmpty());
}

void tst_MainWindow::messageViewEmptiedWhenShown()
{
    MainWindow &w = *m_window;
    auto &messages = control<LinePane>(w, "rchEditAPDLog");
    auto &viewMessages = control<QAction>(w, "DebugMode1");
    emit w.session().messageLine(QStringLiteral("USB Disconnected")); // written while hidden
    QCOMPARE(messages.lines(), QStringList{QStringLiteral("USB Disconnected")});
    viewMessages.trigger();
    QVERIFY(messages.lines().isEmpty());
    emit w.session().messageLine(QStringLiteral("first"));
    emit w.session().messageLine(QStringLiteral("second"));
    QCOMPARE(messages.lines(), (QStringList{QStringLiteral("second"), QStringLiteral("first")}));
    QCOMPARE(messages.lineFont(LineStyle::Detail).pixelSize(), 11);
    viewMessages.trigger();
}

void tst_MainWindow::aboutBox()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QString seen;
    bool defaultButton = false;
    QSize size;
    // The box is modal: inspect it and close it with Return from inside its
    // own event loop.
    QTimer::singleShot(0, m_window, [&] {
        QTRY_VERIFY(qobject_cast<AboutBox *>(QApplication::activeModalWidget()));
        auto *box = qobject_cast<AboutBox *>(QApplication::activeModalWidget());
        seen = QStringList{box->windowTitle(), box->productLabel->text(), box->versionLabel->text()}.join('|');
        defaultButton = box->okButton->isDefault();
        size = box->size();
        QVERIFY(!box->contactText->toPlainText().isEmpty());
        QVERIFY(box->contactText->isReadOnly());
        QTest::keyClick(box, Qt::Key_Return);
    });
    control<QAction>(*m_window, "About1").trigger();
    QCOMPARE(seen, QStringLiteral("About VexaHost|Product: Vexa Host|Version %1").arg(QLatin1String(kVersionText)));
    QCOMPARE(QLatin1String(kVersionText), QLatin1String("4.07"));
    QVERIFY(defaultButton);
    QVERIFY2(size.width() >= 282 && size.height() >= 328, qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
    QVERIFY2(!QApplication::activeModalWidget(), "Return closes the box");
    QVERIFY2(!m_window->findChild<AboutBox *>(), "the box is gone once closed");
}

void tst_MainWindow::dialogsShowTitleAndCaptionsWhole_data()
{
    QTest::addColumn<QString>("dialog"); // object name
    QTest::addColumn<bool>("fixed");
    for (const char *name : {"frmWgn", "frmISOCfg", "frmEncOptions", "frmAddressRdr", "frmLEDAudio", "frmActivateLED",
                             "frmActivateAudio", "AboutBox"})
        QTest::newRow(name) << QString::fromLatin1(name) << true;
    QTest::newRow("frmLdr") << QStringLiteral("frmLdr") << false;
    QTest::newRow("frmAutoRead") << QStringLiteral("frmAutoRead") << false;
}

// Each dialog is as wide as its title needs in the title bar; one of a
// single size offers no maximise button; no caption inside is cut.
void tst_MainWindow::dialogsShowTitleAndCaptionsWhole()
{
    QFETCH(QString, dialog);
    QFETCH(bool, fixed);
    AboutBox about(m_window); // made on demand by "About..."
    QWidget *box = dialog == about.objectName() ? &about : m_window->findChild<QDialog *>(dialog);
    QVERIFY(box);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box));
    QVERIFY2(box->width() >= titleBarWidth(box->windowTitle()), qPrintable(QString::number(box->width())));
    if (fixed) {
        QCOMPARE(box->minimumSize(), box->maximumSize());
        QCOMPARE(box->size(), box->minimumSize());
        QVERIFY(!(box->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(box->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(box->windowFlags() & Qt::WindowCloseButtonHint);
    }
    const auto captions = box->findChildren<QWidget *>();
    for (QWidget *w : captions) {
        auto *label = qobject_cast<QLabel *>(w);
        const bool caption = (label && !label->wordWrap() && label->pixmap().isNull()) || qobject_cast<QAbstractButton *>(w);
        if (caption && w->isVisible())
            QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(w->objectName() + QLatin1Char(' ') + QString::number(w->width())));
    }
    box->hide();
}

void tst_MainWindow::windowStartsWhereItClosed_data()
{
    QTest::addColumn<QPoint>("place"); // the frame's top-left corner, as stored
    QTest::newRow("inside the screen") << QPoint(300, 146);
    QTest::newRow("at the screen's corner") << QPoint(0, 0);
    QTest::newRow("odd numbers") << QPoint(511, 37);
}

// Top and Left are the frame's: a start puts the frame there and the close
// stores it unchanged, however many times the program starts.
void tst_MainWindow::windowStartsWhereItClosed()
{
    QFETCH(QPoint, place);
    StoredSettings stored;
    stored.left = place.x();
    stored.top = place.y();
    QCOMPARE(saveSettings(stored), QString());
    for (int start = 0; start < 3; ++start) {
        auto window = std::make_unique<MainWindow>(&m_prompt);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(window->geometry().topLeft() != window->frameGeometry().topLeft()); // the window has a frame
        QCOMPARE(window->frameGeometry().topLeft(), place);
        window->close();
        const LoadedSettings loaded = loadSettings();
        QCOMPARE(QPoint(loaded.settings.left, loaded.settings.top), place);
    }
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
