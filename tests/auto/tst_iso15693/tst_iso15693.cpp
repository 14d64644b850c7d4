// ISO/IEC 15693 codec: request frames, refusals and answer reports.
#include <QTest>

#include "frames.h"
#include "core/codecs/iso15693.h"
#include "core/util/hextext.h"

using namespace vexa;
using vexa::test::answerFrame;
using vexa::test::hex;
using namespace vexa::iso15693;

Q_DECLARE_METATYPE(vexa::iso15693::Request)
Q_DECLARE_METATYPE(vexa::iso15693::Field)

namespace {


Request req(int command, std::function<void(Request &)> set = {})
{
    Request r;
    r.command = command;
    if (set)
        set(r);
    return r;
}

// The first refusal on the way from the fields to a frame.
std::optional<Refusal<Field>> refusalOf(const Request &r)
{
    if (auto refusal = checkFields(r))
        return refusal;
    CommandBuffer buffer{};
    return build(r, buffer).refusal;
}

const QString kUid = QStringLiteral("E0040100A1B2C3D4");
const char *kUidOnWire = "D4 C3 B2 A1 00 01 04 E0";

} // namespace

class TestIso15693 : public QObject
{
    Q_OBJECT
private slots:
    void requestFrame_data()
    {
        QTest::addColumn<Request>("request");
        QTest::addColumn<QByteArray>("expected"); // as built, without the frame check

        QTest::newRow("view one block 7") << req(ViewOneBlock, [](Request &r) { r.blockNumber = "7"; })
                                          << hex("01 09 00 10 22 20 07");
        QTest::newRow("view one block, UID reversed")
            << req(ViewOneBlock, [](Request &r) { r.useUid = true; r.uid = kUid; r.blockNumber = "7"; })
            << hex("01 11 00 10 32 20") + hex(kUidOnWire) + hex("07");
        QTest::newRow("short lower-case UID fills the top bytes")
            << req(ViewOneBlock, [](Request &r) { r.useUid = true; r.uid = "e00401"; r.blockNumber = "0"; })
            << hex("01 11 00 10 32 20 00 00 00 00 00 01 04 E0 00");
        QTest::newRow("UID typed but not used") << req(ViewOneBlock, [](Request &r) { r.uid = kUid; })
                                                << hex("01 09 00 10 22 20 00");
        QTest::newRow("view many blocks") << req(ViewManyBlocks, [](Request &r) { r.blockNumber = "3"; r.numBlocks = "32"; })
                                          << hex("01 0A 00 10 22 23 03 20");
        QTest::newRow("view factory data") << req(ViewFactoryData) << hex("01 08 00 10 22 2B");
        QTest::newRow("view factory data with UID")
            << req(ViewFactoryData, [](Request &r) { r.useUid = true; r.uid = kUid; })
            << hex("01 10 00 10 32 2B") + hex(kUidOnWire);
        QTest::newRow("program one block")
            << req(ProgramOneBlock, [](Request &r) { r.blockNumber = "5"; r.data = "11223344"; })
            << hex("01 0D 00 10 22 21 05 44 33 22 11");
        QTest::newRow("program one block, short data zero-filled")
            << req(ProgramOneBlock, [](Request &r) { r.blockNumber = "5"; r.data = "112"; })
            << hex("01 0D 00 10 22 21 05 00 00 20 11");
        QTest::newRow("program one block, 8-byte blocks")
            << req(ProgramOneBlock, [](Request &r) { r.isoBlockLength = 1; r.blockNumber = "5"; r.data = "1122334455667788"; })
            << hex("01 11 00 10 22 21 05 88 77 66 55 44 33 22 11");
        QTest::newRow("program one block, 8-byte blocks with UID")
            << req(ProgramOneBlock, [](Request &r) {
                   r.isoBlockLength = 1; r.useUid = true; r.uid = kUid; r.blockNumber = "1"; r.data = "11223344";
               })
            << hex("01 19 00 10 32 21") + hex(kUidOnWire) + hex("01 00 00 00 00 44 33 22 11");
        QTest::newRow("program many blocks")
            << req(ProgramManyBlocks, [](Request &r) {
                   r.blockNumber = "10"; r.numBlocks = "3"; r.gridValues = {"1", "2", "abcdef01"};
               })
            << hex("01 16 00 10 22 24 0A 03 01 00 00 00 02 00 00 00 01 EF CD AB");
        QTest::newRow("program many blocks: 4 bytes whatever the block length, empty row 0")
            << req(ProgramManyBlocks, [](Request &r) {
                   r.isoBlockLength = 1; r.blockNumber = "0"; r.numBlocks = "2"; r.gridValues = {"", "12345678"};
               })
            << hex("01 12 00 10 22 24 00 02 00 00 00 00 78 56 34 12");
        QTest::newRow("program AFI 9A") << req(ProgramAfi, [](Request &r) { r.afiFamily = 9; r.afiSubcategory = "a"; })
                                        << hex("01 09 00 10 22 27 9A");
        QTest::newRow("program AFI, Use UID with empty UID gives zero UID")
            << req(ProgramAfi, [](Request &r) { r.useUid = true; r.afiFamily = 1; r.afiSubcategory = "2"; })
            << hex("01 11 00 10 32 27 00 00 00 00 00 00 00 00 12");
        QTest::newRow("program DSFID 3F") << req(ProgramDsfid, [](Request &r) { r.data = "3F"; })
                                          << hex("01 09 00 10 22 29 3F");
        QTest::newRow("program DSFID one digit is a value") << req(ProgramDsfid, [](Request &r) { r.data = "3"; })
                                                            << hex("01 09 00 10 22 29 03");
        QTest::newRow("lock one block") << req(LockOneBlock, [](Request &r) { r.blockNumber = "12"; })
                                        << hex("01 09 00 10 22 22 0C");
        QTest::newRow("lock AFI") << req(LockAfi) << hex("01 08 00 10 22 28");
        QTest::newRow("lock DSFID with UID") << req(LockDsfid, [](Request &r) { r.useUid = true; r.uid = kUid; })
                                             << hex("01 10 00 10 32 2A") + hex(kUidOnWire);
        QTest::newRow("view lock status") << req(ViewLockStatus, [](Request &r) { r.blockNumber = "4"; r.numBlocks = "6"; })
                                          << hex("01 0A 00 10 22 2C 04 06");
        QTest::newRow("inventory with AFI 31")
            << req(Inventory, [](Request &r) { r.useAfi = true; r.afiFamily = 3; r.afiSubcategory = "1"; })
            << hex("01 09 00 10 22 01 31");
        QTest::newRow("inventory without AFI ignores list and field")
            << req(Inventory, [](Request &r) { r.afiFamily = 5; r.afiSubcategory = "Z"; })
            << hex("01 09 00 10 22 01 00");
        QTest::newRow("inventory never carries the UID")
            << req(Inventory, [](Request &r) { r.useUid = true; r.uid = kUid; }) << hex("01 09 00 10 22 01 00");
        QTest::newRow("isoConfig bits in the flags")
            << req(ViewOneBlock, [](Request &r) { r.isoConfig = 0x0F; r.useUid = true; r.uid = kUid; r.blockNumber = "255"; })
            << hex("01 11 00 10 3F 20") + hex(kUidOnWire) + hex("FF");
    }
    void requestFrame()
    {
        QFETCH(Request, request);
        QFETCH(QByteArray, expected);
        QVERIFY(!checkFields(request));
        CommandBuffer buffer{};
        const Built<Field> built = build(request, buffer);
        QVERIFY(built.ok());
        QCOMPARE(built.length, int(expected.size()) + 2);
        const QByteArray frame(reinterpret_cast<const char *>(buffer.data()), built.length);
        QCOMPARE(frame.left(expected.size()).toHex(' '), expected.toHex(' '));
        QVERIFY(vexa::test::frameCheckHolds(buffer.data(), built.length));
    }

    // As many blocks as the command buffer holds, and not one more.
    void programManyBlocksLimit_data()
    {
        QTest::addColumn<bool>("withUid");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("sent");
        QTest::newRow("33 blocks are sent") << false << 33 << true;
        QTest::newRow("47 without UID") << false << 47 << true;
        QTest::newRow("48 without UID") << false << 48 << false;
        QTest::newRow("45 with UID") << true << 45 << true;
        QTest::newRow("46 with UID") << true << 46 << false;
        QTest::newRow("hundreds") << false << 999 << false;
    }
    void programManyBlocksLimit()
    {
        QFETCH(bool, withUid);
        QFETCH(int, count);
        QFETCH(bool, sent);
        Request r = req(ProgramManyBlocks, [&](Request &r) {
            r.useUid = withUid;
            r.uid = kUid;
            r.numBlocks = QString::number(count);
            for (int i = 0; i < count; ++i)
                r.gridValues << QString::number(i, 16);
        });
        CommandBuffer buffer{};
        const Built<Field> built = build(r, buffer);
        QCOMPARE(built.ok(), sent);
        if (sent) {
            QCOMPARE(built.length, 10 + (withUid ? 8 : 0) + 4 * count);
            QVERIFY(built.length <= kCommandBufferSize);
            QCOMPARE(buffer[size_t(built.length - 6)], uint8_t(count - 1)); // last value, low byte
        } else {
            QCOMPARE(built.refusal->field, Field::NumBlocks);
            QCOMPARE(built.refusal->message, QStringLiteral("Number of blocks must be less than or equal to %1.")
                                                 .arg(withUid ? 45 : 47));
        }
    }

    void refusal_data()
    {
        QTest::addColumn<Request>("request");
        QTest::addColumn<QString>("message");
        QTest::addColumn<Field>("field");
        QTest::addColumn<int>("index");
        const QString required = QStringLiteral("Address field is required!");
        const QString dataRequired = QStringLiteral("Data field is required!");
        const QString notNumber = QStringLiteral("Block number must be a decimal number.");
        const QString countNotNumber = QStringLiteral("Number of blocks must be a decimal number.");

        for (int c : {ViewOneBlock, ViewManyBlocks, ViewFactoryData, ProgramManyBlocks, ViewLockStatus})
            QTest::addRow("UID required, command %d", c)
                << req(c, [](Request &r) { r.useUid = true; }) << required << Field::Uid << 0;
        QTest::newRow("view many: 33 blocks")
            << req(ViewManyBlocks, [](Request &r) { r.numBlocks = "33"; })
            << QStringLiteral("Number of blocks must be less than or equal to 32.") << Field::NumBlocks << 0;
        QTest::newRow("view many: UID check comes first")
            << req(ViewManyBlocks, [](Request &r) { r.useUid = true; r.numBlocks = "33"; }) << required << Field::Uid << 0;
        QTest::newRow("program one block: data before UID")
            << req(ProgramOneBlock, [](Request &r) { r.useUid = true; }) << dataRequired << Field::Data << 0;
        QTest::newRow("program one block: then UID")
            << req(ProgramOneBlock, [](Request &r) { r.useUid = true; r.data = "1"; }) << required << Field::Uid << 0;
        QTest::newRow("program DSFID: data required")
            << req(ProgramDsfid) << dataRequired << Field::Data << 0;
        QTest::newRow("data past a 4-byte block") << req(ProgramOneBlock, [](Request &r) { r.data = "112233445"; })
            << "Data takes at most 8 hexadecimal digits for a block length of 32 bits." << Field::Data << 0;
        QTest::newRow("bad data") << req(ProgramOneBlock, [](Request &r) { r.data = "12G4"; })
                                  << kInvalidHexMessage << Field::Data << 0;
        QTest::newRow("bad DSFID") << req(ProgramDsfid, [](Request &r) { r.data = "X"; })
                                   << kInvalidHexMessage << Field::Data << 0;
        QTest::newRow("bad data reported before bad UID")
            << req(ProgramOneBlock, [](Request &r) { r.data = "Q"; r.useUid = true; r.uid = "Q"; })
            << kInvalidHexMessage << Field::Data << 0;
        QTest::newRow("bad UID") << req(LockAfi, [](Request &r) { r.useUid = true; r.uid = "E004 01"; })
                                 << kInvalidHexMessage << Field::Uid << 0;
        QTest::newRow("bad AFI subcategory") << req(ProgramAfi, [](Request &r) { r.afiSubcategory = "G"; })
                                             << kInvalidHexMessage << Field::AfiSubcategory << 0;
        QTest::newRow("bad AFI subcategory, inventory with AFI")
            << req(Inventory, [](Request &r) { r.useAfi = true; r.afiSubcategory = "-"; })
            << kInvalidHexMessage << Field::AfiSubcategory << 0;
        QTest::newRow("bad grid row 2")
            << req(ProgramManyBlocks, [](Request &r) { r.numBlocks = "3"; r.gridValues = {"1", "xy", "3"}; })
            << kInvalidHexMessage << Field::WriteGrid << 2;
        QTest::newRow("block number 256")
            << req(LockOneBlock, [](Request &r) { r.blockNumber = "256"; })
            << QStringLiteral("Maximum block number is 255, please re-enter.") << Field::BlockNumber << 0;
        QTest::newRow("block number not a number") << req(ViewOneBlock, [](Request &r) { r.blockNumber = "1a"; })
                                                   << notNumber << Field::BlockNumber << 0;
        QTest::newRow("block number empty") << req(ProgramOneBlock, [](Request &r) { r.blockNumber = ""; r.data = "1"; })
                                            << notNumber << Field::BlockNumber << 0;
        QTest::newRow("count not a number") << req(ViewManyBlocks, [](Request &r) { r.numBlocks = "-1"; })
                                            << countNotNumber << Field::NumBlocks << 0;
        QTest::newRow("no command") << req(CommandCount) << QString() << Field::None << 0;
        QTest::newRow("lock status count beyond a byte")
            << req(ViewLockStatus, [](Request &r) { r.numBlocks = "256"; })
            << QStringLiteral("Number of blocks must be less than or equal to 255.") << Field::NumBlocks << 0;
    }
    void refusal()
    {
        QFETCH(Request, request);
        QFETCH(QString, message);
        QFETCH(Field, field);
        QFETCH(int, index);
        const auto refusal = refusalOf(request);
        QVERIFY(refusal);
        QCOMPARE(refusal->message, message);
        QCOMPARE(refusal->field, field);
        QCOMPARE(refusal->index, index);
    }

    void confirmations()
    {
        QCOMPARE(confirmation(LockOneBlock), QStringLiteral("Locked blocks can not be 'Unlocked', continue?"));
        QCOMPARE(confirmation(LockAfi), QStringLiteral("Locked AFI can not be 'Unlocked', continue?"));
        QCOMPARE(confirmation(LockDsfid), QStringLiteral("Locked DSFID can not be 'Unlocked', continue?"));
        for (int c : {ViewOneBlock, ProgramOneBlock, ProgramAfi, ProgramDsfid, Inventory})
            QVERIFY(confirmation(c).isEmpty());
    }

    void writeGridNumbers()
    {
        QCOMPARE(*writeGridBlockNumbers("10", "3"), QStringList({"10", "11", "12"}));
        QCOMPARE(*writeGridBlockNumbers("0", "0"), QStringList());
        QVERIFY(!writeGridBlockNumbers("", "3"));
        QVERIFY(!writeGridBlockNumbers("1", "x"));
        QCOMPARE(writeGridBlockNumbers("0", "99999999999")->size(), 999);
    }

    void report_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("blockLength");
        QTest::addColumn<QString>("heading"); // empty: none
        QTest::addColumn<QStringList>("lines");
        const QByteArray uid = hex(kUidOnWire);

        QTest::newRow("inventory none") << answerFrame(0, 0x01, hex("00 00")) << 0 << "ISO Inventory:"
                                        << QStringList{"    Transponder(s) not found"};
        QTest::newRow("inventory two") << answerFrame(0, 0x01, hex("00 02") + uid + hex("01 00 00 00 00 00 00 00")) << 0
                                       << "ISO Inventory:"
                                       << QStringList{"    #    UID    ", "    01   E0040100A1B2C3D4",
                                                      "    02   0000000000000001"};
        QTest::newRow("inventory claims more than it holds")
            << answerFrame(0, 0x01, hex("00 03") + uid) << 0 << "ISO Inventory:"
            << QStringList{"    #    UID    ", "    01   E0040100A1B2C3D4"};
        QTest::newRow("inventory error in byte 6") << answerFrame(2, 0x01, hex("01 00")) << 0 << "ISO Inventory:"
                                                   << QStringList{"    Transponder not found", ""};
        QTest::newRow("inventory byte 6 with status 0") << answerFrame(0, 0x01, hex("05")) << 0 << "ISO Inventory:"
                                                        << QStringList{"    Undefined error", ""};
        QTest::newRow("read block") << answerFrame(0, 0x20, hex("78 56 34 12 00 07")) << 0 << "Read Tag Block:"
                                    << QStringList{"    Block Number: 7", "    Block Data: 12345678"};
        QTest::newRow("read block, 8-byte blocks")
            << answerFrame(0, 0x20, hex("88 77 66 55 44 33 22 11 00 09")) << 1 << "Read Tag Block:"
            << QStringList{"    Block Number: 9", "    Block Data: 1122334455667788"};
        QTest::newRow("read block short") << answerFrame(0, 0x20, hex("78 56 34 12")) << 0 << "Read Tag Block:"
                                          << QStringList{"    Transponder not found"};
        QTest::newRow("read block tag error") << answerFrame(1, 0x20, hex("10")) << 0 << "Read Tag Block:"
                                              << QStringList{"    Specified block not available", ""};
        QTest::newRow("write block") << answerFrame(0, 0x21, {}) << 0 << "Write Tag Block:" << QStringList{"    Block written"};
        QTest::newRow("write block locked") << answerFrame(1, 0x21, hex("12")) << 0 << "Write Tag Block:"
                                            << QStringList{"    Specified block locked, contents cannot be changed", ""};
        QTest::newRow("lock block") << answerFrame(0, 0x22, {}) << 0 << "Lock Tag Block:" << QStringList{"    Block Locked"};
        QTest::newRow("write many") << answerFrame(0, 0x24, {}) << 0 << "Write Tag Multi-Block:"
                                    << QStringList{"    Block(s) written"};
        QTest::newRow("write AFI") << answerFrame(0, 0x27, {}) << 0 << "Write Tag AFI:" << QStringList{"    AFI written"};
        QTest::newRow("lock AFI") << answerFrame(0, 0x28, {}) << 0 << "Lock Tag AFI:" << QStringList{"    AFI Locked"};
        QTest::newRow("write DSFID") << answerFrame(0, 0x29, {}) << 0 << "Write Tag DSFID:" << QStringList{"    DSFID written"};
        QTest::newRow("lock DSFID") << answerFrame(0, 0x2A, {}) << 0 << "Lock Tag DSFID:" << QStringList{"    DSFID Locked"};
        QTest::newRow("lock DSFID failed") << answerFrame(3, 0x2A, hex("00")) << 0 << "Lock Tag DSFID:"
                                           << QStringList{"    Undefined error", ""};
        QTest::newRow("read many") << answerFrame(0, 0x23, hex("00 02 05 78 56 34 12 06 01 00 00 00")) << 0
                                   << "Read Tag Multi-Block:"
                                   << QStringList{"  Block    Value", "    05     12345678", "    06     00000001"};
        QTest::newRow("read many failed") << answerFrame(2, 0x23, hex("01")) << 0 << "Read Tag Multi-Block:"
                                          << QStringList{"    Transponder not found", ""};
        QTest::newRow("test, status not examined") << answerFrame(1, 0x26, hex("01")) << 0 << "Test:"
                                                   << QStringList{"    Test complete"};
        QTest::newRow("information, all fields")
            << answerFrame(0, 0x2B, hex("0F") + uid + hex("00 31 1B 03 01")) << 0 << "Read Tag Information:"
            << QStringList{"    UID:              E0040100A1B2C3D4", "    DSFID:            00",
                           "    AFI:              31: ID/Access Control", "    Block Size:       4",
                           "    Number of Blocks: 28", "    IC Reference:     01"};
        QTest::newRow("information, memory size only") << answerFrame(0, 0x2B, hex("04") + uid + hex("3F 07")) << 0
                                                       << "Read Tag Information:"
                                                       << QStringList{"    UID:              E0040100A1B2C3D4",
                                                                      "    Block Size:       8",
                                                                      "    Number of Blocks: 64"};
        QTest::newRow("information, the block size's upper bits are not its own")
            << answerFrame(0, 0x2B, hex("04") + uid + hex("3F E7")) << 0 << "Read Tag Information:"
            << QStringList{"    UID:              E0040100A1B2C3D4", "    Block Size:       8", "    Number of Blocks: 64"};
        QTest::newRow("information, AFI without family name") << answerFrame(0, 0x2B, hex("02") + uid + hex("D5")) << 0
                                                              << "Read Tag Information:"
                                                              << QStringList{"    UID:              E0040100A1B2C3D4",
                                                                             "    AFI:              D5: "};
        QTest::newRow("information, DSFID and IC reference") << answerFrame(0, 0x2B, hex("09") + uid + hex("AB 17")) << 0
                                                             << "Read Tag Information:"
                                                             << QStringList{"    UID:              E0040100A1B2C3D4",
                                                                            "    DSFID:            AB",
                                                                            "    IC Reference:     23"};
        QTest::newRow("information, UID only") << answerFrame(0, 0x2B, hex("00") + uid) << 0 << "Read Tag Information:"
                                               << QStringList{"    UID:              E0040100A1B2C3D4"};
        QTest::newRow("information short") << answerFrame(0, 0x2B, hex("00 01 02 03 04 05")) << 0
                                           << "Read Tag Information:" << QStringList{"    Transponder not found"};
        QTest::newRow("lock status") << answerFrame(0, 0x2C, hex("00 0A 03 01 00 05")) << 0
                                     << "Read Tag Multi-Block Security Status:"
                                     << QStringList{"  Block    Status", "    10      Locked", "    11      Unlocked",
                                                    "    12      Locked"};
        QTest::newRow("unknown code, status 0") << answerFrame(0, 0x30, {}) << 0 << QString() << QStringList{};
        QTest::newRow("unknown code, reader error") << answerFrame(2, 0x30, hex("06")) << 0 << QString()
                                                    << QStringList{"    Tag CRC error", ""};
    }
    void report()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, blockLength);
        QFETCH(QString, heading);
        QFETCH(QStringList, lines);
        const Report r = reportResponse(FrameView(frame), blockLength);
        QVERIFY(r.separator);
        QCOMPARE(r.heading.value_or(QString()), heading);
        QCOMPARE(r.heading.has_value(), !heading.isEmpty());
        QCOMPARE(r.lines, lines);
    }

    // A count byte that claims far more records than arrived reads nothing
    // beyond the received bytes (checked by the sanitizers too).
    void reportNeverReadsPastTheFrame()
    {
        for (uint8_t code : {0x01, 0x20, 0x23, 0x2B, 0x2C}) {
            QByteArray frame = answerFrame(0, code, hex("00 FF FF"));
            const Report r = reportResponse(FrameView(frame), 1);
            QVERIFY(r.lines.size() <= 2);
        }
    }
};

QTEST_GUILESS_MAIN(TestIso15693)
#include "tst_iso15693.moc"
