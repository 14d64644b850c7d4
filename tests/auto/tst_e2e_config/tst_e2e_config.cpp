// End to end: the configuration menus, the baud change and the stored
// settings, with the real main window against vexa-sim over a pseudo-terminal.
#include <QtTest>

#include <functional>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QMenu>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "core/link/portmap.h"
#include "core/link/usbtransport.h"
#include "core/loader/firmwareupgrade.h"
#include "core/settings/settingsstore.h"
#include "core/util/hextext.h"
#include "ui/dialogs/activateaudiodialog.h"
#include "ui/dialogs/activateleddialog.h"
#include "ui/dialogs/addressdialog.h"
#include "ui/dialogs/audioleddialog.h"
#include "e2efixture.h"
#include "ui/dialogs/dialogrunner.h"
#include "ui/dialogs/encryptiondialog.h"
#include "ui/dialogs/isooptionsdialog.h"
#include "ui/dialogs/wieganddialog.h"
#include "ui/pages/fieldedit.h"
#include "ui/pages/isopage.h"

using namespace vexa;
using namespace vexa::test;

namespace {
// Works each dialog the way a script says, then closes it as OK did.
class ScriptedDialogs : public DialogRunner
{
public:
    std::function<void(QDialog &)> script;
    int shown = 0;

    int run(QDialog &dialog, QWidget *) override
    {
        ++shown;
        dialog.show();
        if (script)
            script(dialog);
        if (dialog.isVisible())
            dialog.reject();
        return dialog.result();
    }
};

template<typename Dialog>
Dialog &as(QDialog &d)
{
    auto *typed = qobject_cast<Dialog *>(&d);
    if (!typed)
        qFatal("unexpected dialog %s", qPrintable(d.objectName()));
    return *typed;
}
} // namespace

class tst_E2eConfig : public QObject, public E2eFixture
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void serialStartSetsStoredRate_data();
    void serialStartSetsStoredRate();
    void readerIgnoresTheChange_data();
    void readerIgnoresTheChange();
    void baudItemKeepsWindowAlive();
    void commandsOnTheWire_data();
    void commandsOnTheWire();
    void refusedInputSendsNothing_data();
    void refusedInputSendsNothing();
    void addressedModeFromDialog();
    void isoOptionsReachTheDataField();
    void settingsSurviveRestarts();
    void firstRunWritesTheStore();
    void damagedStoreGivesDefaults();
    void usbMethodSendsNothing();
    void storedPortFallsBack_data();
    void storedPortFallsBack();

private:
    // Starts the window on the simulator and waits for its start-up exchange.
    void startWindow(bool expectSerialStart = true);
    void restartWindow();
    void writeStore(const StoredSettings &s);

    ScriptedDialogs m_dialogs;
};

void tst_E2eConfig::init()
{
    QVERIFY(startSim());
    // One prompt for every window of a test: what restarts were told adds up.
    m_prompt = std::make_unique<ScriptedPrompt>();
    m_dialogs.script = nullptr;
    m_dialogs.shown = 0;
}

void tst_E2eConfig::cleanup()
{
    closeAll();
}

void tst_E2eConfig::startWindow(bool expectSerialStart)
{
    makeWindow(m_prompt.get()).setDialogRunner(&m_dialogs);
    m_window->show();
    if (!expectSerialStart)
        return;
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(*m_window, QStringLiteral("# Reader Setup:"))
                                 || paneHas(*m_window, QStringLiteral("# Error: Message timeout")),
                             kTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->session().link().busy(), kAnswerMs);
}

void tst_E2eConfig::restartWindow()
{
    m_window->close();
    m_window.reset();
    m_sim->forgetTraffic();
    startWindow();
}

void tst_E2eConfig::writeStore(const StoredSettings &s)
{
    QCOMPARE(saveSettingsFile(settingsFilePath(), s), QString());
}

void tst_E2eConfig::serialStartSetsStoredRate_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("baudCommand");
    QTest::addColumn<QString>("reportLine");
    QTest::newRow("19200") << 19200 << 19200 << "01 0A 00 10 80 ED 0F 00 79 86" << "    Baud: 19200";
    QTest::newRow("9600") << 9600 << 9600 << "01 0A 00 10 80 ED 0E 00 78 87" << "    Baud: 9600";
    // A rate the reader does not have is taken as 57600; the setup report
    // shows any code above 1 as 38400.
    QTest::newRow("115200 as 57600") << 115200 << 57600 << "01 0A 00 10 80 ED 11 00 67 98" << "    Baud: 38400";
}

void tst_E2eConfig::serialStartSetsStoredRate()
{
    QFETCH(int, stored);
    QFETCH(int, rate);
    QFETCH(QString, baudCommand);
    QFETCH(QString, reportLine);
    // The reader is still at the rate the last run left it at.
    QVERIFY(startSim({QStringLiteral("--baud"), QString::number(rate)}));
    StoredSettings s;
    s.baudRate = stored;
    writeStore(s);
    startWindow();
    MainWindow &w = *m_window;
    QVERIFY2(paneHas(w, QStringLiteral("# Reader Setup:")), qPrintable(paneLines(w).join('\n')));
    QVERIFY(paneHas(w, reportLine));
    QVERIFY(!paneHas(w, QStringLiteral("# Error: Message timeout")));
    QCOMPARE(m_sim->requests(), (QStringList{baudCommand, "01 08 00 10 80 E7 7E 81"}));
    QCOMPARE(w.session().serial().baudRate(), rate);
    QCOMPARE(panel(w, 1), QStringLiteral("Baud: %1").arg(rate));
    for (const QAction *item : control<QMenu>(w, "BaudRate1").actions())
        QCOMPARE(item->isChecked(), QString(item->text()).remove(QLatin1Char('&')).toInt() == rate);
}

void tst_E2eConfig::readerIgnoresTheChange_data()
{
    QTest::addColumn<bool>("atStart");
    QTest::newRow("stored rate at start") << true;
    QTest::newRow("57600 from the menu") << false;
}

void tst_E2eConfig::readerIgnoresTheChange()
{
    QFETCH(bool, atStart);
    // The reader stays at 38400 in both cases: at start it does not even
    // understand the baud command; from the menu it agrees and keeps its rate.
    if (atStart) {
        StoredSettings s;
        s.baudRate = 57600;
        writeStore(s);
        startWindow();
    } else {
        startWindow();
        m_sim->forgetTraffic();
        control<ResponsePane>(*m_window, "memoResponse").clear();
        QVERIFY(m_sim->control(QStringLiteral("fault keeprate")));
        control<QAction>(*m_window, "N576001").trigger();
    }
    MainWindow &w = *m_window;
    // The setup read at 57600 is not understood.
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("# Error: Message timeout")), kTimeoutMs);
    QVERIFY(!paneHas(w, QStringLiteral("# Reader Setup:")));
    QCOMPARE(m_sim->requests(), atStart ? QStringList{} : QStringList{"01 0A 00 10 80 ED 11 00 67 98"});
    // The host keeps the new rate, its item and its panel.
    QCOMPARE(w.session().serial().baudRate(), 57600);
    QVERIFY(control<QAction>(w, "N576001").isChecked());
    QCOMPARE(panel(w, 1), QStringLiteral("Baud: 57600"));

    // Back at the reader's rate, the two understand each other again.
    control<ResponsePane>(w, "memoResponse").clear();
    control<QAction>(w, "N384001").trigger();
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("    Baud: 38400")), kTimeoutMs);
}

void tst_E2eConfig::baudItemKeepsWindowAlive()
{
    startWindow();
    MainWindow &w = *m_window;
    QCOMPARE(w.session().serial().baudRate(), 38400);
    m_sim->forgetTraffic();
    control<ResponsePane>(w, "memoResponse").clear();

    // The item's handler returns at once; while the reader settles, the
    // event loop runs (a timer fires) and the port is still at the old rate.
    bool ranDuringWait = false;
    int rateDuringWait = 0;
    QTimer::singleShot(100, &w, [&] {
        ranDuringWait = true;
        rateDuringWait = w.session().serial().baudRate();
    });
    control<QAction>(w, "N96001").trigger();
    QVERIFY(w.session().changingBaud());
    QTRY_COMPARE_WITH_TIMEOUT(w.session().serial().baudRate(), 9600, kAnswerMs);
    QVERIFY(ranDuringWait);
    QCOMPARE(rateDuringWait, 38400);
    QCOMPARE(panel(w, 1), QStringLiteral("Baud: 9600"));
    QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("    Baud: 9600")), kAnswerMs);
    QCOMPARE(m_sim->requests(), (QStringList{"01 0A 00 10 80 ED 0E 00 78 87", "01 08 00 10 80 E7 7E 81"}));
    // The reader's answer to the baud command came within the wait: no
    // time-out is reported for it.
    QVERIFY(!paneHas(w, QStringLiteral("# Error: Message timeout")));
}

void tst_E2eConfig::commandsOnTheWire_data()
{
    QTest::addColumn<QString>("name"); // object name of the button or menu item
    QTest::addColumn<int>("dialogs");
    QTest::addColumn<QString>("wire");
    QTest::addColumn<QStringList>("report");

    QTest::newRow("Wiegand ISO 15693 UID 32-Bit, AFI Medical A")
        << "btnWgnMode" << 1 << "01 0B 00 10 80 ED 0A 02 5A 25 DA" << QStringList{};
    QTest::newRow("Wiegand... Off") << "Wiegand1" << 1 << "01 0B 00 10 80 ED 0C 00 00 7B 84" << QStringList{};
    QTest::newRow("Encryption defaults")
        << "Encryption1" << 1 << "01 11 00 10 80 EC 00 00 00 00 00 00 00 00 00 6C 93"
        << QStringList{"# Set Reader Encryption Options", "    Encryption parameters set"};
    QTest::newRow("Audio/LED audio only") << "AudioLED1" << 1 << "01 0A 00 10 80 ED 07 08 79 86" << QStringList{};
    QTest::newRow("Activate LED green 100")
        << "LED1" << 1 << "01 0C 00 10 80 EE 00 02 14 00 65 9A"
        << QStringList{"# Activate Reader LED:", "    Command successful"};
    QTest::newRow("Activate Audio 7") << "Audio1" << 1 << "01 0B 00 10 80 EF 00 01 00 74 8B"
                                      << QStringList{"# Activate Reader Audio:", "    Command successful"};
    QTest::newRow("RF On") << "btnTransOn" << 0 << "01 0A 00 10 80 ED 04 00 72 8D" << QStringList{};
    QTest::newRow("RF Off") << "btnTransOff" << 0 << "01 0A 00 10 80 ED 03 00 75 8A" << QStringList{};
}

void tst_E2eConfig::commandsOnTheWire()
{
    QFETCH(QString, name);
    QFETCH(int, dialogs);
    QFETCH(QString, wire);
    QFETCH(QStringList, report);
    startWindow();
    MainWindow &w = *m_window;
    auto &pane = control<ResponsePane>(w, "memoResponse");
    m_sim->forgetTraffic();
    pane.clear();

    m_dialogs.script = [](QDialog &d) {
        if (d.objectName() == QLatin1String("frmWgn")) {
            auto &wiegand = as<WiegandDialog>(d);
            if (wiegand.modeIndex() == 0 && !wiegand.isoOptionsGroup->isVisible()) {
                // First showing after a start: "Off", no ISO options.
                wiegand.modeCombo->setCurrentIndex(3);
                wiegand.useAfiCheck->click();
                wiegand.afiFamilyCombo->setCurrentIndex(5);
                wiegand.afiSubcategoryEdit->setText(QStringLiteral("A"));
            }
        } else if (d.objectName() == QLatin1String("frmEncOptions")) {
            auto &enc = as<EncryptionDialog>(d);
            enc.useDefaultKeyCheck->click();
            enc.keyEdit->setText(QStringLiteral("12"));
            enc.defaultsButton->click();
        } else if (d.objectName() == QLatin1String("frmLEDAudio")) {
            as<AudioLedDialog>(d).ledCheck->click();
        } else if (d.objectName() == QLatin1String("frmActivateLED")) {
            as<ActivateLedDialog>(d).colourCombo->setCurrentIndex(1);
        } else if (d.objectName() == QLatin1String("frmActivateAudio")) {
            as<ActivateAudioDialog>(d).timeEdit->setText(QStringLiteral("7"));
        }
        as<ConfigDialog>(d).okButton->click();
    };
    if (name == QLatin1String("Wiegand1")) {
        // Off, chosen through Defaults after another mode was sent.
        m_dialogs.script = [](QDialog &d) {
            auto &wiegand = as<WiegandDialog>(d);
            wiegand.modeCombo->setCurrentIndex(4);
            wiegand.defaultsButton->click();
            wiegand.okButton->click();
        };
    }

    const bool wiegand = name == QLatin1String("btnWgnMode") || name == QLatin1String("Wiegand1");
    if (name == QLatin1String("btnWgnMode")) {
        auto &button = control<QToolButton>(w, name);
        QVERIFY(button.isEnabled());
        button.click();
    } else {
        auto &item = control<QAction>(w, name);
        QVERIFY(item.isEnabled());
        item.trigger();
    }
    QCOMPARE(m_dialogs.shown, dialogs);
    QVERIFY(m_sim->waitForRequests(1));
    QCOMPARE(m_sim->requests().first(), wire);
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kAnswerMs);
    QVERIFY(m_prompt->messages.isEmpty());
    // A separator line and the report, or only the separator for 0xED.
    const QStringList lines = paneLines(w);
    QCOMPARE(lines.mid(0, report.size()), report);
    QCOMPARE(lines.size(), report.size() + 1);
    if (name == QLatin1String("btnTransOn"))
        QVERIFY(control<QAction>(w, "btnTransOn").isChecked() && !control<QAction>(w, "btnTransOff").isChecked());
    if (name == QLatin1String("AudioLED1"))
        QVERIFY(w.session().options().audioOn && !w.session().options().ledOn);
    if (wiegand) {
        // The reader's setup now reports what was sent.
        pane.clear();
        control<QToolButton>(w, "btnSetup").click();
        QTRY_VERIFY_WITH_TIMEOUT(paneHas(w, QStringLiteral("# Reader Setup:")), kAnswerMs);
        if (name == QLatin1String("btnWgnMode")) {
            QVERIFY(paneHas(w, QStringLiteral("    Wiegand mode ON - Read ISO 15693 tags")));
            QVERIFY(paneHas(w, QStringLiteral("    AFI: 5A - Medical")));
        } else {
            QVERIFY(paneHas(w, QStringLiteral("    Wiegand mode OFF")));
        }
    }
}

void tst_E2eConfig::refusedInputSendsNothing_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("message");
    QTest::newRow("LED time abc") << "frmActivateLED" << "'abc' is not a valid integer value";
    QTest::newRow("audio time 1.5") << "frmActivateAudio" << "'1.5' is not a valid integer value";
    QTest::newRow("encryption key with G") << "frmEncOptions" << kInvalidHexMessage;
}

void tst_E2eConfig::refusedInputSendsNothing()
{
    QFETCH(QString, dialog);
    QFETCH(QString, message);
    startWindow();
    MainWindow &w = *m_window;
    auto &repeat = control<QAction>(w, "ContinuousMode1");
    repeat.trigger(); // Repeat on: nothing half-built may be re-sent either
    m_sim->forgetTraffic();
    const int frameBefore = w.session().link().storedLength();
    QVERIFY(frameBefore > 0);
    m_dialogs.script = [](QDialog &d) {
        if (auto *led = qobject_cast<ActivateLedDialog *>(&d))
            led->timeEdit->setText(QStringLiteral("abc"));
        if (auto *audio = qobject_cast<ActivateAudioDialog *>(&d))
            audio->timeEdit->setText(QStringLiteral("1.5"));
        if (auto *enc = qobject_cast<EncryptionDialog *>(&d)) {
            enc->useDefaultKeyCheck->click();
            enc->keyEdit->setText(QStringLiteral("12g4"));
        }
        as<ConfigDialog>(d).okButton->click();
    };
    if (dialog == QLatin1String("frmActivateLED"))
        control<QAction>(w, "LED1").trigger();
    else if (dialog == QLatin1String("frmActivateAudio"))
        control<QAction>(w, "Audio1").trigger();
    else
        control<QAction>(w, "Encryption1").trigger();
    QCOMPARE(m_prompt->messages, QStringList{message});
    if (dialog == QLatin1String("frmEncOptions")) {
        QCOMPARE(control<EncryptionDialog>(w, "frmEncOptions").keyEdit->text(), QStringLiteral("12G4"));
        QCOMPARE(w.session().link().storedLength(), 0);
    } else {
        QCOMPARE(w.session().link().storedLength(), frameBefore);
    }
    // A command sent now is the first the reader sees since.
    repeat.trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);
    m_sim->forgetTraffic();
    control<QToolButton>(w, "btnRdrVersion").click();
    QVERIFY(m_sim->waitForRequests(1));
    QCOMPARE(m_sim->requests(), QStringList{"01 08 00 10 80 E0 79 86"});
}

void tst_E2eConfig::addressedModeFromDialog()
{
    startWindow();
    MainWindow &w = *m_window;
    auto &addressReader = control<QAction>(w, "Addressreader1");
    auto &repeat = control<QAction>(w, "ContinuousMode1");
    m_dialogs.script = [](QDialog &d) {
        auto &address = as<AddressDialog>(d);
        address.addressCheck->setChecked(true);
        address.serialNumberEdit->setText(QStringLiteral("4000123"));
        address.okButton->click();
    };
    addressReader.trigger();
    QCOMPARE(panel(w, 6), QStringLiteral("Address Reader: 4000123"));
    m_sim->forgetTraffic();
    control<ResponsePane>(w, "memoResponse").clear();
    repeat.trigger();
    control<QToolButton>(w, "btnRdrVersion").click();
    QVERIFY(m_sim->waitForRequests(2, kTimeoutMs));
    repeat.trigger();
    // Every frame, Repeat re-sends included, carries the address field.
    for (const QString &frame : m_sim->requests().mid(0, 2))
        QCOMPARE(frame, QStringLiteral("01 10 00 10 A0 E0 34 30 30 30 31 32 33 00 75 8A"));
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);
    QVERIFY(paneHas(w, QStringLiteral("    Serial number: 4000123")));

    // Cancel changes nothing.
    m_dialogs.script = [](QDialog &d) {
        as<AddressDialog>(d).addressCheck->setChecked(false);
        as<AddressDialog>(d).cancelButton->click();
    };
    addressReader.trigger();
    QVERIFY(w.session().options().addressReader);
    QCOMPARE(panel(w, 6), QStringLiteral("Address Reader: 4000123"));
}

void tst_E2eConfig::isoOptionsReachTheDataField()
{
    startWindow();
    MainWindow &w = *m_window;
    auto &isoData = *control<IsoPage>(w, "TSISO").dataEdit;
    auto &isoSetup = control<QAction>(w, "ISOSetup1");
    QCOMPARE(isoData.maxLength(), 8);
    m_dialogs.script = [](QDialog &d) {
        auto &iso = as<IsoOptionsDialog>(d);
        iso.blockLengthCombo->setCurrentIndex(1);
        iso.readSpeedCombo->setCurrentIndex(1);
        iso.okButton->click();
    };
    isoSetup.trigger();
    QCOMPARE(w.session().options().isoBlockLength, 1);
    QCOMPARE(int(w.session().options().isoConfig), 0x00);
    QCOMPARE(isoData.maxLength(), 16);

    // Defaults then Cancel: the options byte comes back, the block length not.
    m_dialogs.script = [](QDialog &d) {
        as<IsoOptionsDialog>(d).defaultsButton->click();
        as<IsoOptionsDialog>(d).cancelButton->click();
    };
    isoSetup.trigger();
    QCOMPARE(int(w.session().options().isoConfig), 0x00);
    QCOMPARE(w.session().options().isoBlockLength, 0);
    QCOMPARE(isoData.maxLength(), 8);
}

void tst_E2eConfig::settingsSurviveRestarts()
{
    startWindow();
    MainWindow &w = *m_window;
    QCOMPARE(w.minimumHeight(), 480);
    m_dialogs.script = [](QDialog &d) {
        auto &address = as<AddressDialog>(d);
        address.addressCheck->setChecked(true);
        address.serialNumberEdit->setText(QStringLiteral("4000123"));
        address.okButton->click();
    };
    control<QAction>(w, "Addressreader1").trigger();
    w.session().options().isoBlockLength = 1;
    w.session().options().isoConfig = 0x0B;
    w.session().options().useAfi = true;
    w.session().options().isoAfiCategory = 3;
    w.session().options().isoAfiValue = 1;
    w.resize(700, 560);
    w.move(30, 40);
    const int designHeight = w.height();
    control<QAction>(w, "DebugMode1").trigger();
    QCOMPARE(w.minimumHeight(), 600);
    QCOMPARE(w.height(), designHeight + 120);

    // Several starts and closes keep the height: the stored one is without
    // the view, and the view adds to it again at each start.
    for (int run = 0; run < 3; ++run) {
        restartWindow();
        MainWindow &again = *m_window;
        QVERIFY(control<QAction>(again, "DebugMode1").isChecked());
        QVERIFY(control<LinePane>(again, "rchEditAPDLog").isVisible());
        QCOMPARE(again.minimumHeight(), 600);
        QCOMPARE(again.height(), designHeight + 120);
        QCOMPARE(again.width(), 700);
        QCOMPARE(again.pos(), QPoint(30, 40));
        QCOMPARE(panel(again, 6), QStringLiteral("Address Reader: 4000123"));
        QVERIFY(again.session().options().addressReader);
        QCOMPARE(int(again.session().options().isoConfig), 0x0B);
        QVERIFY(again.session().options().useAfi);
        QCOMPARE(int(again.session().options().afiByte()), 0x31);
        QCOMPARE(control<IsoPage>(again, "TSISO").dataEdit->maxLength(), 16); // "ISO Blk Len" 1
        QCOMPARE(control<WiegandDialog>(again, "frmWgn").modeIndex(), 0);
    }
    // Addressed from the start: the setup read at start was addressed too.
    QCOMPARE(m_sim->requests().value(1), QStringLiteral("01 10 00 10 A0 E7 34 30 30 30 31 32 33 00 72 8D"));

    // View off: the height stays as it is over further runs.
    control<QAction>(*m_window, "DebugMode1").trigger();
    QCOMPARE(m_window->minimumHeight(), 480);
    for (int run = 0; run < 2; ++run) {
        restartWindow();
        QVERIFY(!control<QAction>(*m_window, "DebugMode1").isChecked());
        QCOMPARE(m_window->height(), designHeight);
        QCOMPARE(m_window->minimumHeight(), 480);
    }
}

void tst_E2eConfig::firstRunWritesTheStore()
{
    QVERIFY(!QFile::exists(settingsFilePath()));
    startWindow();
    MainWindow &w = *m_window;
    QCOMPARE(w.size(), QSize(678, 583));
    QVERIFY(portItem(w, QStringLiteral("COM1"))->isChecked());
    QCOMPARE(w.session().serial().baudRate(), 38400);
    QVERIFY(control<QAction>(w, "N384001").isChecked());
    QVERIFY(!control<LinePane>(w, "rchEditAPDLog").isVisible());
    QCOMPARE(panel(w, 6), QString());
    QVERIFY(w.firmwareUpgrade().firmwareFolder.endsWith(QStringLiteral("firmware")));
    QVERIFY(QFileInfo(w.firmwareUpgrade().firmwareFolder).isDir());
    w.close();
    const QByteArray text = fileBytes(settingsFilePath());
    QVERIFY(!text.isEmpty());
    for (const char *line : {"[Com]", "Com Method=0", "Port Number=1", "[Baud]", "Baud rate=38400", "[Settings]",
                             "DebugOn=0", "Height=583", "Width=678", "[Iso Cgf]", "ISO Config=2", "ISO AFI Val=0",
                             "use AFI=0", "address rdr=0", "rdr serial number="})
        QVERIFY2(text.contains(QByteArray(line) + '\n'), line);
}

void tst_E2eConfig::damagedStoreGivesDefaults()
{
    QVERIFY(QDir().mkpath(QFileInfo(settingsFilePath()).absolutePath()));
    QVERIFY(writeBytes(settingsFilePath(), "[Baud]\nBaud rate=9600\n[Settings\x01garbage"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("settings file .* is damaged")));
    startWindow();
    QCOMPARE(m_window->session().serial().baudRate(), 38400); // not the 9600 of the damaged file
    m_window->close();
    const LoadedSettings reread = loadSettingsFile(settingsFilePath());
    QCOMPARE(reread.problem, QString());
    QCOMPARE(reread.settings.baudRate, 38400);
}

void tst_E2eConfig::usbMethodSendsNothing()
{
    StoredSettings s;
    s.comMethod = 1;
    writeStore(s);
    startWindow(false);
    MainWindow &w = *m_window;
    QVERIFY(control<QAction>(w, "USB1").isChecked());
    QVERIFY(!control<QAction>(w, "ComPort1").isChecked());
    QVERIFY(!control<QToolButton>(w, "btnSend").isEnabled());
    QVERIFY(!control<QToolButton>(w, "btnWgnMode").isEnabled());
    QVERIFY(!control<QMenu>(w, "BaudRate1").menuAction()->isEnabled());
    QCOMPARE(panel(w, 0), QStringLiteral("USB"));
    // The simulator's USB library is on the search path, but this simulator
    // is no USB reader.
    QCOMPARE(panel(w, 1), QStringLiteral("Device not found"));
    QVERIFY(w.session().usb().isLoaded());
    QVERIFY(!w.session().serial().isOpen());
    QVERIFY(m_prompt->messages.isEmpty());
    QVERIFY(m_sim->control(QStringLiteral("state")));
    QCOMPARE(m_sim->requests(), QStringList{});
    w.close();
    QCOMPARE(loadSettingsFile(settingsFilePath()).settings.comMethod, 1);

    // The next run goes back to the serial port by the menu.
    m_window.reset();
    startWindow(false);
    MainWindow &again = *m_window;
    QVERIFY(control<QAction>(again, "USB1").isChecked());
    control<QAction>(again, "ComPort1").trigger();
    QVERIFY(control<QToolButton>(again, "btnSend").isEnabled());
    QVERIFY(control<QMenu>(again, "BaudRate1").menuAction()->isEnabled());
    QCOMPARE(panel(again, 1), QStringLiteral("Baud: 38400"));
    QCOMPARE(statusPanel(again, 1).toolTip(), QString());
    again.close();
    QCOMPARE(loadSettingsFile(settingsFilePath()).settings.comMethod, 0);
}

void tst_E2eConfig::storedPortFallsBack_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("com1Present");
    QTest::newRow("absent COM5, COM1 listed") << 5 << true;
    QTest::newRow("absent COM3, no COM1") << 3 << false;
}

void tst_E2eConfig::storedPortFallsBack()
{
    QFETCH(int, stored);
    QFETCH(bool, com1Present);
    if (!com1Present) {
        QVERIFY(startSim({QStringLiteral("--port"), QStringLiteral("COM2")}));
    }
    // Entries whose device is missing make those ports absent.
    const QString folder = portFolder();
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::link(QStringLiteral("/nonexistent/vexa-port"), folder + QStringLiteral("/COM%1").arg(stored)));
    if (!com1Present)
        QVERIFY(QFile::link(QStringLiteral("/nonexistent/vexa-port"), folder + QStringLiteral("/COM1")));
    StoredSettings s;
    s.portNumber = stored;
    writeStore(s);
    startWindow(com1Present);
    MainWindow &w = *m_window;
    if (com1Present) {
        QVERIFY(portItem(w, QStringLiteral("COM1"))->isChecked());
        QCOMPARE(panel(w, 0), QStringLiteral("COM1"));
        QCOMPARE(w.session().serial().portNumber(), 1);
        QVERIFY(paneHas(w, QStringLiteral("# Reader Setup:")));
    } else {
        // No port: start-up goes on quietly and sends nothing.
        QCOMPARE(w.session().serial().portNumber(), 0);
        QVERIFY(!w.session().serial().isOpen());
        QVERIFY(m_prompt->messages.isEmpty());
        QVERIFY(portItem(w, QStringLiteral("COM2")));
        QVERIFY(!portItem(w, QStringLiteral("COM2"))->isChecked());
        QCOMPARE(panel(w, 1), QStringLiteral("Baud: 38400"));
        QVERIFY(m_sim->control(QStringLiteral("state")));
        QCOMPARE(m_sim->requests(), QStringList{});
        w.close();
        // The operator's port is kept for a run where it is back.
        QCOMPARE(loadSettingsFile(settingsFilePath()).settings.portNumber, stored);
    }
}

QTEST_MAIN(tst_E2eConfig)
#include "tst_e2e_config.moc"
