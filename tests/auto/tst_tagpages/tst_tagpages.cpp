// The three tag pages driven through their controls: option panels, checks
// before sending, what reaches the transport, and what never does.
#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QTableWidget>

#include "fakes.h"
#include "core/link/readerlink.h"
#include "core/session/readersession.h"
#include "core/util/fieldlimits.h"
#include "core/util/hextext.h"
#include "ui/pages/commandlist.h"
#include "ui/pages/fieldedit.h"
#include "ui/pages/iso14443page.h"
#include "ui/pages/isopage.h"
#include "ui/pages/tagitpage.h"

using namespace vexa;
using vexa::test::FakeTransport;
using vexa::test::hex;
using vexa::test::ScriptedPrompt;

namespace {

// Clicks item `index` of a "Command Type" group as the operator would.
void choose(CommandList *list, int index)
{
    const auto buttons = list->findChildren<QRadioButton *>();
    QVERIFY(index < buttons.size());
    buttons.at(index)->click();
    QCOMPARE(list->itemIndex(), index);
}

QString gridText(QTableWidget *grid, int row, int column)
{
    const QTableWidgetItem *item = grid->item(row, column);
    return item ? item->text() : QString();
}

QByteArray stored(const ReaderLink &link)
{
    return link.storedFrame();
}

// The report the session makes of an answer, as the window shows it with
// `page` in view.
Report reportOf(ReaderSession &session, TagPage page, const QByteArray &frame)
{
    session.setVisiblePage(page);
    std::optional<Report> report;
    const auto c = QObject::connect(&session, &ReaderSession::answered, [&](const Answer &a) { report = a.report; });
    QByteArray checked = frame;
    writeFrameCheck(reinterpret_cast<uint8_t *>(checked.data()), int(checked.size()));
    session.link().onBytesAvailable(checked);
    if (!QTest::qWaitFor([&] { return report.has_value(); }, 10000))
        qWarning("no answer came");
    QObject::disconnect(c);
    return report.value_or(Report{});
}

} // namespace

class TestTagPages : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void isoPanel_data();
    void isoPanel();
    void isoAfiGroup();
    void isoUseUid();
    void isoWriteGrid();
    void isoBlockNumberExit();
    void isoUpperCaseOnExit();
    void isoSendViewOneBlock();
    void isoSendUpperCasesAndReverses();
    void isoBlockLength();
    void isoProgramManyBlocksFromGrid();
    void isoRefused_data();
    void isoRefused();
    void isoLockConfirmations_data();
    void isoLockConfirmations();
    void isoReportFollowsBlockLength();

    void tagitStart();
    void tagitPanel_data();
    void tagitPanel();
    void tagitInventoryKeepsPanel();
    void tagitComboChecks();
    void tagitUseAddress();
    void tagitSendWriteMultiBlock();
    void tagitRefused_data();
    void tagitRefused();
    void tagitLockConfirmation();
    void tagitAddressUpperCased();
    void tagitCorruptedReport();

    void iso14443Send();
    void iso14443Report();

    void inputsAreNamed();

private:
    FakeTransport *m_transport = nullptr;
    ReaderSession *m_session = nullptr;
    ReaderLink *m_link = nullptr; // the session's
    ScriptedPrompt *m_prompt = nullptr;
    IsoPage *m_iso = nullptr;
    TagitPage *m_tagit = nullptr;
    Iso14443Page *m_14443 = nullptr;
};

void TestTagPages::init()
{
    m_transport = new FakeTransport;
    m_prompt = new ScriptedPrompt;
    m_session = new ReaderSession(*m_prompt);
    m_link = &m_session->link();
    m_link->setTransport(m_transport);
    const TagContext context{*m_session, m_session->options(), *m_prompt};
    m_iso = new IsoPage(context);
    m_iso->showCommandOptions(); // as the main window does at start
    m_tagit = new TagitPage(context);
    m_14443 = new Iso14443Page(context);
}

void TestTagPages::cleanup()
{
    delete m_iso;
    delete m_tagit;
    delete m_14443;
    delete m_session;
    delete m_transport;
    delete m_prompt;
}

// --- ISO/IEC 15693 ---------------------------------------------------------

void TestTagPages::isoPanel_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("blockLength");
    QTest::addColumn<QString>("shown"); // U UID, B block, D data, N count, W grid, A AFI
    QTest::addColumn<int>("dataLimit");
    QTest::newRow("view one block") << 0 << 0 << "UB" << 8;
    QTest::newRow("view many blocks") << 1 << 0 << "UBN" << 8;
    QTest::newRow("view factory data") << 2 << 0 << "U" << 8;
    QTest::newRow("program one block") << 3 << 0 << "UBD" << 8;
    QTest::newRow("program one block, 8-byte blocks") << 3 << 1 << "UBD" << 16;
    QTest::newRow("program many blocks") << 4 << 0 << "UBNW" << 8;
    QTest::newRow("program AFI") << 5 << 0 << "UA" << 8;
    QTest::newRow("program DSFID") << 6 << 0 << "UD" << 2;
    QTest::newRow("program DSFID, 8-byte blocks") << 6 << 1 << "UD" << 2;
    QTest::newRow("lock one block") << 7 << 0 << "UB" << 8;
    QTest::newRow("lock AFI") << 8 << 0 << "U" << 8;
    QTest::newRow("lock DSFID") << 9 << 0 << "U" << 8;
    QTest::newRow("view lock status") << 10 << 0 << "UBN" << 8;
    QTest::newRow("inventory") << 11 << 1 << "A" << 16;
}

void TestTagPages::isoPanel()
{
    QFETCH(int, item);
    QFETCH(int, blockLength);
    QFETCH(QString, shown);
    QFETCH(int, dataLimit);
    m_session->options().isoBlockLength = blockLength;
    m_iso->dataEdit->setText(QStringLiteral("12"));
    choose(m_iso->commandList, 4); // every group shown once before
    choose(m_iso->commandList, 5);
    choose(m_iso->commandList, item);

    QCOMPARE(!m_iso->uidGroup->isHidden(), shown.contains('U'));
    QCOMPARE(!m_iso->blockNumberGroup->isHidden(), shown.contains('B'));
    QCOMPARE(!m_iso->dataGroup->isHidden(), shown.contains('D'));
    QCOMPARE(!m_iso->blockCountGroup->isHidden(), shown.contains('N'));
    QCOMPARE(!m_iso->writeBlocksGroup->isHidden(), shown.contains('W'));
    QCOMPARE(!m_iso->afiGroup->isHidden(), shown.contains('A'));
    QCOMPARE(m_iso->dataEdit->maxLength(), dataLimit);
    QVERIFY(m_iso->dataEdit->text().isEmpty());
}

void TestTagPages::isoAfiGroup()
{
    choose(m_iso->commandList, 11);
    QVERIFY(!m_iso->useAfiCheck->isHidden());
    QVERIFY(!m_iso->afiFamilyCombo->isEnabled());
    QVERIFY(!m_iso->afiValueEdit->isEnabled());
    m_iso->useAfiCheck->click();
    QVERIFY(m_iso->afiFamilyCombo->isEnabled());
    QVERIFY(m_iso->afiValueEdit->isEnabled());
    m_iso->useAfiCheck->click();

    // Program AFI always uses the family and subcategory, without "Use AFI".
    choose(m_iso->commandList, 5);
    QVERIFY(m_iso->useAfiCheck->isHidden());
    QVERIFY(m_iso->afiFamilyCombo->isEnabled());
    QVERIFY(m_iso->afiValueEdit->isEnabled());

    choose(m_iso->commandList, 11);
    QVERIFY(!m_iso->afiFamilyCombo->isEnabled());
    QVERIFY(!m_iso->afiValueEdit->isEnabled());
}

void TestTagPages::isoUseUid()
{
    QVERIFY(!m_iso->uidEdit->isEnabled());
    m_iso->useUidCheck->click();
    QVERIFY(m_iso->uidEdit->isEnabled());
    m_iso->useUidCheck->click();
    QVERIFY(!m_iso->uidEdit->isEnabled());
    // vexactl holds --uid to the same entry.
    QCOMPARE(m_iso->uidEdit->maxLength(), fields::kIsoUid.maxLength);
}

void TestTagPages::isoWriteGrid()
{
    QTableWidget *grid = m_iso->writeBlocksGrid;
    m_iso->blockNumberEdit->setText(QStringLiteral("10"));
    m_iso->blockCountEdit->setText(QStringLiteral("3"));
    choose(m_iso->commandList, 4);
    QCOMPARE(grid->rowCount(), 4);
    QCOMPARE(gridText(grid, 0, 0), QStringLiteral("Block"));
    QCOMPARE(gridText(grid, 0, 1), QStringLiteral("Value"));
    QCOMPARE(gridText(grid, 1, 0), QStringLiteral("10"));
    QCOMPARE(gridText(grid, 3, 0), QStringLiteral("12"));

    grid->item(2, 1)->setText(QStringLiteral("ABCD"));
    m_iso->blockCountEdit->setText(QStringLiteral("5"));
    QCOMPARE(grid->rowCount(), 6);
    QCOMPARE(gridText(grid, 2, 1), QStringLiteral("ABCD")); // typed values stay
    // A value cell takes the 8 digits a value holds, as vexactl does.
    grid->editItem(grid->item(1, 1));
    auto *cellEditor = grid->findChild<QLineEdit *>();
    QVERIFY(cellEditor);
    QTest::keyClicks(cellEditor, QStringLiteral("123456789"));
    QCOMPARE(cellEditor->text().size(), fields::kIsoGridValue.maxLength);
    grid->closePersistentEditor(grid->item(1, 1));
    m_iso->blockNumberEdit->setText(QStringLiteral("20"));
    QCOMPARE(gridText(grid, 1, 0), QStringLiteral("20"));
    QCOMPARE(gridText(grid, 5, 0), QStringLiteral("24"));

    // Half-typed numbers leave the grid alone; other commands never touch it.
    m_iso->blockCountEdit->setText(QString());
    QCOMPARE(grid->rowCount(), 6);
    choose(m_iso->commandList, 1);
    m_iso->blockCountEdit->setText(QStringLiteral("2"));
    QCOMPARE(grid->rowCount(), 6);
    QVERIFY(m_prompt->messages.isEmpty());
}

void TestTagPages::isoBlockNumberExit()
{
    m_iso->blockNumberEdit->setText(QStringLiteral("255"));
    m_iso->checkBlockNumberField();
    QVERIFY(m_prompt->messages.isEmpty());
    m_iso->blockNumberEdit->setText(QStringLiteral("256"));
    m_iso->checkBlockNumberField();
    QCOMPARE(m_prompt->messages, QStringList{"Maximum block number is 255, please re-enter."});
    QCOMPARE(m_iso->blockNumberEdit->text(), QStringLiteral("256"));
}

// Leaving a field for another control of the window, through real focus.
void TestTagPages::isoUpperCaseOnExit()
{
    m_iso->show();
    m_iso->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_iso));
    choose(m_iso->commandList, 3);
    m_iso->useUidCheck->click();
    m_iso->uidEdit->setFocus();
    QTRY_VERIFY(m_iso->uidEdit->hasFocus());
    m_iso->uidEdit->setText(QStringLiteral("e0a1"));
    m_iso->dataEdit->setFocus();
    QTRY_COMPARE(m_iso->uidEdit->text(), QStringLiteral("E0A1"));
    m_iso->dataEdit->setText(QStringLiteral("ab12cd"));
    m_iso->blockNumberEdit->setFocus();
    QTRY_COMPARE(m_iso->dataEdit->text(), QStringLiteral("AB12CD"));

    // Leaving the block number with 300 brings the message and the focus back.
    m_iso->blockNumberEdit->setText(QStringLiteral("300"));
    m_iso->dataEdit->setFocus();
    QTRY_COMPARE(m_prompt->messages, QStringList{"Maximum block number is 255, please re-enter."});
    QTRY_VERIFY(m_iso->blockNumberEdit->hasFocus());
}

void TestTagPages::isoSendViewOneBlock()
{
    choose(m_iso->commandList, 0);
    m_iso->blockNumberEdit->setText(QStringLiteral("7"));
    m_iso->sendIsoCommand();
    QCOMPARE(m_link->storedLength(), 9);
    QCOMPARE(stored(*m_link).left(7), hex("01 09 00 10 22 20 07"));
    QCOMPARE(m_transport->written, QList<QByteArray>{hex("01 09 00 10 82 20 07 BD 42")});
    QVERIFY(m_prompt->messages.isEmpty());
}

void TestTagPages::isoSendUpperCasesAndReverses()
{
    choose(m_iso->commandList, 3);
    m_iso->useUidCheck->click();
    m_iso->uidEdit->setText(QStringLiteral("e00401"));
    m_iso->blockNumberEdit->setText(QStringLiteral("5"));
    m_iso->dataEdit->setText(QStringLiteral("aabbccdd"));
    m_iso->sendIsoCommand();
    QCOMPARE(m_iso->uidEdit->text(), QStringLiteral("E00401"));
    QCOMPARE(m_iso->dataEdit->text(), QStringLiteral("AABBCCDD"));
    QCOMPARE(m_link->storedLength(), 21);
    const QByteArray frame = stored(*m_link);
    QCOMPARE(frame.mid(11, 3), hex("01 04 E0"));
    QCOMPARE(frame.mid(14, 5), hex("05 DD CC BB AA"));
    QCOMPARE(m_transport->written.size(), 1);
}

void TestTagPages::isoBlockLength()
{
    choose(m_iso->commandList, 3);
    m_session->options().isoBlockLength = 1;
    m_iso->applyBlockLength();
    QCOMPARE(m_iso->dataEdit->maxLength(), 16);
    m_iso->dataEdit->setText(QStringLiteral("1122334455667788"));
    m_iso->sendIsoCommand();
    QCOMPARE(m_link->storedLength(), 17);
    QCOMPARE(stored(*m_link).mid(6, 9), hex("00 88 77 66 55 44 33 22 11"));

    // Program DSFID keeps its two digits when the option changes.
    choose(m_iso->commandList, 6);
    m_session->options().isoBlockLength = 0;
    m_iso->applyBlockLength();
    QCOMPARE(m_iso->dataEdit->maxLength(), 2);
    choose(m_iso->commandList, 3);
    QCOMPARE(m_iso->dataEdit->maxLength(), 8);
}

void TestTagPages::isoProgramManyBlocksFromGrid()
{
    m_iso->blockNumberEdit->setText(QStringLiteral("10"));
    m_iso->blockCountEdit->setText(QStringLiteral("3"));
    choose(m_iso->commandList, 4);
    m_iso->writeBlocksGrid->item(1, 1)->setText(QStringLiteral("1"));
    m_iso->writeBlocksGrid->item(3, 1)->setText(QStringLiteral("deadbeef"));
    m_iso->sendIsoCommand();
    QCOMPARE(stored(*m_link).left(20), hex("01 16 00 10 22 24 0A 03 01 00 00 00 00 00 00 00 EF BE AD DE"));
    QCOMPARE(m_transport->written.size(), 1);
}

void TestTagPages::isoRefused_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("uid");      // non-empty: "Use UID" checked
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus"); // object name of the field given the focus

    const QString required = QStringLiteral("Address field is required!");
    QTest::newRow("UID required") << 0 << " " << "0" << "1" << "" << required << "edtISOAddress";
    QTest::newRow("bad UID") << 2 << "E0Z4" << "0" << "1" << "" << kInvalidHexMessage << "edtISOAddress";
    QTest::newRow("data required") << 3 << "" << "0" << "1" << "" << "Data field is required!" << "edtIsoData1";
    QTest::newRow("bad data") << 3 << "" << "0" << "1" << "12 4" << kInvalidHexMessage << "edtIsoData1";
    QTest::newRow("33 blocks to view") << 1 << "" << "0" << "33" << ""
                                       << "Number of blocks must be less than or equal to 32." << "edtNumIsoBlocks";
    QTest::newRow("48 blocks to program") << 4 << "" << "0" << "48" << ""
                                          << "Number of blocks must be less than or equal to 47." << "edtNumIsoBlocks";
    QTest::newRow("block number 300") << 7 << "" << "300" << "1" << ""
                                      << "Maximum block number is 255, please re-enter." << "edtISOBlockNumber";
    QTest::newRow("block number not a number") << 0 << "" << "x" << "1" << ""
                                               << "Block number must be a decimal number." << "edtISOBlockNumber";
    QTest::newRow("count not a number") << 10 << "" << "0" << "" << ""
                                        << "Number of blocks must be a decimal number." << "edtNumIsoBlocks";
}

void TestTagPages::isoRefused()
{
    QFETCH(int, item);
    QFETCH(QString, uid);
    QFETCH(QString, block);
    QFETCH(QString, count);
    QFETCH(QString, data);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    m_iso->uidEdit->setObjectName("edtISOAddress");
    m_iso->dataEdit->setObjectName("edtIsoData1");
    m_iso->blockCountEdit->setObjectName("edtNumIsoBlocks");
    m_iso->blockNumberEdit->setObjectName("edtISOBlockNumber");
    m_iso->show();
    m_iso->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_iso));

    choose(m_iso->commandList, item);
    if (!uid.isEmpty()) {
        m_iso->useUidCheck->click();
        m_iso->uidEdit->setText(uid.trimmed());
    }
    m_iso->blockNumberEdit->setText(block);
    m_iso->blockCountEdit->setText(count);
    m_iso->dataEdit->setText(data);
    m_link->dropStoredFrame();
    m_iso->sendIsoCommand();

    QCOMPARE(m_prompt->messages, QStringList{message});
    QVERIFY(m_transport->written.isEmpty());
    QCOMPARE(m_link->storedLength(), 0);
    QTRY_COMPARE(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(), focus);
}

void TestTagPages::isoLockConfirmations_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("question");
    QTest::addColumn<bool>("yes");
    for (bool yes : {false, true}) {
        const char *answer = yes ? "yes" : "no";
        QTest::addRow("lock one block, %s", answer) << 7 << "Locked blocks can not be 'Unlocked', continue?" << yes;
        QTest::addRow("lock AFI, %s", answer) << 8 << "Locked AFI can not be 'Unlocked', continue?" << yes;
        QTest::addRow("lock DSFID, %s", answer) << 9 << "Locked DSFID can not be 'Unlocked', continue?" << yes;
    }
}

void TestTagPages::isoLockConfirmations()
{
    QFETCH(int, item);
    QFETCH(QString, question);
    QFETCH(bool, yes);
    choose(m_iso->commandList, item);
    m_prompt->confirmAnswer = yes;
    m_iso->sendIsoCommand();
    QCOMPARE(m_prompt->confirmations, QStringList{question});
    QVERIFY(m_prompt->messages.isEmpty());
    QCOMPARE(m_transport->written.size(), yes ? 1 : 0);
}

void TestTagPages::isoReportFollowsBlockLength()
{
    const QByteArray answer = hex("01 12 00 10 00 20 88 77 66 55 44 33 22 11 00 09 00 00");
    m_session->options().isoBlockLength = 1;
    const Report wide = reportOf(*m_session, TagPage::Iso15693, answer);
    QCOMPARE(wide.lines.value(1), QStringLiteral("    Block Data: 1122334455667788"));
    m_session->options().isoBlockLength = 0;
    const Report narrow = reportOf(*m_session, TagPage::Iso15693, answer);
    QCOMPARE(narrow.lines.value(1), QStringLiteral("    Block Data: 55667788"));

    const Report test = reportOf(*m_session, TagPage::Iso15693, hex("01 08 00 10 00 26 00 00"));
    QCOMPARE(test.heading.value_or(QString()), QStringLiteral("Test:"));
    QCOMPARE(test.lines, QStringList{"    Test complete"});
}

// --- Tag-it --------------------------------------------------------------------

void TestTagPages::tagitStart()
{
    QCOMPARE(m_tagit->commandList->itemIndex(), 0);
    QVERIFY(m_tagit->addressGroup->isHidden());
    QVERIFY(m_tagit->blockNumberGroup->isHidden());
    QVERIFY(m_tagit->blockDataGroup->isHidden());
    QVERIFY(!m_tagit->addressEdit->isEnabled());
    QCOMPARE(m_tagit->blockNumberCombo->currentText(), QStringLiteral("0"));
    QCOMPARE(m_tagit->blockCountCombo->currentText(), QStringLiteral("1"));
}

void TestTagPages::tagitPanel_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("shown"); // A address, B block number, D block data
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("numBlocksBox");
    QTest::addColumn<bool>("dataField");
    QTest::addColumn<int>("dataFields"); // data fields visible with 3 blocks chosen
    QTest::newRow("read tag version") << 0 << "A" << "Block Data" << false << true << 1;
    QTest::newRow("read block") << 1 << "AB" << "Block Data" << false << true << 1;
    QTest::newRow("write block") << 2 << "ABD" << "Block Data" << false << true << 1;
    QTest::newRow("lock block") << 3 << "AB" << "Block Data" << false << true << 1;
    QTest::newRow("write and lock block") << 4 << "ABD" << "Block Data" << false << true << 1;
    QTest::newRow("read multi-block") << 5 << "ABD" << "Number of Blocks" << true << false << 0;
    QTest::newRow("write multi-block") << 6 << "ABD" << "Num Blocks/Data" << true << true << 3;
    QTest::newRow("lock multi-block") << 7 << "ABD" << "Number of Blocks" << true << false << 0;
    QTest::newRow("read block SID") << 8 << "B" << "Block Data" << false << true << 1;
    QTest::newRow("read multi-block SID") << 9 << "BD" << "Number of Blocks" << true << false << 0;
}

void TestTagPages::tagitPanel()
{
    QFETCH(int, item);
    QFETCH(QString, shown);
    QFETCH(QString, caption);
    QFETCH(bool, numBlocksBox);
    QFETCH(bool, dataField);
    QFETCH(int, dataFields);
    m_tagit->blockCountCombo->setCurrentIndex(2); // "3"
    choose(m_tagit->commandList, 6);
    choose(m_tagit->commandList, item);

    QCOMPARE(!m_tagit->addressGroup->isHidden(), shown.contains('A'));
    QCOMPARE(!m_tagit->blockNumberGroup->isHidden(), shown.contains('B'));
    QCOMPARE(!m_tagit->blockDataGroup->isHidden(), shown.contains('D'));
    QCOMPARE(m_tagit->blockDataGroup->title(), caption);
    QCOMPARE(!m_tagit->blockCountCombo->isHidden(), numBlocksBox);
    QCOMPARE(!m_tagit->blockDataField(0)->isHidden(), dataField);
    QCOMPARE(!m_tagit->blockDataLabel(0)->isHidden(), dataField);
    int visible = 0;
    for (int i = 0; i < tagit::kDataFields; ++i)
        visible += m_tagit->blockDataField(i)->isHidden() ? 0 : 1;
    QCOMPARE(visible, dataFields);
    QCOMPARE(m_tagit->blockDataLabel(2)->isHidden(), m_tagit->blockDataField(2)->isHidden());
}

void TestTagPages::tagitInventoryKeepsPanel()
{
    choose(m_tagit->commandList, 8);
    choose(m_tagit->commandList, 10);
    QVERIFY(m_tagit->addressGroup->isHidden());
    QVERIFY(!m_tagit->blockNumberGroup->isHidden());
    QCOMPARE(m_tagit->blockDataGroup->title(), QStringLiteral("Block Data"));
}

void TestTagPages::tagitComboChecks()
{
    choose(m_tagit->commandList, 6);
    m_tagit->blockCountCombo->setEditText(QStringLiteral("8"));
    for (int i = 0; i < tagit::kDataFields; ++i)
        QVERIFY(!m_tagit->blockDataField(i)->isHidden());
    QVERIFY(m_prompt->messages.isEmpty());

    m_tagit->blockCountCombo->setEditText(QStringLiteral("9"));
    QCOMPARE(m_prompt->messages, QStringList{"Value must be <= 8"});
    QVERIFY(!m_tagit->blockDataField(7)->isHidden()); // fields as they were
    QCOMPARE(m_tagit->blockCountCombo->currentText(), QStringLiteral("9"));

    m_tagit->blockCountCombo->setEditText(QStringLiteral("2"));
    QVERIFY(!m_tagit->blockDataField(1)->isHidden());
    QVERIFY(m_tagit->blockDataField(2)->isHidden());

    m_prompt->messages.clear();
    m_tagit->blockNumberCombo->setEditText(QStringLiteral("8"));
    QCOMPARE(m_prompt->messages, QStringList{"Value must be <= 7"});
    m_tagit->blockNumberCombo->setCurrentIndex(7);
    QCOMPARE(m_prompt->messages.size(), 1);
}

void TestTagPages::tagitUseAddress()
{
    choose(m_tagit->commandList, 1);
    m_tagit->useAddressCheck->click();
    QVERIFY(m_tagit->addressEdit->isEnabled());
    m_tagit->useAddressCheck->click();
    QVERIFY(!m_tagit->addressEdit->isEnabled());
    QCOMPARE(m_tagit->addressEdit->maxLength(), fields::kTagitAddress.maxLength);
}

void TestTagPages::tagitSendWriteMultiBlock()
{
    choose(m_tagit->commandList, 6);
    m_tagit->blockNumberCombo->setCurrentIndex(4);
    m_tagit->blockCountCombo->setCurrentIndex(1); // "2"
    m_tagit->blockDataField(0)->setText(QStringLiteral("1"));
    m_tagit->blockDataField(1)->setText(QStringLiteral("2"));
    m_tagit->sendTagitCommand();
    QCOMPARE(m_link->storedLength(), 18);
    QCOMPARE(stored(*m_link).left(16), hex("01 12 00 10 00 08 04 02 01 00 00 00 02 00 00 00"));
    QCOMPARE(m_transport->written.size(), 1);
    QCOMPARE(uint8_t(m_transport->written.first().at(4)), uint8_t(0x80));
}

void TestTagPages::tagitRefused_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<bool>("useAddress");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("hiddenData"); // edtBlockData7
    QTest::addColumn<QString>("message");
    const QString required = QStringLiteral("Address field is required!");
    QTest::newRow("version, address required") << 0 << true << "" << "0" << "1" << "" << "" << required;
    QTest::newRow("read block, address required") << 1 << true << "" << "0" << "1" << "" << "" << required;
    QTest::newRow("read multi, address required") << 5 << true << "" << "0" << "1" << "" << "" << required;
    QTest::newRow("write block, data required") << 2 << false << "" << "0" << "1" << "" << ""
                                                << "Block data field is required!";
    QTest::newRow("bad address") << 1 << true << "xyz" << "0" << "1" << "" << "" << kInvalidHexMessage;
    QTest::newRow("bad data") << 4 << false << "" << "0" << "1" << "g" << "" << kInvalidHexMessage;
    QTest::newRow("bad hidden eighth field") << 6 << false << "" << "0" << "1" << "1" << "G" << kInvalidHexMessage;
    QTest::newRow("block number not a number") << 1 << false << "" << "-" << "1" << "" << ""
                                               << "Block number must be a decimal number.";
    QTest::newRow("nine blocks to write") << 6 << false << "" << "0" << "9" << "1" << "" << "Value must be <= 8";
}

void TestTagPages::tagitRefused()
{
    QFETCH(int, item);
    QFETCH(bool, useAddress);
    QFETCH(QString, address);
    QFETCH(QString, block);
    QFETCH(QString, count);
    QFETCH(QString, data);
    QFETCH(QString, hiddenData);
    QFETCH(QString, message);
    choose(m_tagit->commandList, item);
    m_tagit->useAddressCheck->setChecked(useAddress);
    m_tagit->addressEdit->setText(address);
    m_tagit->blockNumberCombo->setEditText(block);
    QSignalBlocker quiet(m_tagit->blockCountCombo); // no range message while typing
    m_tagit->blockCountCombo->setEditText(count);
    m_tagit->blockDataField(0)->setText(data);
    m_tagit->blockDataField(7)->setText(hiddenData);
    m_prompt->messages.clear();
    m_tagit->sendTagitCommand();
    QCOMPARE(m_prompt->messages, QStringList{message});
    QVERIFY(m_transport->written.isEmpty());
    QCOMPARE(m_link->storedLength(), 0);
}

void TestTagPages::tagitLockConfirmation()
{
    choose(m_tagit->commandList, 3);
    m_prompt->confirmAnswer = false;
    m_tagit->sendTagitCommand();
    QCOMPARE(m_prompt->confirmations, QStringList{"Locked blocks can not be 'Unlocked', continue?"});
    QVERIFY(m_transport->written.isEmpty());
    QVERIFY(m_prompt->messages.isEmpty());

    m_prompt->confirmAnswer = true;
    m_tagit->useAddressCheck->click(); // empty address: zero address, no refusal
    m_tagit->sendTagitCommand();
    QCOMPARE(stored(*m_link).left(11), hex("01 0D 00 10 10 04 00 00 00 00 00"));
    QCOMPARE(m_transport->written.size(), 1);
}

void TestTagPages::tagitAddressUpperCased()
{
    choose(m_tagit->commandList, 1);
    m_tagit->useAddressCheck->click();
    m_tagit->addressEdit->setText(QStringLiteral("ab"));
    m_tagit->upperCaseAddress();
    QCOMPARE(m_tagit->addressEdit->text(), QStringLiteral("AB"));
    m_tagit->blockDataField(3)->setText(QStringLiteral("cafe"));
    m_tagit->upperCaseData(m_tagit->blockDataField(3));
    QCOMPARE(m_tagit->blockDataField(3)->text(), QStringLiteral("CAFE"));
    m_tagit->sendTagitCommand();
    QCOMPARE(stored(*m_link).mid(4, 7), hex("10 07 AB 00 00 00 00"));
}

void TestTagPages::tagitCorruptedReport()
{
    const QByteArray good = hex("01 0E 00 10 00 07 78 56 34 12 01 03 00 00");
    QByteArray frame = good;
    writeFrameCheck(reinterpret_cast<uint8_t *>(frame.data()), int(frame.size()));
    const Report ok = tagit::reportResponse(FrameView(frame), int(frame.size()));
    QCOMPARE(ok.lines.value(0), QStringLiteral("    Block Number: 3"));
    frame[13] = char(frame.at(13) ^ 0x10);
    const Report bad = tagit::reportResponse(FrameView(frame), int(frame.size()));
    QVERIFY(!bad.separator);
    QCOMPARE(bad.heading.value_or(QString()), QStringLiteral("Error: Corrupted data received"));
}

// --- ISO/IEC 14443-A -----------------------------------------------------------

void TestTagPages::iso14443Send()
{
    m_14443->send14443Command();
    QCOMPARE(m_link->storedLength(), 9);
    QCOMPARE(stored(*m_link).left(7), hex("01 09 00 10 60 40 00"));
    QCOMPARE(m_transport->written.size(), 1);
    QCOMPARE(uint8_t(m_transport->written.first().at(4)), uint8_t(0x80));
}

void TestTagPages::iso14443Report()
{
    QByteArray frame = hex("01 10 00 10 00 40 00 04 04 A1 B2 C3 00 00");
    frame[1] = char(frame.size());
    writeFrameCheck(reinterpret_cast<uint8_t *>(frame.data()), int(frame.size()));
    const Report r = reportOf(*m_session, TagPage::Iso14443, frame);
    QCOMPARE(r.heading.value_or(QString()), QStringLiteral("Read UID ISO 14443-A:"));
    QCOMPARE(r.lines, QStringList{"    UID: 04A1B2C3"});
}

// Every input field can be found by assistive technology under a name.
void TestTagPages::inputsAreNamed()
{
    for (QWidget *page : {static_cast<QWidget *>(m_iso), static_cast<QWidget *>(m_tagit)}) {
        QList<QWidget *> inputs;
        for (QLineEdit *e : page->findChildren<QLineEdit *>())
            if (!qobject_cast<QComboBox *>(e->parentWidget()))
                inputs << e;
        for (QComboBox *c : page->findChildren<QComboBox *>())
            inputs << c;
        for (QTableWidget *t : page->findChildren<QTableWidget *>())
            inputs << t;
        QVERIFY(!inputs.isEmpty());
        const auto labels = page->findChildren<QLabel *>();
        for (QWidget *input : inputs) {
            const bool hasBuddy = std::any_of(labels.begin(), labels.end(),
                                              [&](QLabel *l) { return l->buddy() == input; });
            QVERIFY2(hasBuddy || !input->accessibleName().isEmpty(), qPrintable(input->metaObject()->className()));
        }
    }
}

QTEST_MAIN(TestTagPages)
#include "tst_tagpages.moc"
