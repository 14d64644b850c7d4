// End to end over USB: the real main window, the simulator's build of the
// USB HID library (first on the library search path) and vexa-sim --usb.
#include <QtTest>

#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>

#include "core/codecs/iso15693.h"
#include "core/codecs/tagit.h"
#include "e2efixture.h"
#include "core/link/usbtransport.h"
#include "ui/pages/commandlist.h"
#include "ui/pages/iso14443page.h"
#include "ui/pages/isopage.h"
#include "ui/pages/tagitpage.h"
#include "ui/window/autoreadwindow.h"
#include "ui/window/statuslight.h"

using namespace vexa;
using namespace vexa::test;

namespace {
void choose(CommandList *list, int index)
{
    const auto buttons = list->findChildren<QRadioButton *>();
    QVERIFY(index < buttons.size());
    buttons.at(index)->click();
}

AtUsbHidDeviceRecord recordFor(const char *path)
{
    AtUsbHidDeviceRecord record{};
    qstrncpy(record.path, path, sizeof record.path);
    return record;
}
} // namespace

class tst_E2eUsb : public QObject, public E2eFixture
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void selectOpensTheReader();
    void commandFamilies_data();
    void commandFamilies();
    void framesOfManyReports();
    void frameSpreadOverTicks();
    void unplugDuringExchange();
    void pollSuspended();
    void repeatAcrossUnplug();
    void plugInWhileNotFound();
    void removalOfAnotherDevice();
    void backToComPort();
    void notificationsWithoutLibrary();
    void autoRead_data();
    void autoRead();
    void autoReadOnlyOnUsb();

private:
    void selectUsb();
};

void tst_E2eUsb::init()
{
    QVERIFY(startSim({QStringLiteral("--usb")}));
    makeWindow();
    QVERIFY(showWindow());
    QVERIFY(waitForStartExchange());
}

void tst_E2eUsb::cleanup()
{
    closeAll();
}

void tst_E2eUsb::selectUsb()
{
    MainWindow &w = *m_window;
    control<QAction>(w, "USB1").trigger();
    QVERIFY(control<QAction>(w, "USB1").isChecked());
    QCOMPARE(panel(w, 0), QStringLiteral("USB"));
    QCOMPARE(panel(w, 1), QStringLiteral("Device ready"));
    QCOMPARE(m_prompt->messages, QStringList{});
}

void tst_E2eUsb::selectOpensTheReader()
{
    MainWindow &w = *m_window;
    selectUsb();
    QVERIFY(w.session().usb().isOpen());
    QVERIFY(w.session().usb().pollTimer().isActive());
    QCOMPARE(w.session().usb().pollTimer().interval(), 50);
    QVERIFY(w.session().usbDeviceLost());
    QVERIFY(control<QToolButton>(w, "btnSend").isEnabled());
    QVERIFY(control<QAction>(w, "viewAutoread1").isEnabled());
    QVERIFY(!control<QMenu>(w, "Port1").menuAction()->isEnabled());
    QVERIFY(!control<QMenu>(w, "BaudRate1").menuAction()->isEnabled());
    QCOMPARE(control<LinePane>(w, "rchEditAPDLog").lines().value(0), QStringLiteral("USB Connected"));
    QVERIFY2(w.session().usb().libraryPath().endsWith(QLatin1String("/sim/usb/libAtUsbHid.so")), qPrintable(w.session().usb().libraryPath()));
    QCOMPARE(&w.session().link().transport()->metaObject()->className()[0], "vexa::UsbTransport");
}

void tst_E2eUsb::commandFamilies_data()
{
    QTest::addColumn<int>("page");     // -1: the tool button below
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("heading");
    QTest::newRow("reader management: version") << -1 << 0 << "btnRdrVersion" << "01 08 00 10 80 E0 79 86"
                                                << "# Reader Version: VexaIII";
    QTest::newRow("reader management: setup") << -1 << 0 << "btnSetup" << "01 08 00 10 80 E7 7E 81" << "# Reader Setup:";
    QTest::newRow("ISO/IEC 15693 inventory") << 0 << int(iso15693::Inventory) << "" << "01 09 00 10 82 01 00 9B 64"
                                             << "# ISO Inventory:";
    QTest::newRow("ISO/IEC 14443-A read UID") << 1 << 0 << "" << "01 09 00 10 80 40 00 D8 27"
                                              << "# Read UID ISO 14443-A:";
    QTest::newRow("Tag-it version") << 2 << int(tagit::ReadTagVersion) << "" << "01 08 00 10 80 05 9C 63"
                                    << "# Read Transponder Details:";
}

void tst_E2eUsb::commandFamilies()
{
    QFETCH(int, page);
    QFETCH(int, command);
    QFETCH(QString, button);
    QFETCH(QString, request);
    QFETCH(QString, heading);
    MainWindow &w = *m_window;
    selectUsb();
    if (page == 0)
        choose(control<IsoPage>(w, "TSISO").commandList, command);
    else if (page == 2)
        choose(control<TagitPage>(w, "TSTagit").commandList, command);
    if (page >= 0)
        control<QTabWidget>(w, "PageControl1").setCurrentIndex(page);
    if (page >= 0)
        control<QToolButton>(w, "btnSend").click();
    else
        w.findChild<QToolButton *>(button)->click();
    QVERIFY(w.session().link().busy());
    QVERIFY(control<StatusLight>(w, "TxLight").isLit());
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kAnswerMs);
    QCOMPARE(m_sim->requests().last(), request);
    QCOMPARE(paneLines(w).value(0), heading);
    QVERIFY(paneLines(w).value(1).startsWith(QLatin1String("    ")));
}

void tst_E2eUsb::framesOfManyReports()
{
    // An unsolicited frame of 255 bytes: sixteen reports, gathered whole.
    MainWindow &w = *m_window;
    selectUsb();
    control<QAction>(w, "DebugMode1").trigger();
    QString payload;
    for (int i = 0; i < 247; ++i)
        payload += QStringLiteral(" %1").arg(0x20 + i % 90, 2, 16, QLatin1Char('0'));
    QVERIFY(m_sim->control(QStringLiteral("frame E0 00") + payload));
    auto &messages = control<LinePane>(w, "rchEditAPDLog");
    QTRY_VERIFY_WITH_TIMEOUT(messages.lines().value(0).startsWith(QLatin1String("Vexa --")), kAnswerMs);
    const QString line = messages.lines().value(0);
    QCOMPARE(line.mid(line.indexOf(QLatin1String("->")) + 2).split(QLatin1Char(' '), Qt::SkipEmptyParts).size(), 255);
    QVERIFY(paneLines(w).value(0).startsWith(QLatin1String("# Reader Version:")));
}

void tst_E2eUsb::frameSpreadOverTicks()
{
    MainWindow &w = *m_window;
    selectUsb();
    // The answer's second half comes 300 ms (six poll ticks) after its first.
    QVERIFY(m_sim->control(QStringLiteral("fault gap 300")));
    control<QTabWidget>(w, "PageControl1").setCurrentIndex(0);
    choose(control<IsoPage>(w, "TSISO").commandList, iso15693::Inventory);
    control<QToolButton>(w, "btnSend").click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kAnswerMs);
    QCOMPARE(paneLines(w).value(0), QStringLiteral("# ISO Inventory:"));
    QCOMPARE(paneLines(w).value(1), QStringLiteral("    #    UID    "));
}

void tst_E2eUsb::unplugDuringExchange()
{
    MainWindow &w = *m_window;
    selectUsb();
    QVERIFY(m_sim->control(QStringLiteral("fault gap 3000")));
    control<QToolButton>(w, "btnRdrVersion").click();
    QVERIFY(m_sim->waitForRequests(1));
    QVERIFY(m_sim->control(QStringLiteral("usb unplug")));
    QTRY_COMPARE_WITH_TIMEOUT(panel(w, 1), QStringLiteral("Device removed"), kAnswerMs);
    QVERIFY(!w.session().usb().isOpen());
    QVERIFY(!w.session().usb().pollTimer().isActive());
    QVERIFY(!control<QToolButton>(w, "btnSend").isEnabled());
    QCOMPARE(control<LinePane>(w, "rchEditAPDLog").lines().value(0), QStringLiteral("USB Disconnected"));
    // The exchange in flight ends with a time-out; its first half is dropped.
    QTRY_COMPARE_WITH_TIMEOUT(paneLines(w).value(0), QStringLiteral("# Error: Message timeout"), kTimeoutMs);

    QVERIFY(m_sim->control(QStringLiteral("fault clear")));
    QVERIFY(m_sim->control(QStringLiteral("usb plug")));
    QTRY_COMPARE_WITH_TIMEOUT(panel(w, 1), QStringLiteral("Device ready"), kAnswerMs);
    QVERIFY(control<QToolButton>(w, "btnSend").isEnabled());
    QCOMPARE(control<LinePane>(w, "rchEditAPDLog").lines().value(0), QStringLiteral("USB Connected"));
    control<QToolButton>(w, "btnRdrVersion").click();
    QTRY_COMPARE_WITH_TIMEOUT(paneLines(w).value(0), QStringLiteral("# Reader Version: VexaIII"), kAnswerMs);
}

void tst_E2eUsb::pollSuspended()
{
    MainWindow &w = *m_window;
    selectUsb();
    w.session().usb().usbPollSuspended = true;
    control<QToolButton>(w, "btnRdrVersion").click();
    QVERIFY(m_sim->waitForRequests(1));
    QTRY_COMPARE_WITH_TIMEOUT(paneLines(w).value(0), QStringLiteral("# Error: Message timeout"), kTimeoutMs);
    // The answer waited in the device; the next tick reads it.
    w.session().usb().usbPollSuspended = false;
    QTRY_COMPARE_WITH_TIMEOUT(paneLines(w).value(0), QStringLiteral("# Reader Version: VexaIII"), kAnswerMs);
}

void tst_E2eUsb::repeatAcrossUnplug()
{
    MainWindow &w = *m_window;
    selectUsb();
    control<QTabWidget>(w, "PageControl1").setCurrentIndex(1);
    control<QToolButton>(w, "btnContinuous").click();
    control<QToolButton>(w, "btnSend").click();
    QVERIFY(m_sim->waitForRequests(2));
    QVERIFY(m_sim->control(QStringLiteral("usb unplug")));
    QTRY_COMPARE_WITH_TIMEOUT(panel(w, 1), QStringLiteral("Device removed"), kAnswerMs);
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("# Error: Message timeout")), kTimeoutMs);
    QVERIFY(w.session().cycle().repeating());
    const qsizetype before = m_sim->requests().size();
    QVERIFY(m_sim->control(QStringLiteral("usb plug")));
    QTRY_COMPARE_WITH_TIMEOUT(panel(w, 1), QStringLiteral("Device ready"), kAnswerMs);
    // Repeat goes on by itself once the reader is back.
    QVERIFY(m_sim->waitForRequests(int(before) + 2, kTimeoutMs));
    QTRY_COMPARE_WITH_TIMEOUT(paneLines(w).value(0), QStringLiteral("# Read UID ISO 14443-A:"), kTimeoutMs);
    control<QToolButton>(w, "btnSend").click(); // Pause
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);
}

void tst_E2eUsb::plugInWhileNotFound()
{
    MainWindow &w = *m_window;
    auto &go = control<QToolButton>(w, "btnSend");
    // The library's own thread reports; the window hears it on its thread.
    QList<bool> onMainThread;
    connect(&w.session().usb(), &UsbTransport::deviceChanged, this,
            [&onMainThread] { onMainThread << (QThread::currentThread() == qApp->thread()); }, Qt::DirectConnection);
    QVERIFY(m_sim->control(QStringLiteral("usb unplug")));
    control<QAction>(w, "USB1").trigger();
    QCOMPARE(panel(w, 1), QStringLiteral("Device not found"));
    QVERIFY(!go.isEnabled());
    QVERIFY(!w.session().usb().pollTimer().isActive());
    QVERIFY(m_sim->control(QStringLiteral("usb plug")));
    QTRY_COMPARE_WITH_TIMEOUT(panel(w, 1), QStringLiteral("Device ready"), kAnswerMs);
    QVERIFY(go.isEnabled());
    QCOMPARE(control<LinePane>(w, "rchEditAPDLog").lines().value(0), QStringLiteral("USB Connected"));

    // The simulator going away altogether is a removal; a new one an arrival.
    m_sim->stop();
    QTRY_COMPARE_WITH_TIMEOUT(panel(w, 1), QStringLiteral("Device removed"), kAnswerMs);
    QVERIFY(m_sim->start({QStringLiteral("--usb")}));
    // (Its new port entry is a device-node change too, whose panel text may
    // come after "Device ready".)
    QTRY_VERIFY_WITH_TIMEOUT(w.session().usb().isOpen(), kAnswerMs);
    QCOMPARE(control<LinePane>(w, "rchEditAPDLog").lines().value(0), QStringLiteral("USB Connected"));
    QVERIFY(go.isEnabled());
    QCOMPARE(onMainThread, (QList<bool>{true, true, true}));
}

void tst_E2eUsb::removalOfAnotherDevice()
{
    MainWindow &w = *m_window;
    selectUsb();
    w.session().onUsbDeviceChange(ATUSBHID_DEVICE_REMOVE_COMPLETE, recordFor("/dev/hidraw-other"));
    QCOMPARE(panel(w, 1), QStringLiteral("Device disconnected"));
    QVERIFY(w.session().usb().isOpen());
    QVERIFY(control<QToolButton>(w, "btnSend").isEnabled());
    // Another device's arrival opens the reader again.
    w.session().onUsbDeviceChange(ATUSBHID_DEVICE_ARRIVAL, recordFor("/dev/hidraw-other"));
    QCOMPARE(panel(w, 1), QStringLiteral("Device ready"));
    control<QToolButton>(w, "btnRdrVersion").click();
    QTRY_COMPARE_WITH_TIMEOUT(paneLines(w).value(0), QStringLiteral("# Reader Version: VexaIII"), kAnswerMs);
    w.session().onUsbDeviceChange(0x0018, recordFor(""));
    QCOMPARE(panel(w, 1), QStringLiteral("USB Message 24"));

    // The reader's own record: already connected, then removed.
    const QByteArray mine = "vexa-sim:" + m_sim->configHome().toLocal8Bit() + "/Kestrune/VexaHost/usb/reader";
    w.session().onUsbDeviceChange(ATUSBHID_DEVICE_ARRIVAL, recordFor(mine.constData()));
    QCOMPARE(panel(w, 1), QStringLiteral("Device Already Connected"));
    w.session().onUsbDeviceChange(ATUSBHID_DEVICE_REMOVE_COMPLETE, recordFor(mine.constData()));
    QCOMPARE(panel(w, 1), QStringLiteral("Device removed"));
    QVERIFY(!w.session().usb().isOpen());
}

void tst_E2eUsb::backToComPort()
{
    MainWindow &w = *m_window;
    selectUsb();
    control<QAction>(w, "ComPort1").trigger();
    QVERIFY(!w.session().usb().isLoaded());
    QVERIFY(!w.session().usb().pollTimer().isActive());
    QVERIFY(control<LinePane>(w, "rchEditAPDLog").lines().contains(QStringLiteral("USB Disconnected")));
    QVERIFY(control<QMenu>(w, "Port1").menuAction()->isEnabled());
    QVERIFY(!control<QAction>(w, "viewAutoread1").isEnabled());
    // The serial link works again at once.
    control<QToolButton>(w, "btnRdrVersion").click();
    QTRY_COMPARE_WITH_TIMEOUT(paneLines(w).value(0), QStringLiteral("# Reader Version: VexaIII"), kAnswerMs);
    QVERIFY(m_sim->output().contains(QStringLiteral("usb: host gone")));
}

void tst_E2eUsb::notificationsWithoutLibrary()
{
    MainWindow &w = *m_window;
    QVERIFY(!w.session().usb().isLoaded());
    w.session().onUsbDeviceChange(ATUSBHID_DEVICE_ARRIVAL, recordFor("/dev/hidraw0"));
    QCOMPARE(panel(w, 1), QStringLiteral("Device arrival"));
    w.session().onUsbDeviceChange(ATUSBHID_DEVICE_REMOVE_COMPLETE, recordFor("/dev/hidraw0"));
    QCOMPARE(panel(w, 1), QStringLiteral("Device disconnected"));
    QVERIFY(!w.session().usb().isLoaded());
    QVERIFY(!w.session().usb().isOpen());

    // Plug events of the simulator do not reach a window whose library was
    // released.
    selectUsb();
    control<QAction>(w, "ComPort1").trigger();
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->output().contains(QStringLiteral("usb: host gone")), kAnswerMs);
    QVERIFY(m_sim->control(QStringLiteral("usb unplug")));
    QVERIFY(m_sim->control(QStringLiteral("usb plug")));
    QVERIFY(m_sim->control(QStringLiteral("state")));
    QVERIFY(!w.session().usb().isLoaded());
    QCOMPARE(panel(w, 1), QStringLiteral("Baud: %1").arg(w.session().serial().baudRate()));
    QVERIFY(control<QAction>(w, "ComPort1").isChecked());
}

void tst_E2eUsb::autoRead_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("16 + 16 characters") << QStringList{"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"}
                                        << QStringList{"ABCDEFGHIJKLMNOPQRSTUVWXY"};
    QTest::newRow("16 + 9 and a line end") << QStringList{"ABCDEFGHIJKLMNOP123456789\\r"}
                                           << QStringList{"ABCDEFGHIJKLMNOP123456789"};
    QTest::newRow("two records") << QStringList{"0123456789ABCDEF0123456789\\r", "FEDCBA9876543210FEDCBA9876\\r"}
                                 << QStringList{"0123456789ABCDEF012345678", "FEDCBA9876543210FEDCBA987"};
}

void tst_E2eUsb::autoRead()
{
    QFETCH(QStringList, records);
    QFETCH(QStringList, lines);
    MainWindow &w = *m_window;
    auto &autoReadWindow = control<AutoReadWindow>(w, "frmAutoRead");
    selectUsb();
    control<QAction>(w, "viewAutoread1").trigger();
    QVERIFY(autoReadWindow.isVisible());
    QVERIFY(autoReadWindow.isModal());
    QCOMPARE(autoReadWindow.windowTitle(), QStringLiteral("View Auto Read"));
    QVERIFY(w.session().usb().autoReadMode());
    for (const QString &record : records)
        QVERIFY(m_sim->control(QStringLiteral("autoread ") + record));
    QTRY_COMPARE_WITH_TIMEOUT(autoReadWindow.lines(), lines, kAnswerMs);
    autoReadWindow.closeButton->click();
    QVERIFY(!w.session().usb().autoReadMode());
    // Reports are response frames again.
    control<QToolButton>(w, "btnRdrVersion").click();
    QTRY_COMPARE_WITH_TIMEOUT(paneLines(w).value(0), QStringLiteral("# Reader Version: VexaIII"), kAnswerMs);
    // Shown again, the window starts empty.
    control<QAction>(w, "viewAutoread1").trigger();
    QCOMPARE(autoReadWindow.lines(), QStringList{});
    autoReadWindow.closeButton->click();
}

void tst_E2eUsb::autoReadOnlyOnUsb()
{
    MainWindow &w = *m_window;
    auto &viewAutoRead = control<QAction>(w, "viewAutoread1");
    QVERIFY(!viewAutoRead.isEnabled());
    selectUsb();
    QVERIFY(viewAutoRead.isEnabled());
    control<QAction>(w, "ComPort1").trigger();
    QVERIFY(!viewAutoRead.isEnabled());
}

QTEST_MAIN(tst_E2eUsb)
#include "tst_e2e_usb.moc"
