// End to end: the real main window against vexa-sim over a pseudo-terminal.
#include <QtTest>

#include <QMenu>
#include <QTabWidget>
#include <QToolButton>

#include "e2efixture.h"
#include "link/frame.h"

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
    m_window->responsePane->clear();
}

void tst_E2eLink::cleanup()
{
    closeAll();
}

void tst_E2eLink::startUpChoosesCom1()
{
    MainWindow &w = *m_window;
    QCOMPARE(w.findPortItem(QStringLiteral(" COM1 ")) != nullptr, true);
    QVERIFY(w.findPortItem(QStringLiteral("COM1"))->isChecked());
    QCOMPARE(w.statusPanels[1]->text(), QStringLiteral("Baud: 38400"));
    QCOMPARE(w.serial().portNumber(), 1);
    // The start brought the reader to the host's rate and read its setup.
    QVERIFY(w.serial().isOpen());
    QCOMPARE(m_startRequests, (QStringList{"01 0A 00 10 80 ED 10 00 66 99", "01 08 00 10 80 E7 7E 81"}));
    QVERIFY(w.baud38400Action->isChecked());
    QVERIFY(!w.clockText().isEmpty());
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
        QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kAnswerMs);
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
    w.link().clearCommandBuffer();
    w.link().commandLength = 10;
    const uint8_t frame[] = {0x01, 0x0A, 0x00, 0x10, 0x40, 0xED, 0x07, 0x00};
    std::copy(std::begin(frame), std::end(frame), w.link().commandBuffer.begin());
    writeFrameCheck(w.link().commandBuffer.data(), 10);
    w.link().sendFrame();
    QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kAnswerMs);
    w.setupButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(w.statusPanels[4]->text(), QStringLiteral("LED: Off"), kAnswerMs);
    QCOMPARE(w.statusPanels[5]->text(), QStringLiteral("Audio: Off"));
    QVERIFY(!w.options.audioOn);
    QVERIFY(!w.options.ledOn);
    QVERIFY(paneHas(w, QStringLiteral("    LED OFF")));
}

void tst_E2eLink::loaderQuerySetsComType()
{
    MainWindow &w = *m_window;
    QCOMPARE(w.bootLoaderComType, 0);
    w.requestLoaderInfo();
    QVERIFY(m_sim->waitForRequests(1));
    QCOMPARE(m_sim->requests().first(), QStringLiteral("01 08 00 10 80 E3 7A 85"));
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("    Boot Loader Com Type = Com Port")), kAnswerMs);
    QCOMPARE(paneLines(w).first(), QStringLiteral("# Reader Version: Vexa 4"));
    QCOMPARE(w.bootLoaderComType, 1);

    // A reader error suppresses the whole report and keeps the value.
    w.bootLoaderComType = 2;
    QVERIFY(m_sim->control(QStringLiteral("fault status 2 1")));
    w.requestLoaderInfo();
    QCOMPARE(w.bootLoaderComType, 1); // set before sending
    QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kAnswerMs);
    QCOMPARE(w.bootLoaderComType, 1);
    QCOMPARE(paneLines(w).first(), QString());
}

void tst_E2eLink::timeoutReported()
{
    MainWindow &w = *m_window;
    QVERIFY(m_sim->control(QStringLiteral("fault silent 1")));
    w.versionButton->click();
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
    w.resetButton->click();
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
    w.toggleMessageView();
    QVERIFY(m_sim->control(fault));
    w.versionButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kTimeoutMs);
    QTest::qWait(300); // a split answer's tail would open a block of its own
    QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kTimeoutMs);
    // Dropped without a report and without a time-out; traced from its 0x01.
    QCOMPARE(paneLines(w), QStringList{});
    const QStringList log = w.messageView->lines();
    QVERIFY(!log.isEmpty());
    QVERIFY2(log.first().startsWith(tracePrefix), qPrintable(log.join('\n')));
    QVERIFY(log.first().contains(QLatin1String("-> 01 ")));
}

void tst_E2eLink::messageViewLines()
{
    MainWindow &w = *m_window;
    w.versionButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("# Reader Version: VexaIII")), kAnswerMs);
    QCOMPARE(w.messageView->lines(), QStringList{}); // view off: nothing logged

    const int heightBefore = w.height();
    w.toggleMessageView();
    QVERIFY(w.messageView->isVisible());
    QCOMPARE(w.minimumHeight(), 600);
    QCOMPARE(w.height(), heightBefore + 120);
    w.versionButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(w.messageView->lines().size(), 2, kAnswerMs);
    const QStringList log = w.messageView->lines();
    static const QRegularExpression host(QStringLiteral("^Host -- \\d\\d:\\d\\d:\\d\\d -> 01 08 00 10 80 E0 79 86$"));
    static const QRegularExpression reader(QStringLiteral("^Vexa -- \\d\\d:\\d\\d:\\d\\d -> 01 .* 00 E0( [0-9A-F]{2})+$"));
    QVERIFY2(reader.match(log[0]).hasMatch(), qPrintable(log[0]));
    QVERIFY2(host.match(log[1]).hasMatch(), qPrintable(log[1]));

    w.toggleMessageView();
    QVERIFY(!w.messageView->isVisible());
    QCOMPARE(w.minimumHeight(), 480);
    QCOMPARE(w.height(), heightBefore);
}

void tst_E2eLink::repeatStoppedByRepeatOff()
{
    MainWindow &w = *m_window;
    w.repeatButton->click();
    QCOMPARE(w.statusPanels[2]->text(), QStringLiteral("Repeat: On"));
    QVERIFY(w.repeatAction->isChecked());
    QVERIFY(w.repeatButton->isChecked());
    w.versionButton->click();
    QVERIFY(m_sim->waitForRequests(4, 20000));
    w.repeatAction->trigger(); // the menu item does what the button does
    QCOMPARE(w.statusPanels[2]->text(), QStringLiteral("Repeat: Off"));
    QVERIFY(!w.repeatButton->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kAnswerMs);
    const auto sent = m_sim->requests().size();
    QTest::qWait(500);
    QCOMPARE(m_sim->requests().size(), sent);
    for (const QString &frame : m_sim->requests())
        QCOMPARE(frame, QStringLiteral("01 08 00 10 80 E0 79 86"));
}

void tst_E2eLink::repeatStoppedByPause()
{
    MainWindow &w = *m_window;
    w.toggleRepeat();
    w.pageTabs->setCurrentIndex(1); // "Read UID" on the 14443-A page
    w.goButton->click();
    QCOMPARE(w.goButton->text(), QStringLiteral("Pause"));
    QVERIFY(w.goButton->isChecked());
    QVERIFY(w.goAction->isChecked());
    QCOMPARE(QString(w.goAction->text()).remove(QLatin1Char('&')), QStringLiteral("Pause"));
    QVERIFY(m_sim->waitForRequests(3, 20000));
    w.goButton->click(); // Pause
    QCOMPARE(w.goButton->text(), QStringLiteral("Go"));
    QVERIFY(!w.goButton->isChecked());
    QVERIFY(!w.goAction->isChecked());
    QCOMPARE(w.link().commandLength, 0);
    QTRY_VERIFY_WITH_TIMEOUT(!w.link().busy(), kTimeoutMs);
    const auto sent = m_sim->requests().size();
    QTest::qWait(500);
    QCOMPARE(m_sim->requests().size(), sent);
    QVERIFY(m_prompt->messages.isEmpty());
}

void tst_E2eLink::addressedReader()
{
    MainWindow &w = *m_window;
    w.options.addressReader = true;
    w.options.readerSerialNumber = QStringLiteral("4000123");
    w.versionButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("    Serial number: 4000123")), kAnswerMs);
    QCOMPARE(m_sim->requests().first(), QStringLiteral("01 10 00 10 A0 E0 34 30 30 30 31 32 33 00 75 8A"));

    // Another reader's serial number: this reader stays silent.
    w.clearResponse();
    w.options.readerSerialNumber = QStringLiteral("9999999");
    w.versionButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("# Error: Message timeout")), kTimeoutMs);
}

void tst_E2eLink::portVanishesMidExchange()
{
    MainWindow &w = *m_window;
    // COM8 has no device of its own here once the simulator's entry is gone.
    SimProcess sim(m_sim->configHome());
    QVERIFY(sim.start({QStringLiteral("--port"), QStringLiteral("COM8")}));
    QTRY_VERIFY_WITH_TIMEOUT(w.findPortItem(QStringLiteral("COM8")) != nullptr, kAnswerMs);
    w.choosePort(w.findPortItem(QStringLiteral("COM8")));
    QCOMPARE(w.statusPanels[0]->text(), QStringLiteral("COM8"));
    QVERIFY(sim.control(QStringLiteral("fault silent 1")));
    w.versionButton->click();
    QVERIFY(sim.waitForRequests(1));
    sim.stop();
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("# Error: Message timeout")), kTimeoutMs);
    QVERIFY(m_prompt->messages.isEmpty());

    // The next send tells the operator why the port cannot be used.
    w.versionButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_prompt->messages.size(), 1, kAnswerMs);
    QVERIFY2(m_prompt->messages.first().contains(QLatin1String("COM8")), qPrintable(m_prompt->messages.first()));
    QTRY_COMPARE_WITH_TIMEOUT(paneLines(w).count(QStringLiteral("# Error: Message timeout")), 2, kTimeoutMs);
}

void tst_E2eLink::portMenuFollowsPortFolder()
{
    MainWindow &w = *m_window;
    SimProcess second(m_sim->configHome()); // the same port folder
    QVERIFY(second.start({QStringLiteral("--port"), QStringLiteral("COM3")}));
    QTRY_VERIFY_WITH_TIMEOUT(w.findPortItem(QStringLiteral("COM3")) != nullptr, kAnswerMs);
    QCOMPARE(w.statusPanels[1]->text(), QStringLiteral("USB Device change "));
    second.stop();
    QTRY_VERIFY_WITH_TIMEOUT(w.findPortItem(QStringLiteral("COM3")) == nullptr, kAnswerMs);
}

QTEST_MAIN(tst_E2eLink)
#include "tst_e2e_link.moc"
