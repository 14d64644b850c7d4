// The configuration dialogs on their own: what Defaults, Cancel, the close
// box and OK do to the options they are handed, and what they keep between
// showings.
#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "core/util/hextext.h"
#include "ui/dialogs/activateaudiodialog.h"
#include "ui/dialogs/activateleddialog.h"
#include "ui/dialogs/addressdialog.h"
#include "ui/dialogs/audioleddialog.h"
#include "ui/dialogs/encryptiondialog.h"
#include "ui/dialogs/isooptionsdialog.h"
#include "ui/dialogs/wieganddialog.h"
#include "fakes.h"
#include "ui/window/sessionstatus.h"

using namespace vexa;
using vexa::test::ScriptedPrompt;

namespace {
ReaderOptions afiOptions()
{
    ReaderOptions o;
    o.useAfi = true;
    o.isoAfiValue = 0x3;
    o.isoAfiCategory = 5;
    return o;
}

void showAndWait(QDialog &dialog)
{
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
}
} // namespace

class tst_ConfigDialogs : public QObject
{
    Q_OBJECT
private slots:
    void wiegandPrepareFromOptions();
    void wiegandModeRule();
    void wiegandUseAfiActsAtOnce();
    void wiegandDefaultsThenCancel_data();
    void wiegandDefaultsThenCancel();
    void wiegandOkTakesAfi();
    void wiegandOkWithBadSubcategory();
    void wiegandKeepsModeBetweenShowings();
    void isoOptionsAccept_data();
    void isoOptionsAccept();
    void isoOptionsPrepare();
    void isoOptionsDefaultsThenCancel();
    void isoOptionsCloseBoxKeepsDefaults();
    void encryptionKeyField();
    void encryptionDefaultsAndCancel();
    void addressDialog();
    void audioLedDefaultsThenCancel();
    void audioLedCloseBoxKeepsDefaults();
    void audioLedOkTakesBoxes();
    void activationDialogs();
};

void tst_ConfigDialogs::wiegandPrepareFromOptions()
{
    ReaderOptions o = afiOptions();
    o.isoAfiValue = 0x0B;
    ScriptedPrompt prompt;
    WiegandDialog d(o, prompt);
    QVERIFY(!d.useAfiCheck->isChecked());
    QVERIFY(!d.afiFamilyCombo->isEnabled());
    d.prepare();
    QVERIFY(d.useAfiCheck->isChecked());
    QVERIFY(d.afiFamilyCombo->isEnabled() && d.afiSubcategoryEdit->isEnabled());
    QCOMPARE(d.afiSubcategoryEdit->text(), QStringLiteral("B"));
    QCOMPARE(d.afiFamilyCombo->currentIndex(), 5);
    QCOMPARE(d.afiFamilyCombo->itemText(3), QStringLiteral("Identification/Access Control (30)"));
    QCOMPARE(d.afiFamilyCombo->itemText(15), QStringLiteral("Future use 3"));
    QCOMPARE(d.objectName(), QStringLiteral("frmWgn"));
    QCOMPARE(d.windowTitle(), QStringLiteral("Select Wiegand Mode"));
}

void tst_ConfigDialogs::wiegandModeRule()
{
    ReaderOptions o;
    ScriptedPrompt prompt;
    WiegandDialog d(o, prompt);
    d.selectMode(0);
    showAndWait(d);
    QVERIFY(!d.isoOptionsGroup->isVisible());
    QVERIFY(!d.defaultsButton->isVisible());
    d.modeCombo->setCurrentIndex(3);
    QVERIFY(d.isoOptionsGroup->isVisible());
    QVERIFY(d.defaultsButton->isVisible());
    d.modeCombo->setCurrentIndex(7);
    QVERIFY(!d.isoOptionsGroup->isVisible());
    // Typed over: no item is selected, and the ISO options show.
    d.modeCombo->setEditText(QStringLiteral("something"));
    QCOMPARE(d.modeIndex(), -1);
    QVERIFY(d.isoOptionsGroup->isVisible());
    // Defaults selects "Off" without the rule: the group stays in view.
    d.defaultsButton->click();
    QCOMPARE(d.modeIndex(), 0);
    QCOMPARE(d.modeCombo->currentText(), QStringLiteral("Off"));
    QVERIFY(d.isoOptionsGroup->isVisible());
    d.cancelButton->click();
}

void tst_ConfigDialogs::wiegandUseAfiActsAtOnce()
{
    ReaderOptions o;
    ScriptedPrompt prompt;
    WiegandDialog d(o, prompt);
    d.selectMode(1);
    d.prepare();
    showAndWait(d);
    d.useAfiCheck->click();
    QVERIFY(o.useAfi);
    QVERIFY(d.afiFamilyCombo->isEnabled() && d.afiSubcategoryEdit->isEnabled());
    d.useAfiCheck->click();
    QVERIFY(!o.useAfi);
    QVERIFY(!d.afiFamilyCombo->isEnabled() && !d.afiSubcategoryEdit->isEnabled());
    d.close();
}

void tst_ConfigDialogs::wiegandDefaultsThenCancel_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("restored");
    QTest::newRow("Cancel button") << "cancel" << true;
    QTest::newRow("Esc key") << "esc" << true;
    QTest::newRow("close box") << "close" << false;
}

void tst_ConfigDialogs::wiegandDefaultsThenCancel()
{
    QFETCH(QString, how);
    QFETCH(bool, restored);
    ReaderOptions o = afiOptions();
    ScriptedPrompt prompt;
    WiegandDialog d(o, prompt);
    d.selectMode(2);
    d.prepare();
    showAndWait(d);
    d.defaultsButton->click();
    QVERIFY(!o.useAfi);
    QCOMPARE(int(o.isoAfiValue), 0);
    QCOMPARE(int(o.isoAfiCategory), 0);
    QVERIFY(!d.useAfiCheck->isChecked());
    QCOMPARE(d.afiSubcategoryEdit->text(), QStringLiteral("0"));
    QCOMPARE(d.afiFamilyCombo->currentIndex(), 0);

    if (how == QLatin1String("cancel"))
        d.cancelButton->click();
    else if (how == QLatin1String("esc"))
        QTest::keyClick(&d, Qt::Key_Escape);
    else
        d.close();
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QVERIFY(!d.isVisible());
    const ReaderOptions expected = restored ? afiOptions() : ReaderOptions{};
    QCOMPARE(o.useAfi, expected.useAfi);
    QCOMPARE(int(o.isoAfiValue), int(expected.isoAfiValue));
    QCOMPARE(int(o.isoAfiCategory), int(expected.isoAfiCategory));
}

void tst_ConfigDialogs::wiegandOkTakesAfi()
{
    ReaderOptions o;
    ScriptedPrompt prompt;
    WiegandDialog d(o, prompt);
    d.selectMode(3);
    d.prepare();
    showAndWait(d);
    d.useAfiCheck->click();
    d.afiFamilyCombo->setCurrentIndex(5);
    d.afiSubcategoryEdit->setText(QStringLiteral("a"));
    d.okButton->click();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QVERIFY(o.useAfi);
    QCOMPARE(int(o.isoAfiValue), 0x0A);
    QCOMPARE(int(o.isoAfiCategory), 5);
    QCOMPARE(int(o.afiByte()), 0x5A);
    QVERIFY(prompt.messages.isEmpty());
}

void tst_ConfigDialogs::wiegandOkWithBadSubcategory()
{
    ReaderOptions o = afiOptions();
    o.useAfi = false;
    ScriptedPrompt prompt;
    WiegandDialog d(o, prompt);
    d.selectMode(1);
    d.prepare();
    showAndWait(d);
    d.useAfiCheck->click();
    d.afiFamilyCombo->setCurrentIndex(9);
    d.afiSubcategoryEdit->setText(QStringLiteral("G"));
    d.okButton->click();
    // Still accepted, with "Use AFI" taken and the AFI as it was.
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(prompt.messages, QStringList{kInvalidHexMessage});
    QVERIFY(o.useAfi);
    QCOMPARE(int(o.isoAfiValue), 3);
    QCOMPARE(int(o.isoAfiCategory), 5);
}

void tst_ConfigDialogs::wiegandKeepsModeBetweenShowings()
{
    ReaderOptions o;
    ScriptedPrompt prompt;
    WiegandDialog d(o, prompt);
    d.selectMode(0);
    showAndWait(d);
    d.modeCombo->setCurrentIndex(8);
    d.okButton->click();
    showAndWait(d);
    QCOMPARE(d.modeIndex(), 8);
    QVERIFY(!d.isoOptionsGroup->isVisible());
    d.cancelButton->click();
    showAndWait(d);
    QCOMPARE(d.modeIndex(), 8);
    d.close();
}

void tst_ConfigDialogs::isoOptionsAccept_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<QList<int>>("items"); // downlink, speed, tx, rx, block length
    QTest::addColumn<int>("isoConfig");
    QTest::addColumn<int>("blockLength");
    QTest::newRow("1 of 256, Slow, 10%, ASK") << 2 << QList<int>{1, 1, 1, 1, 0} << 0x0C << 0;
    QTest::newRow("1 of 4, Fast, 100%, FSK") << 2 << QList<int>{0, 0, 0, 0, 0} << 0x03 << 0;
    QTest::newRow("high bits kept") << 0xF2 << QList<int>{0, 1, 0, 1, 1} << 0xF9 << 1;
    QTest::newRow("64 Bits") << 2 << QList<int>{1, 0, 0, 0, 1} << 0x02 << 1;
}

void tst_ConfigDialogs::isoOptionsAccept()
{
    QFETCH(int, stored);
    QFETCH(QList<int>, items);
    QFETCH(int, isoConfig);
    QFETCH(int, blockLength);
    ReaderOptions o;
    o.isoConfig = uint8_t(stored);
    IsoOptionsDialog d(o);
    d.prepare();
    showAndWait(d);
    const QList<QComboBox *> lists{d.downlinkCombo, d.readSpeedCombo, d.txModulationCombo, d.rxModulationCombo,
                                   d.blockLengthCombo};
    for (int i = 0; i < lists.size(); ++i)
        lists[i]->setCurrentIndex(items[i]);
    d.okButton->click();
    QCOMPARE(int(o.isoConfig), isoConfig);
    QCOMPARE(o.isoBlockLength, blockLength);
}

void tst_ConfigDialogs::isoOptionsPrepare()
{
    ReaderOptions o;
    o.isoConfig = 0x0C; // 1 of 256, Slow, 10%, ASK
    o.isoBlockLength = 1;
    IsoOptionsDialog d(o);
    d.prepare();
    QCOMPARE(d.downlinkCombo->currentText(), QStringLiteral("1 of 256"));
    QCOMPARE(d.readSpeedCombo->currentText(), QStringLiteral("Slow"));
    QCOMPARE(d.txModulationCombo->currentText(), QStringLiteral("10%"));
    QCOMPARE(d.rxModulationCombo->currentText(), QStringLiteral("ASK"));
    QCOMPARE(d.blockLengthCombo->currentText(), QStringLiteral("64 Bits"));
    o.isoConfig = 0x03;
    o.isoBlockLength = 0;
    d.prepare();
    QCOMPARE(d.downlinkCombo->currentText(), QStringLiteral("1 of 4"));
    QCOMPARE(d.readSpeedCombo->currentText(), QStringLiteral("Fast"));
    QCOMPARE(d.txModulationCombo->currentText(), QStringLiteral("100%"));
    QCOMPARE(d.rxModulationCombo->currentText(), QStringLiteral("FSK"));
    QCOMPARE(d.blockLengthCombo->currentText(), QStringLiteral("32 Bits"));
}

void tst_ConfigDialogs::isoOptionsDefaultsThenCancel()
{
    ReaderOptions o;
    o.isoConfig = 0x0C;
    o.isoBlockLength = 1;
    IsoOptionsDialog d(o);
    d.prepare();
    showAndWait(d);
    d.defaultsButton->click();
    QCOMPARE(int(o.isoConfig), 3);
    QCOMPARE(o.isoBlockLength, 0);
    d.cancelButton->click();
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QCOMPARE(int(o.isoConfig), 0x0C);
    QCOMPARE(o.isoBlockLength, 0); // not restored
}

void tst_ConfigDialogs::isoOptionsCloseBoxKeepsDefaults()
{
    ReaderOptions o;
    o.isoConfig = 0x0C;
    IsoOptionsDialog d(o);
    d.prepare();
    showAndWait(d);
    d.defaultsButton->click();
    d.close();
    QCOMPARE(int(o.isoConfig), 3);
}

void tst_ConfigDialogs::encryptionKeyField()
{
    EncryptionDialog d;
    QVERIFY(d.useDefaultKeyCheck->isChecked());
    QVERIFY(!d.plainTextCheck->isChecked());
    QVERIFY(!d.keyEdit->isEnabled());
    QCOMPARE(d.keyEdit->maxLength(), 16);
    const QColor face = d.palette().color(QPalette::Button);
    const QColor window = d.palette().color(QPalette::Base);
    QVERIFY(face != window);
    QCOMPARE(d.keyEdit->palette().color(QPalette::Base), face);
    showAndWait(d);
    d.useDefaultKeyCheck->click();
    QVERIFY(d.useUserKey());
    QVERIFY(d.keyEdit->isEnabled());
    QCOMPARE(d.keyEdit->palette().color(QPalette::Base), window);
    d.keyEdit->setText(QStringLiteral("0123abcdEF"));
    QCOMPARE(d.takeKeyText(), QStringLiteral("0123ABCDEF"));
    QCOMPARE(d.keyEdit->text(), QStringLiteral("0123ABCDEF"));
    d.useDefaultKeyCheck->setChecked(true); // by the program: the field follows too
    QVERIFY(!d.keyEdit->isEnabled());
    QCOMPARE(d.keyEdit->palette().color(QPalette::Base), face);
    d.close();
}

void tst_ConfigDialogs::encryptionDefaultsAndCancel()
{
    EncryptionDialog d;
    showAndWait(d);
    d.useDefaultKeyCheck->click();
    d.plainTextCheck->click();
    d.keyEdit->setText(QStringLiteral("ABC"));
    d.cancelButton->click();
    QCOMPARE(d.result(), int(QDialog::Rejected));
    // Nothing is reset by Cancel: the next showing presents the same state.
    showAndWait(d);
    QVERIFY(d.useUserKey());
    QVERIFY(d.keyEdit->isEnabled());
    QVERIFY(d.plainText());
    d.defaultsButton->click();
    QVERIFY(!d.useUserKey());
    QVERIFY(!d.plainText());
    QVERIFY(!d.keyEdit->isEnabled());
    QCOMPARE(d.keyEdit->text(), QStringLiteral("ABC")); // the key text stays
    d.okButton->click();
    QCOMPARE(d.result(), int(QDialog::Accepted));
}

void tst_ConfigDialogs::addressDialog()
{
    ReaderOptions o;
    o.addressReader = true;
    o.readerSerialNumber = QStringLiteral("4000123");
    AddressDialog d;
    d.prepare(o);
    QVERIFY(d.addressCheck->isChecked());
    QCOMPARE(d.serialNumberEdit->text(), QStringLiteral("4000123"));
    QCOMPARE(d.serialNumberEdit->maxLength(), 7);
    d.addressCheck->setChecked(false);
    d.serialNumberEdit->setText(QStringLiteral("ab 12"));
    d.apply(o);
    QVERIFY(!o.addressReader);
    QCOMPARE(o.readerSerialNumber, QStringLiteral("ab 12")); // as typed
    QCOMPARE(addressPanelText(o), QString());
    o.addressReader = true;
    o.readerSerialNumber = QStringLiteral("1234567");
    QCOMPARE(addressPanelText(o), QStringLiteral("Address Reader: 1234567"));
}

void tst_ConfigDialogs::audioLedDefaultsThenCancel()
{
    ReaderOptions o;
    o.audioOn = false;
    o.ledOn = true;
    AudioLedDialog d(o);
    d.prepare();
    showAndWait(d);
    QVERIFY(!d.audioCheck->isChecked());
    QVERIFY(d.ledCheck->isChecked());
    d.ledCheck->click();
    d.defaultsButton->click();
    QVERIFY(o.audioOn && o.ledOn);
    QVERIFY(d.audioCheck->isChecked() && d.ledCheck->isChecked());
    d.cancelButton->click();
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QVERIFY(!o.audioOn);
    QVERIFY(o.ledOn);
}

void tst_ConfigDialogs::audioLedCloseBoxKeepsDefaults()
{
    ReaderOptions o;
    o.audioOn = false;
    o.ledOn = false;
    AudioLedDialog d(o);
    d.prepare();
    showAndWait(d);
    d.defaultsButton->click();
    d.close();
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QVERIFY(o.audioOn && o.ledOn);
}

void tst_ConfigDialogs::audioLedOkTakesBoxes()
{
    ReaderOptions o;
    AudioLedDialog d(o);
    d.prepare();
    showAndWait(d);
    d.ledCheck->click();
    d.okButton->click();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QVERIFY(o.audioOn);
    QVERIFY(!o.ledOn);
    // Shown again, the boxes follow the options as they are then.
    o.audioOn = false;
    showAndWait(d);
    QVERIFY(!d.audioCheck->isChecked());
    QVERIFY(!d.ledCheck->isChecked());
    d.cancelButton->click();
}

void tst_ConfigDialogs::activationDialogs()
{
    ActivateLedDialog led;
    QCOMPARE(led.colourCombo->currentText(), QStringLiteral("Red"));
    QCOMPARE(led.timeText(), QStringLiteral("100"));
    QVERIFY(led.colour() == LedColour::Red);
    led.colourCombo->setCurrentIndex(2);
    QVERIFY(led.colour() == LedColour::Amber);
    showAndWait(led);
    led.timeEdit->setText(QStringLiteral("250"));
    led.okButton->click();
    QCOMPARE(led.result(), int(QDialog::Accepted));
    showAndWait(led);
    QCOMPARE(led.timeText(), QStringLiteral("250")); // kept between showings
    led.cancelButton->click();
    QCOMPARE(led.result(), int(QDialog::Rejected));

    ActivateAudioDialog audio;
    QCOMPARE(audio.timeText(), QStringLiteral("100"));
    QCOMPARE(audio.objectName(), QStringLiteral("frmActivateAudio"));
    QCOMPARE(audio.timeEdit->objectName(), QStringLiteral("edtAudioTime"));
}

QTEST_MAIN(tst_ConfigDialogs)
#include "tst_configdialogs.moc"
