// End to end: the real main window's three tag pages against vexa-sim and
// the tags in its field, over a pseudo-terminal. Each row is a sequence of
// steps; a step sets a page's controls as the operator would, presses Go and
// checks the frame the reader received and the report in the response pane.
#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>

#include "e2efixture.h"
#include "frames.h"
#include "core/util/hextext.h"
#include "core/wire/frame.h"
#include "ui/pages/commandlist.h"
#include "ui/pages/fieldedit.h"
#include "ui/pages/iso14443page.h"
#include "ui/pages/isopage.h"
#include "ui/pages/tagitpage.h"

using namespace vexa;
using namespace vexa::test;

namespace {

constexpr int kRepeatMs = 20000; // several answers in a row
enum Page { IsoPageIndex = 0, Iso14443PageIndex = 1, TagitPageIndex = 2 };

// One press of Go on a page. `wire` is the frame the reader must receive,
// without its two check bytes; empty: nothing may be sent, and `message` is
// what the operator is told ("" for nothing). `report` is the whole response
// pane afterwards, newest line first, "# " standing for a heading's time stamp.
struct Step
{
    int page = IsoPageIndex;
    int command = 0;
    std::optional<QString> address{}; // UID or tag address; none: "Use UID"/"Use Address" unchecked
    QString block = QStringLiteral("0");
    QString count = QStringLiteral("1");
    QStringList data{}; // data field(s) or write grid values
    int afiFamily = -1; // Program AFI, or Inventory with "Use AFI"
    QString afiSubcategory{};
    bool confirm = true; // the answer to a lock question
    QString wire{};
    QStringList report{};
    QString message{};
};

using Steps = QList<Step>;

void choose(CommandList *list, int index)
{
    const auto buttons = list->findChildren<QRadioButton *>();
    QVERIFY(index < buttons.size());
    buttons.at(index)->click();
    QCOMPARE(list->itemIndex(), index);
}

// Wire bodies and UIDs of the default field.
const QString kIso4 = QStringLiteral("E00401501C6A93F2"); // 28 blocks of 4 bytes, block 0 locked
const QString kIso8 = QStringLiteral("E0080112C4D5E6F7"); // 32 blocks of 8 bytes, AFI 31
const QString kIso4Wire = QStringLiteral("F2 93 6A 1C 50 01 04 E0");
const QString kIso8Wire = QStringLiteral("F7 E6 D5 C4 12 01 08 E0");

QStringList errorReport(const QString &heading, const QString &text)
{
    return {QStringLiteral("# ") + heading, QStringLiteral("    ") + text, QString(), QString()};
}

QStringList report(const QString &heading, const QStringList &lines = {})
{
    return QStringList{QStringLiteral("# ") + heading} + lines + QStringList{QString()};
}

} // namespace

Q_DECLARE_METATYPE(Step)

class tst_E2eTags : public QObject, public E2eFixture
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void iso15693_data();
    void iso15693();
    void tagit_data();
    void tagit();
    void iso14443_data();
    void iso14443();
    void emptyField_data();
    void emptyField();
    void refusedInputSendsNothing_data();
    void refusedInputSendsNothing();
    void repeatUntilPause();
    void addressedReaderAndTag();

private:
    void addColumns();
    void runRow();
    void run(const Step &step);
    void setControls(const Step &step);

};

void tst_E2eTags::init()
{
    QVERIFY(startSim());
    makeWindow();
    QVERIFY(showWindow());
    QVERIFY(waitUntilIdle());
}

void tst_E2eTags::cleanup()
{
    closeAll();
}

void tst_E2eTags::addColumns()
{
    QTest::addColumn<QStringList>("field"); // control lines that set the field up; none: the default tags
    QTest::addColumn<int>("blockLength");   // isoBlockLength
    QTest::addColumn<Steps>("steps");
}

void tst_E2eTags::setControls(const Step &s)
{
    MainWindow &w = *m_window;
    control<QTabWidget>(w, "PageControl1").setCurrentIndex(s.page);
    m_prompt->confirmAnswer = s.confirm;
    if (s.page == IsoPageIndex) {
        IsoPage &p = control<IsoPage>(w, "TSISO");
        choose(p.commandList, s.command);
        p.useUidCheck->setChecked(s.address.has_value());
        p.uidEdit->setText(s.address.value_or(QString()));
        p.blockNumberEdit->setText(s.block);
        p.blockCountEdit->setText(s.count);
        if (s.command == iso15693::ProgramManyBlocks) {
            QCOMPARE(p.writeBlocksGrid->rowCount(), s.data.size() + 1);
            for (int row = 1; row <= s.data.size(); ++row)
                p.writeBlocksGrid->item(row, 1)->setText(s.data[row - 1]);
        } else {
            p.dataEdit->setText(s.data.value(0));
            QCOMPARE(p.dataEdit->text(), s.data.value(0)); // not cut by the field's limit
        }
        p.useAfiCheck->setChecked(s.afiFamily >= 0);
        p.afiFamilyCombo->setCurrentIndex(std::max(s.afiFamily, 0));
        p.afiValueEdit->setText(s.afiSubcategory);
    } else if (s.page == TagitPageIndex) {
        TagitPage &p = control<TagitPage>(w, "TSTagit");
        choose(p.commandList, s.command);
        p.useAddressCheck->setChecked(s.address.has_value());
        p.addressEdit->setText(s.address.value_or(QString()));
        p.blockNumberCombo->setCurrentText(s.block);
        p.blockCountCombo->setCurrentText(s.count);
        for (int i = 0; i < tagit::kDataFields; ++i)
            p.blockDataField(i)->setText(s.data.value(i));
    }
}

void tst_E2eTags::run(const Step &s)
{
    MainWindow &w = *m_window;
    setControls(s);
    if (QTest::currentTestFailed())
        return;
    control<QToolButton>(w, "ToolButton2").click();
    const qsizetype before = m_sim->requests().size();
    const qsizetype messages = m_prompt->messages.size();
    control<QToolButton>(w, "btnSend").click();

    if (s.wire.isEmpty()) {
        // Nothing sent: the response timer was never armed.
        QVERIFY(!w.session().link().busy());
        QCOMPARE(m_prompt->messages.mid(messages), s.message.isEmpty() ? QStringList{} : QStringList{s.message});
        QCOMPARE(paneLines(w), QStringList{});
        return;
    }
    QVERIFY(w.session().link().busy());
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kAnswerMs);
    QVERIFY(m_sim->waitForRequests(int(before) + 1));
    QCOMPARE(m_sim->requests().size(), before + 1);
    QCOMPARE(m_sim->requests().last(), withCheck(s.wire));
    QCOMPARE(paneLines(w), s.report);
    QCOMPARE(m_prompt->messages.size(), messages);
}

void tst_E2eTags::runRow()
{
    QFETCH(QStringList, field);
    QFETCH(int, blockLength);
    QFETCH(Steps, steps);
    for (const QString &line : field)
        QVERIFY2(m_sim->control(line), qPrintable(line));
    m_window->session().options().isoBlockLength = blockLength;
    control<IsoPage>(*m_window, "TSISO").applyBlockLength();
    for (int i = 0; i < steps.size(); ++i) {
        run(steps[i]);
        if (QTest::currentTestFailed()) {
            qWarning("in step %d", i + 1);
            return;
        }
    }
}

void tst_E2eTags::iso15693_data()
{
    addColumns();
    using namespace iso15693;
    const QString u4 = kIso4Wire, u8 = kIso8Wire;
    const QString locked = QStringLiteral("Specified block locked, contents cannot be changed");
    const QStringList twoInventoried = {QStringLiteral("    #    UID    "), QStringLiteral("    01   ") + kIso4,
                                        QStringLiteral("    02   ") + kIso8};

    QTest::newRow("inventory of several tags")
        << QStringList{} << 0
        << Steps{{.command = Inventory, .wire = "01 09 00 10 82 01 00", .report = report("ISO Inventory:", twoInventoried)}};
    QTest::newRow("inventory by AFI")
        << QStringList{} << 0
        << Steps{{.command = Inventory, .afiFamily = 3, .afiSubcategory = "0", .wire = "01 09 00 10 82 01 30",
                  .report = report("ISO Inventory:", {"    #    UID    ", "    01   " + kIso8})},
                 {.command = Inventory, .afiFamily = 0, .afiSubcategory = "1", .wire = "01 09 00 10 82 01 01",
                  .report = report("ISO Inventory:", {"    #    UID    ", "    01   " + kIso8})},
                 {.command = Inventory, .afiFamily = 9, .afiSubcategory = "0", .wire = "01 09 00 10 82 01 90",
                  .report = report("ISO Inventory:", {"    Transponder(s) not found"})}};
    QTest::newRow("4-byte block: write, read back")
        << QStringList{} << 0
        << Steps{{.command = ProgramOneBlock, .block = "5", .data = {"11223344"},
                  .wire = "01 0D 00 10 82 21 05 44 33 22 11", .report = report("Write Tag Block:", {"    Block written"})},
                 {.command = ViewOneBlock, .block = "5", .wire = "01 09 00 10 82 20 05",
                  .report = report("Read Tag Block:", {"    Block Number: 5", "    Block Data: 11223344"})}};
    QTest::newRow("4-byte block by UID: write, read back")
        << QStringList{} << 0
        << Steps{{.command = ProgramOneBlock, .address = kIso4.toLower(), .block = "6", .data = {"a1b2c3d4"},
                  .wire = "01 15 00 10 92 21 " + u4 + " 06 D4 C3 B2 A1",
                  .report = report("Write Tag Block:", {"    Block written"})},
                 {.command = ViewOneBlock, .address = kIso4, .block = "6", .wire = "01 11 00 10 92 20 " + u4 + " 06",
                  .report = report("Read Tag Block:", {"    Block Number: 6", "    Block Data: A1B2C3D4"})}};
    QTest::newRow("8-byte block by UID: write, read back")
        << QStringList{} << 1
        << Steps{{.command = ViewOneBlock, .address = kIso8, .block = "1", .wire = "01 11 00 10 92 20 " + u8 + " 01",
                  .report = report("Read Tag Block:", {"    Block Number: 1", "    Block Data: FEDCBA9876543210"})},
                 {.command = ProgramOneBlock, .address = kIso8, .block = "20", .data = {"0011223344556677"},
                  .wire = "01 19 00 10 92 21 " + u8 + " 14 77 66 55 44 33 22 11 00",
                  .report = report("Write Tag Block:", {"    Block written"})},
                 {.command = ViewOneBlock, .address = kIso8, .block = "20", .wire = "01 11 00 10 92 20 " + u8 + " 14",
                  .report = report("Read Tag Block:", {"    Block Number: 20", "    Block Data: 0011223344556677"})}};
    QTest::newRow("8-byte block, the nearest tag: write, read back")
        << QStringList{"tag clear", "tag add iso15693 " + kIso8 + " blocks=32 size=8", "tag add iso15693 " + kIso4}
        << 1
        << Steps{{.command = ProgramOneBlock, .block = "3", .data = {"CAFEBABEDEADBEEF"},
                  .wire = "01 11 00 10 82 21 03 EF BE AD DE BE BA FE CA",
                  .report = report("Write Tag Block:", {"    Block written"})},
                 {.command = ViewOneBlock, .block = "3", .wire = "01 09 00 10 82 20 03",
                  .report = report("Read Tag Block:", {"    Block Number: 3", "    Block Data: CAFEBABEDEADBEEF"})}};
    QTest::newRow("8 data bytes for a tag of 4-byte blocks")
        << QStringList{} << 1
        << Steps{{.command = ProgramOneBlock, .block = "3", .data = {"0102030405060708"},
                  .wire = "01 11 00 10 82 21 03 08 07 06 05 04 03 02 01",
                  .report = errorReport("Write Tag Block:", "Command option not supported")}};
    QTest::newRow("lock a block, then writes fail")
        << QStringList{} << 0
        << Steps{{.command = LockOneBlock, .block = "6", .wire = "01 09 00 10 82 22 06",
                  .report = report("Lock Tag Block:", {"    Block Locked"})},
                 {.command = ProgramOneBlock, .block = "6", .data = {"01020304"},
                  .wire = "01 0D 00 10 82 21 06 04 03 02 01", .report = errorReport("Write Tag Block:", locked)},
                 {.command = LockOneBlock, .block = "6", .wire = "01 09 00 10 82 22 06",
                  .report = errorReport("Lock Tag Block:", "Specified block already locked")},
                 {.command = ProgramManyBlocks, .block = "5", .count = "2", .data = {"1", "2"},
                  .wire = "01 12 00 10 82 24 05 02 01 00 00 00 02 00 00 00",
                  .report = errorReport("Write Tag Multi-Block:", locked)},
                 {.command = ViewLockStatus, .block = "5", .count = "3", .wire = "01 0A 00 10 82 2C 05 03",
                  .report = report("Read Tag Multi-Block Security Status:",
                                   {"  Block    Status", "    05      Unlocked", "    06      Locked",
                                    "    07      Unlocked"})}};
    QTest::newRow("AFI: write, lock, write fails")
        << QStringList{} << 0
        << Steps{{.command = ProgramAfi, .afiFamily = 9, .afiSubcategory = "a", .wire = "01 09 00 10 82 27 9A",
                  .report = report("Write Tag AFI:", {"    AFI written"})},
                 {.command = ViewFactoryData, .wire = "01 08 00 10 82 2B",
                  .report = report("Read Tag Information:",
                                   {"    UID:              " + kIso4, "    DSFID:            00",
                                    "    AFI:              9A: Item Management", "    Block Size:       4",
                                    "    Number of Blocks: 28", "    IC Reference:     01"})},
                 {.command = LockAfi, .wire = "01 08 00 10 82 28", .report = report("Lock Tag AFI:", {"    AFI Locked"})},
                 {.command = ProgramAfi, .afiFamily = 1, .afiSubcategory = "0", .wire = "01 09 00 10 82 27 10",
                  .report = errorReport("Write Tag AFI:", locked)},
                 {.command = LockAfi, .wire = "01 08 00 10 82 28",
                  .report = errorReport("Lock Tag AFI:", "Specified block already locked")},
                 {.command = Inventory, .afiFamily = 9, .afiSubcategory = "A", .wire = "01 09 00 10 82 01 9A",
                  .report = report("ISO Inventory:", {"    #    UID    ", "    01   " + kIso4})}};
    QTest::newRow("DSFID by UID: write, lock, write fails")
        << QStringList{} << 0
        << Steps{{.command = ProgramDsfid, .address = kIso8, .data = {"3f"}, .wire = "01 11 00 10 92 29 " + u8 + " 3F",
                  .report = report("Write Tag DSFID:", {"    DSFID written"})},
                 {.command = LockDsfid, .address = kIso8, .wire = "01 10 00 10 92 2A " + u8,
                  .report = report("Lock Tag DSFID:", {"    DSFID Locked"})},
                 {.command = ProgramDsfid, .address = kIso8, .data = {"01"}, .wire = "01 11 00 10 92 29 " + u8 + " 01",
                  .report = errorReport("Write Tag DSFID:", locked)},
                 {.command = ViewFactoryData, .address = kIso8, .wire = "01 10 00 10 92 2B " + u8,
                  .report = report("Read Tag Information:",
                                   {"    UID:              " + kIso8, "    DSFID:            3F",
                                    "    AFI:              31: ID/Access Control", "    Block Size:       8",
                                    "    Number of Blocks: 32", "    IC Reference:     08"})}};
    QTest::newRow("multi-block read, write and security status")
        << QStringList{} << 0
        << Steps{{.command = ViewManyBlocks, .block = "0", .count = "4", .wire = "01 0A 00 10 82 23 00 04",
                  .report = report("Read Tag Multi-Block:", {"  Block    Value", "    00     56455841",
                                                             "    01     20312E30", "    02     00000000",
                                                             "    03     0000CAFE"})},
                 {.command = ProgramManyBlocks, .block = "10", .count = "3", .data = {"1", "2", "abcdef01"},
                  .wire = "01 16 00 10 82 24 0A 03 01 00 00 00 02 00 00 00 01 EF CD AB",
                  .report = report("Write Tag Multi-Block:", {"    Block(s) written"})},
                 {.command = ViewManyBlocks, .block = "10", .count = "3", .wire = "01 0A 00 10 82 23 0A 03",
                  .report = report("Read Tag Multi-Block:", {"  Block    Value", "    10     00000001",
                                                             "    11     00000002", "    12     ABCDEF01"})},
                 {.command = ViewLockStatus, .block = "0", .count = "2", .wire = "01 0A 00 10 82 2C 00 02",
                  .report = report("Read Tag Multi-Block Security Status:",
                                   {"  Block    Status", "    00      Locked", "    01      Unlocked"})}};
    QTest::newRow("multi-block read of 8-byte blocks")
        << QStringList{} << 1
        << Steps{{.command = ViewManyBlocks, .address = kIso8, .block = "0", .count = "2",
                  .wire = "01 12 00 10 92 23 " + u8 + " 00 02",
                  .report = errorReport("Read Tag Multi-Block:", "Command option not supported")}};
    QTest::newRow("a block past the last, a UID not in the field")
        << QStringList{} << 0
        << Steps{{.command = ViewOneBlock, .block = "28", .wire = "01 09 00 10 82 20 1C",
                  .report = errorReport("Read Tag Block:", "Specified block not available")},
                 {.command = ViewOneBlock, .address = "E0040150FFFFFFFF", .block = "0",
                  .wire = "01 11 00 10 92 20 FF FF FF FF 50 01 04 E0 00",
                  .report = errorReport("Read Tag Block:", "Transponder not found")}};
}

void tst_E2eTags::iso15693()
{
    runRow();
}

void tst_E2eTags::tagit_data()
{
    addColumns();
    using namespace tagit;
    const int T = TagitPageIndex;
    const QString a2 = QStringLiteral("41 9A 2E 5D");
    QTest::newRow("version, with and without address")
        << QStringList{} << 0
        << Steps{{.page = T, .command = ReadTagVersion, .wire = "01 08 00 10 80 05",
                  .report = report("Read Transponder Details:",
                                   {"    Transponder ID:      C0A80137 hex", "    Manufacturer Number: 07",
                                    "    Version Number:      0101", "    Number of blocks:    08",
                                    "    Bytes per block:     04"})},
                 {.page = T, .command = ReadTagVersion, .address = "5d2e9a41", .wire = "01 0C 00 10 90 05 " + a2,
                  .report = report("Read Transponder Details:",
                                   {"    Transponder ID:      5D2E9A41 hex", "    Manufacturer Number: 07",
                                    "    Version Number:      0101", "    Number of blocks:    08",
                                    "    Bytes per block:     04"})}};
    QTest::newRow("write, read back")
        << QStringList{} << 0
        << Steps{{.page = T, .command = WriteBlock, .block = "2", .data = {"12345678"},
                  .wire = "01 0D 00 10 80 03 02 78 56 34 12", .report = report("Write Tag Block:", {"    Block written"})},
                 {.page = T, .command = ReadBlock, .block = "2", .wire = "01 09 00 10 80 07 02",
                  .report = report("Read Tag Block:", {"    Block Number: 2", "    Unlocked ",
                                                       "    Block Data: 12345678"})}};
    QTest::newRow("write and lock by address, then writes fail")
        << QStringList{} << 0
        << Steps{{.page = T, .command = WriteAndLockBlock, .address = "5D2E9A41", .block = "3", .data = {"cafe"},
                  .wire = "01 11 00 10 90 06 " + a2 + " 03 FE CA 00 00",
                  .report = report("Write & Lock Tag Block:", {"    Block written and locked"})},
                 {.page = T, .command = ReadBlock, .address = "5D2E9A41", .block = "3",
                  .wire = "01 0D 00 10 90 07 " + a2 + " 03",
                  .report = report("Read Tag Block:", {"    Block Number: 3", "    Locked ", "    Block Data: 0000CAFE"})},
                 {.page = T, .command = WriteBlock, .address = "5D2E9A41", .block = "3", .data = {"1"},
                  .wire = "01 11 00 10 90 03 " + a2 + " 03 01 00 00 00",
                  .report = errorReport("Write Tag Block:", "Specified block locked, contents cannot be changed")},
                 {.page = T, .command = ReadBlock, .block = "3", .wire = "01 09 00 10 80 07 03",
                  .report = report("Read Tag Block:", {"    Block Number: 3", "    Unlocked ",
                                                       "    Block Data: 00000000"})}};
    QTest::newRow("lock a block twice")
        << QStringList{} << 0
        << Steps{{.page = T, .command = LockBlock, .block = "1", .wire = "01 09 00 10 80 04 01",
                  .report = report("Lock Tag Block:", {"    Block Locked"})},
                 {.page = T, .command = LockBlock, .block = "1", .wire = "01 09 00 10 80 04 01",
                  .report = errorReport("Lock Tag Block:", "Specified block already locked")}};
    QTest::newRow("multi-block write, lock, read")
        << QStringList{} << 0
        << Steps{{.page = T, .command = WriteMultiBlock, .block = "4", .count = "3", .data = {"A", "B", "C"},
                  .wire = "01 16 00 10 80 08 04 03 0A 00 00 00 0B 00 00 00 0C 00 00 00",
                  .report = report("Write Multi-Block:", {"    Block(s) written"})},
                 {.page = T, .command = LockMultiBlock, .block = "5", .count = "2", .wire = "01 0A 00 10 80 09 05 02",
                  .report = report("Lock Multi-Block:", {"    Block(s) locked"})},
                 {.page = T, .command = ReadMultiBlock, .block = "3", .count = "4", .wire = "01 0A 00 10 80 0A 03 04",
                  .report = report("Read Tag Multi-Block:",
                                   {"  Block    Value        Lock Status", "    3     00000000      Unlocked",
                                    "    4     0000000A      Unlocked", "    5     0000000B      Locked",
                                    "    6     0000000C      Locked"})},
                 {.page = T, .command = WriteMultiBlock, .block = "6", .count = "1", .data = {"D"},
                  .wire = "01 0E 00 10 80 08 06 01 0D 00 00 00",
                  .report = errorReport("Write Multi-Block:", "Specified block locked, contents cannot be changed")}};
    QTest::newRow("SID reads and inventory")
        << QStringList{} << 0
        << Steps{{.page = T, .command = ReadBlockSid, .block = "0", .wire = "01 09 00 10 80 0C 00",
                  .report = report("Read Tag Block SID:", {"#   Address   Blk   Value    Lock Status",
                                                           "01  C0A80137   0   11223344    Unlocked",
                                                           "02  5D2E9A41   0   DEADBEEF    Unlocked"})},
                 {.page = T, .command = ReadBlockSid, .address = "C0A80137", .block = "7",
                  .wire = "01 09 00 10 80 0C 07",
                  .report = report("Read Tag Block SID:", {"#   Address   Blk   Value    Lock Status",
                                                           "01  C0A80137   7   00000000    Unlocked",
                                                           "02  5D2E9A41   7   CAFEF00D    Locked"})},
                 {.page = T, .command = ReadMultiBlockSid, .block = "0", .count = "2", .wire = "01 0A 00 10 80 0B 00 02",
                  .report = report("Read Tag Multi-Block SID:")},
                 {.page = T, .command = Inventory, .wire = "01 08 00 10 80 0D",
                  .report = report("Read Tag-it Inventory:", {"    #   Tag Address", "    01  C0A80137",
                                                              "    02  5D2E9A41"})}};
    QTest::newRow("an address not in the field")
        << QStringList{} << 0
        << Steps{{.page = T, .command = ReadBlock, .address = "00000001", .block = "0",
                  .wire = "01 0D 00 10 90 07 01 00 00 00 00",
                  .report = errorReport("Read Tag Block:", "Transponder not found")}};
}

void tst_E2eTags::tagit()
{
    runRow();
}

void tst_E2eTags::iso14443_data()
{
    addColumns();
    const Step readUid{.page = Iso14443PageIndex, .wire = "01 09 00 10 80 40 00"};
    Step seven = readUid;
    seven.report = report("Read UID ISO 14443-A:", {"    UID: 04A2C8F21B6E80"});
    Step four = readUid;
    four.report = report("Read UID ISO 14443-A:", {"    UID: 0A0B0C0D"});
    Step ten = readUid;
    ten.report = report("Read UID ISO 14443-A:", {"    UID: 0102030405060708090A"});
    QTest::newRow("7-byte UID") << QStringList{} << 0 << Steps{seven};
    QTest::newRow("10-byte UID") << QStringList{"tag clear", "tag add iso14443a 0102030405060708090A"} << 0
                                 << Steps{ten};
    QTest::newRow("4-byte UID")
        << QStringList{"tag clear", "tag add iso14443a 0A0B0C0D", "tag add iso14443a 04A2C8F21B6E80"} << 0
        << Steps{four};
}

void tst_E2eTags::iso14443()
{
    runRow();
}

void tst_E2eTags::emptyField_data()
{
    addColumns();
    const QStringList empty = {QStringLiteral("tag clear")};
    // Tags of the other families do not answer.
    const QStringList noIso = {QStringLiteral("tag clear"), QStringLiteral("tag add tagit C0A80137"),
                               QStringLiteral("tag add iso14443a 0A0B0C0D")};
    const QStringList noTagit = {QStringLiteral("tag clear"), QStringLiteral("tag add iso15693 ") + kIso4};
    const Step isoInventory{.command = iso15693::Inventory, .wire = "01 09 00 10 82 01 00",
                            .report = report("ISO Inventory:", {"    Transponder(s) not found"})};
    const Step isoRead{.command = iso15693::ViewOneBlock, .wire = "01 09 00 10 82 20 00",
                       .report = errorReport("Read Tag Block:", "Transponder not found")};
    const Step isoInfo{.command = iso15693::ViewFactoryData, .wire = "01 08 00 10 82 2B",
                       .report = errorReport("Read Tag Information:", "Transponder not found")};
    const Step tagitInventory{.page = TagitPageIndex, .command = tagit::Inventory, .wire = "01 08 00 10 80 0D",
                              .report = report("Read Tag-it Inventory:", {"    No transponder(s) found"})};
    const Step tagitSid{.page = TagitPageIndex, .command = tagit::ReadBlockSid, .wire = "01 09 00 10 80 0C 00",
                        .report = report("Read Tag Block SID:", {"    No transponder(s) found"})};
    const Step tagitRead{.page = TagitPageIndex, .command = tagit::ReadBlock, .wire = "01 09 00 10 80 07 00",
                         .report = errorReport("Read Tag Block:", "Transponder not found")};
    const Step readUid{.page = Iso14443PageIndex, .wire = "01 09 00 10 80 40 00",
                       .report = errorReport("Read UID ISO 14443-A:", "Transponder not found")};
    QTest::newRow("empty field")
        << empty << 0 << Steps{isoInventory, isoRead, isoInfo, tagitInventory, tagitSid, tagitRead, readUid};
    QTest::newRow("no ISO/IEC 15693 tag") << noIso << 0 << Steps{isoInventory, isoRead, isoInfo};
    QTest::newRow("no Tag-it tag, no card") << noTagit << 0 << Steps{tagitInventory, tagitSid, tagitRead, readUid};
}

void tst_E2eTags::emptyField()
{
    runRow();
}

void tst_E2eTags::refusedInputSendsNothing_data()
{
    addColumns();
    using namespace iso15693;
    const int T = TagitPageIndex;
    // After each refusal the next command is the next frame on the wire.
    const Step next{.command = ViewOneBlock, .block = "1", .wire = "01 09 00 10 82 20 01",
                    .report = report("Read Tag Block:", {"    Block Number: 1", "    Block Data: 20312E30"})};
    QTest::newRow("ISO data field empty")
        << QStringList{} << 0
        << Steps{{.command = ProgramOneBlock, .block = "1", .message = "Data field is required!"}, next};
    QTest::newRow("ISO UID not hexadecimal")
        << QStringList{} << 0
        << Steps{{.command = ViewOneBlock, .address = "E0G4", .message = kInvalidHexMessage}, next};
    QTest::newRow("ISO UID field empty")
        << QStringList{} << 0
        << Steps{{.command = ViewFactoryData, .address = "", .message = "Address field is required!"}, next};
    QTest::newRow("ISO 33 blocks")
        << QStringList{} << 0
        << Steps{{.command = ViewManyBlocks, .count = "33",
                  .message = "Number of blocks must be less than or equal to 32."},
                 next};
    QTest::newRow("ISO lock not confirmed")
        << QStringList{} << 0 << Steps{{.command = LockOneBlock, .block = "1", .confirm = false}, next};
    QTest::newRow("Tag-it block data empty")
        << QStringList{} << 0
        << Steps{{.page = T, .command = tagit::WriteBlock, .message = "Block data field is required!"}, next};
    QTest::newRow("Tag-it hidden data field not hexadecimal")
        << QStringList{} << 0
        << Steps{{.page = T, .command = tagit::WriteMultiBlock, .count = "1", .data = {"1", "", "", "", "", "", "", "G"},
                  .message = kInvalidHexMessage},
                 next};
    QTest::newRow("Tag-it lock not confirmed")
        << QStringList{} << 0
        << Steps{{.page = T, .command = tagit::LockBlock, .block = "7", .confirm = false}, next};
}

void tst_E2eTags::refusedInputSendsNothing()
{
    runRow();
    if (QByteArray(QTest::currentDataTag()).contains("lock not confirmed"))
        QCOMPARE(m_prompt->confirmations, QStringList{QStringLiteral("Locked blocks can not be 'Unlocked', continue?")});
}

void tst_E2eTags::repeatUntilPause()
{
    MainWindow &w = *m_window;
    auto &go = control<QToolButton>(w, "btnSend");
    const Step read{.page = TagitPageIndex, .command = tagit::ReadBlock, .block = "1"};
    setControls(read);
    control<QAction>(w, "ContinuousMode1").trigger();
    const qsizetype before = m_sim->requests().size();
    go.click();
    QCOMPARE(go.text(), QStringLiteral("Pause"));
    QVERIFY(m_sim->waitForRequests(int(before) + 3, kRepeatMs));
    go.click(); // Pause: the answer in flight is reported, nothing more is sent
    QCOMPARE(go.text(), QStringLiteral("Go"));
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kAnswerMs);

    const QStringList sent = m_sim->requests().mid(before);
    QVERIFY(sent.size() >= 3);
    for (const QString &frame : sent)
        QCOMPARE(frame, withCheck(QStringLiteral("01 09 00 10 80 07 01")));
    const QStringList lines = paneLines(w);
    QCOMPARE(int(lines.count(QStringLiteral("# Read Tag Block:"))), int(sent.size()));
    QCOMPARE(int(lines.count(QStringLiteral("    Block Data: 55667788"))), int(sent.size()));

    // Repeat off: one Go, one frame; nothing of the cycle is left.
    control<QAction>(w, "ContinuousMode1").trigger();
    run({.page = TagitPageIndex, .command = tagit::Inventory, .wire = "01 08 00 10 80 0D",
         .report = report("Read Tag-it Inventory:", {"    #   Tag Address", "    01  C0A80137", "    02  5D2E9A41"})});
    QCOMPARE(m_sim->requests().size(), before + sent.size() + 1);
}

void tst_E2eTags::addressedReaderAndTag()
{
    // The reader's address field comes first, the tag's UID or address after it.
    MainWindow &w = *m_window;
    w.session().options().addressReader = true;
    w.session().options().readerSerialNumber = QStringLiteral("4000123");
    w.session().options().isoBlockLength = 1;
    control<IsoPage>(w, "TSISO").applyBlockLength();
    const QString reader = QStringLiteral("34 30 30 30 31 32 33 00 ");
    run({.command = iso15693::ViewOneBlock, .address = kIso8, .block = "1",
         .wire = "01 19 00 10 B2 20 " + reader + kIso8Wire + " 01",
         .report = report("Read Tag Block:", {"    Block Number: 1", "    Block Data: FEDCBA9876543210"})});
    if (QTest::currentTestFailed())
        return;
    run({.page = TagitPageIndex, .command = tagit::ReadBlock, .address = "5D2E9A41", .block = "7",
         .wire = "01 15 00 10 B0 07 " + reader + "41 9A 2E 5D 07",
         .report = report("Read Tag Block:", {"    Block Number: 7", "    Locked ", "    Block Data: CAFEF00D"})});
}

QTEST_MAIN(tst_E2eTags)
#include "tst_e2e_tags.moc"
