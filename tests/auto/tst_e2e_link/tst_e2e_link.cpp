// End to end: the real main window against vexa-sim over a pseudo-terminal.
#include <QtTest>

#include <QMenu>
#include <QTabWidget>
#include <QToolButton>

#include "e2efixture.h"
#include "core/wire/frame.h"

using namespace vexa;
using namespace vexa::test;

class tst_E2eLink : public QObject, public E2eFixture
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startUpChoosesCom1();
    void toolBarCommands_data();
    void toolBarCommands();
    void setupUpdatesFeedbackPanels();
    void loaderQuerySetsComType();
    void timeoutReported();
    void errorStatusReported_data();
    void errorStatusReported();
    void droppedBlocks_data();
    void droppedBlocks();
    void messageViewLines();
    void repeatStoppedByRepeatOff();
    void repeatStoppedByPause();
    void addressedReader();
    void portVanishesMidExchange();
    void portMenuFollowsPortFolder();

private:
    QStringList m_startRequests;
};

void tst_E2eLink::init()
{
    QVERIFY(startSim());
    makeWindow();
    QVERIFY(showWindow());
    // The tests below begin after the start's exchange.
    QVERIFY(waitForStartExchange());
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(*m_window, QStringLiteral("# Reader Setup:")), kAnswerMs);
    m_startRequests = m_sim->requests();
    m_sim->forgetTraffic();
    control<ResponsePane>(*m_window, "memoResponse").clear();
}

void tst_E2eLink::cleanup()
{
    closeAll();
}

void tst_E2eLink::startUpChoosesCom1()
{
    MainWindow &w = *m_window;
    QCOMPARE(portItem(w, QStringLiteral(" COM1 ")) != nullptr, true);
    QVERIFY(portItem(w, QStringLiteral("COM1"))->isChecked());
    QCOMPARE(panel(w, 1), QStringLiteral("Baud: 38400"));
    QCOMPARE(w.session().serial().portNumber(), 1);
    // The start brought the reader to the host's rate and read its setup.
    QVERIFY(w.session().serial().isOpen());
    QCOMPARE(m_startRequests, (QStringList{"01 0A 00 10 80 ED 10 00 66 99", "01 08 00 10 80 E7 7E 81"}));
    QVERIFY(control<QAction>(w, "N384001").isChecked());
    QVERIFY(!w.session().clockText().isEmpty());
}

void tst_E2eLink::toolBarCommands_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("wire");
    QTest::addColumn<QString>("heading");
    QTest::newRow("Version") << "btnRdrVersion" << "01 08 00 10 80 E0 79 86" << "# Reader Version: VexaIII";
    QTest::newRow("Info") << "ToolButton4" << "01 08 00 10 80 EB 72 8D" << "# Reader Version: Vexa ";
    QTest::newRow("Setup") << "btnSetup" << "01 08 00 10 80 E7 7E 81" << "# Reader Setup:";
    QTest::newRow("Test") << "ToolButton3" << "01 08 00 10 82 26 BD 42" << "# Test:";
    QTest::newRow("Reset") << "btnResetReader" << "01 08 00 10 80 E5 7C 83" << "";
}

void tst_E2eLink::toolBarCommands()
{
    QFETCH(QString, button);
    QFETCH(QString, wire);
    QFETCH(QString, heading);
    MainWindow &w = *m_window;
    auto *b = w.findChild<QToolButton *>(button);
    QVERIFY(b);
    b->click();
    QVERIFY(m_sim->waitForRequests(1));
    QCOMPARE(m_sim->requests().first(), wire);
    if (heading.isEmpty()) {
        // Reset has no report of its own: only the separator line.
        QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kAnswerMs);
        QCOMPARE(paneLines(w), QStringList{QString()});
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, heading), kAnswerMs);
        QCOMPARE(paneLines(w).first(), heading);
        QCOMPARE(paneLines(w).last(), QString()); // the separator under the report
    }
    QVERIFY(!paneHas(w, QStringLiteral("# Error: Message timeout")));
}

void tst_E2eLink::setupUpdatesFeedbackPanels()
{
    MainWindow &w = *m_window;
    // Turn the reader's feedback off through its own configuration command,
    // then read the setup.
    CommandBuffer command{};
    const uint8_t frame[] = {0x01, 0x0A, 0x00, 0x10, 0x40, 0xED, 0x07, 0x00};
    std::copy(std::begin(frame), std::end(frame), command.begin());
    writeFrameCheck(command.data(), 10);
    w.session().link().storeFrame(command, 10);
    w.session().link().sendFrame();
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kAnswerMs);
    control<QToolButton>(w, "btnSetup").click();
    QTRY_COMPARE_WITH_TIMEOUT(panel(w, 4), QStringLiteral("LED: Off"), kAnswerMs);
    QCOMPARE(panel(w, 5), QStringLiteral("Audio: Off"));
    QVERIFY(!w.session().options().audioOn);
    QVERIFY(!w.session().options().ledOn);
    QVERIFY(paneHas(w, QStringLiteral("    LED OFF")));
}

void tst_E2eLink::loaderQuerySetsComType()
{
    MainWindow &w = *m_window;
    QCOMPARE(w.session().bootLoaderComType(), LoaderComType::Unknown);
    w.session().requestLoaderInfo();
    QVERIFY(m_sim->waitForRequests(1));
    QCOMPARE(m_sim->requests().first(), QStringLiteral("01 08 00 10 80 E3 7A 85"));
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("    Boot Loader Com Type = Com Port")), kAnswerMs);
    QCOMPARE(paneLines(w).first(), QStringLiteral("# Reader Version: Vexa 4"));
    QCOMPARE(w.session().bootLoaderComType(), LoaderComType::Serial);

    // A reader error suppresses the whole report and keeps the value.
    w.session().setBootLoaderComType(LoaderComType::Usb);
    QVERIFY(m_sim->control(QStringLiteral("fault status 2 1")));
    w.session().requestLoaderInfo();
    QCOMPARE(w.session().bootLoaderComType(), LoaderComType::Serial); // set before sending
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kAnswerMs);
    QCOMPARE(w.session().bootLoaderComType(), LoaderComType::Serial);
    QCOMPARE(paneLines(w).first(), QString());
}

void tst_E2eLink::timeoutReported()
{
    MainWindow &w = *m_window;
    QVERIFY(m_sim->control(QStringLiteral("fault silent 1")));
    control<QToolButton>(w, "btnRdrVersion").click();
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("# Error: Message timeout")), kTimeoutMs);
    QCOMPARE(paneLines(w), QStringList{QStringLiteral("# Error: Message timeout")});
}

void tst_E2eLink::errorStatusReported_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("line");
    QTest::newRow("reader error 1") << "fault status 2 1" << "    Transponder not found";
    QTest::newRow("tag error 0x12") << "fault status 1 12" << "    Specified block locked, contents cannot be changed";
    QTest::newRow("status 3") << "fault status 3 1" << "    Undefined error";
}

void tst_E2eLink::errorStatusReported()
{
    QFETCH(QString, fault);
    QFETCH(QString, line);
    MainWindow &w = *m_window;
    QVERIFY(m_sim->control(fault));
    control<QToolButton>(w, "btnResetReader").click();
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, line), kAnswerMs);
    // Separator, error line, empty line: no heading for a reset answer.
    QCOMPARE(paneLines(w), (QStringList{QString(), line, QString()}));
}

void tst_E2eLink::droppedBlocks_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("tracePrefix");
    QTest::newRow("stray bytes") << "fault stray FF FE" << "Vexa --";
    QTest::newRow("wrong frame check") << "fault badcheck" << "Vexa --";
    QTest::newRow("long gap") << "fault gap 400" << "Vexa --";
}

void tst_E2eLink::droppedBlocks()
{
    QFETCH(QString, fault);
    QFETCH(QString, tracePrefix);
    MainWindow &w = *m_window;
    control<QAction>(w, "DebugMode1").trigger();
    QVERIFY(m_sim->control(fault));
    control<QToolButton>(w, "btnRdrVersion").click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);
    QTest::qWait(300); // a split answer's tail would open a block of its own
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);
    // Dropped without a report and without a time-out; traced from its 0x01.
    QCOMPARE(paneLines(w), QStringList{});
    const QStringList log = control<LinePane>(w, "rchEditAPDLog").lines();
    QVERIFY(!log.isEmpty());
    QVERIFY2(log.first().startsWith(tracePrefix), qPrintable(log.join('\n')));
    QVERIFY(log.first().contains(QLatin1String("-> 01 ")));
}

void tst_E2eLink::messageViewLines()
{
    MainWindow &w = *m_window;
    auto &messages = control<LinePane>(w, "rchEditAPDLog");
    control<QToolButton>(w, "btnRdrVersion").click();
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("# Reader Version: VexaIII")), kAnswerMs);
    QCOMPARE(messages.lines(), QStringList{}); // view off: nothing logged

    const int heightBefore = w.height();
    control<QAction>(w, "DebugMode1").trigger();
    QVERIFY(messages.isVisible());
    QCOMPARE(w.minimumHeight(), 600);
    QCOMPARE(w.height(), heightBefore + 120);
    control<QToolButton>(w, "btnRdrVersion").click();
    QTRY_COMPARE_WITH_TIMEOUT(messages.lines().size(), 2, kAnswerMs);
    const QStringList log = messages.lines();
    static const QRegularExpression host(QStringLiteral("^Host -- \\d\\d:\\d\\d:\\d\\d -> 01 08 00 10 80 E0 79 86$"));
    static const QRegularExpression reader(QStringLiteral("^Vexa -- \\d\\d:\\d\\d:\\d\\d -> 01 .* 00 E0( [0-9A-F]{2})+$"));
    QVERIFY2(reader.match(log[0]).hasMatch(), qPrintable(log[0]));
    QVERIFY2(host.match(log[1]).hasMatch(), qPrintable(log[1]));

    control<QAction>(w, "DebugMode1").trigger();
    QVERIFY(!messages.isVisible());
    QCOMPARE(w.minimumHeight(), 480);
    QCOMPARE(w.height(), heightBefore);
}

void tst_E2eLink::repeatStoppedByRepeatOff()
{
    MainWindow &w = *m_window;
    auto &repeatButton = control<QToolButton>(w, "btnContinuous");
    repeatButton.click();
    QCOMPARE(panel(w, 2), QStringLiteral("Repeat: On"));
    QVERIFY(control<QAction>(w, "ContinuousMode1").isChecked());
    QVERIFY(repeatButton.isChecked());
    control<QToolButton>(w, "btnRdrVersion").click();
    QVERIFY(m_sim->waitForRequests(4, 20000));
    control<QAction>(w, "ContinuousMode1").trigger(); // the menu item does what the button does
    QCOMPARE(panel(w, 2), QStringLiteral("Repeat: Off"));
    QVERIFY(!repeatButton.isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kAnswerMs);
    const auto sent = m_sim->requests().size();
    QTest::qWait(500);
    QCOMPARE(m_sim->requests().size(), sent);
    for (const QString &frame : m_sim->requests())
        QCOMPARE(frame, QStringLiteral("01 08 00 10 80 E0 79 86"));
}

void tst_E2eLink::repeatStoppedByPause()
{
    MainWindow &w = *m_window;
    auto &go = control<QToolButton>(w, "btnSend");
    auto &goItem = control<QAction>(w, "Send1");
    control<QAction>(w, "ContinuousMode1").trigger();
    control<QTabWidget>(w, "PageControl1").setCurrentIndex(1); // "Read UID" on the 14443-A page
    go.click();
    QCOMPARE(go.text(), QStringLiteral("Pause"));
    QVERIFY(go.isChecked());
    QVERIFY(goItem.isChecked());
    QCOMPARE(QString(goItem.text()).remove(QLatin1Char('&')), QStringLiteral("Pause"));
    QVERIFY(m_sim->waitForRequests(3, 20000));
    go.click(); // Pause
    QCOMPARE(go.text(), QStringLiteral("Go"));
    QVERIFY(!go.isChecked());
    QVERIFY(!goItem.isChecked());
    QCOMPARE(w.session().link().storedLength(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);
    const auto sent = m_sim->requests().size();
    QTest::qWait(500);
    QCOMPARE(m_sim->requests().size(), sent);
    QVERIFY(m_prompt->messages.isEmpty());
}

void tst_E2eLink::addressedReader()
{
    MainWindow &w = *m_window;
    w.session().options().addressReader = true;
    w.session().options().readerSerialNumber = QStringLiteral("4000123");
    control<QToolButton>(w, "btnRdrVersion").click();
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("    Serial number: 4000123")), kAnswerMs);
    QCOMPARE(m_sim->requests().first(), QStringLiteral("01 10 00 10 A0 E0 34 30 30 30 31 32 33 00 75 8A"));

    // Another reader's serial number: this reader stays silent.
    control<QToolButton>(w, "ToolButton2").click();
    w.session().options().readerSerialNumber = QStringLiteral("9999999");
    control<QToolButton>(w, "btnRdrVersion").click();
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("# Error: Message timeout")), kTimeoutMs);
}

void tst_E2eLink::portVanishesMidExchange()
{
    MainWindow &w = *m_window;
    // COM8 has no device of its own here once the simulator's entry is gone.
    SimProcess sim(m_sim->configHome());
    QVERIFY(sim.start({QStringLiteral("--port"), QStringLiteral("COM8")}));
    QTRY_VERIFY_WITH_TIMEOUT(portItem(w, QStringLiteral("COM8")) != nullptr, kAnswerMs);
    portItem(w, QStringLiteral("COM8"))->trigger();
    QCOMPARE(panel(w, 0), QStringLiteral("COM8"));
    QVERIFY(sim.control(QStringLiteral("fault silent 1")));
    control<QToolButton>(w, "btnRdrVersion").click();
    QVERIFY(sim.waitForRequests(1));
    sim.stop();
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("# Error: Message timeout")), kTimeoutMs);
    QVERIFY(m_prompt->messages.isEmpty());

    // The next send tells the operator why the port cannot be used.
    control<QToolButton>(w, "btnRdrVersion").click();
    QTRY_COMPARE_WITH_TIMEOUT(m_prompt->messages.size(), 1, kAnswerMs);
    QVERIFY2(m_prompt->messages.first().contains(QLatin1String("COM8")), qPrintable(m_prompt->messages.first()));
    QTRY_COMPARE_WITH_TIMEOUT(paneLines(w).count(QStringLiteral("# Error: Message timeout")), 2, kTimeoutMs);
}

void tst_E2eLink::portMenuFollowsPortFolder()
{
    MainWindow &w = *m_window;
    SimProcess second(m_sim->configHome()); // the same port folder
    QVERIFY(second.start({QStringLiteral("--port"), QStringLiteral("COM3")}));
    QTRY_VERIFY_WITH_TIMEOUT(portItem(w, QStringLiteral("COM3")) != nullptr, kAnswerMs);
    QCOMPARE(panel(w, 1), QStringLiteral("USB Device change "));
    second.stop();
    QTRY_VERIFY_WITH_TIMEOUT(portItem(w, QStringLiteral("COM3")) == nullptr, kAnswerMs);
}

QTEST_MAIN(tst_E2eLink)
#include "tst_e2e_link.moc"
