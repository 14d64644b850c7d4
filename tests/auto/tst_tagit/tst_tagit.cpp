// Tag-it codec: request frames, refusals, range checks and answer reports.
#include <QTest>

#include "frames.h"
#include "core/codecs/tagit.h"
#include "core/util/hextext.h"

using namespace vexa;
using vexa::test::answerFrame;
using vexa::test::hex;
using namespace vexa::tagit;

Q_DECLARE_METATYPE(vexa::tagit::Request)
Q_DECLARE_METATYPE(vexa::tagit::Field)

namespace {


QByteArray spoilCheck(QByteArray frame)
{
    frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x01);
    return frame;
}

Request req(int command, std::function<void(Request &)> set = {})
{
    Request r;
    r.command = command;
    if (set)
        set(r);
    return r;
}

std::optional<Refusal<Field>> refusalOf(const Request &r)
{
    if (auto refusal = checkFields(r))
        return refusal;
    CommandBuffer buffer{};
    return build(r, buffer).refusal;
}

} // namespace

class TestTagit : public QObject
{
    Q_OBJECT
private slots:
    void requestFrame_data()
    {
        QTest::addColumn<Request>("request");
        QTest::addColumn<QByteArray>("expected"); // as built, without the frame check

        QTest::newRow("read tag version") << req(ReadTagVersion) << hex("01 08 00 10 00 05");
        QTest::newRow("read tag version at ab") << req(ReadTagVersion, [](Request &r) { r.useAddress = true; r.address = "ab"; })
                                                << hex("01 0C 00 10 10 05 AB 00 00 00");
        QTest::newRow("read block 3") << req(ReadBlock, [](Request &r) { r.blockNumber = "3"; })
                                      << hex("01 09 00 10 00 07 03");
        QTest::newRow("read block 5 at A1B2C3D4")
            << req(ReadBlock, [](Request &r) { r.blockNumber = "5"; r.useAddress = true; r.address = "A1B2C3D4"; })
            << hex("01 0D 00 10 10 07 D4 C3 B2 A1 05");
        QTest::newRow("address typed but not used")
            << req(ReadBlock, [](Request &r) { r.blockNumber = "5"; r.address = "A1B2C3D4"; })
            << hex("01 09 00 10 00 07 05");
        QTest::newRow("write block 2") << req(WriteBlock, [](Request &r) { r.blockNumber = "2"; r.blockData[0] = "12345678"; })
                                       << hex("01 0D 00 10 00 03 02 78 56 34 12");
        QTest::newRow("write block, value 1A") << req(WriteBlock, [](Request &r) { r.blockData[0] = "1a"; })
                                               << hex("01 0D 00 10 00 03 00 1A 00 00 00");
        QTest::newRow("lock block 4") << req(LockBlock, [](Request &r) { r.blockNumber = "4"; })
                                      << hex("01 09 00 10 00 04 04");
        QTest::newRow("lock block, empty address gives 0")
            << req(LockBlock, [](Request &r) { r.useAddress = true; r.blockNumber = "1"; })
            << hex("01 0D 00 10 10 04 00 00 00 00 01");
        QTest::newRow("write and lock, empty address and data give 0")
            << req(WriteAndLockBlock, [](Request &r) { r.useAddress = true; r.blockNumber = "1"; })
            << hex("01 11 00 10 10 06 00 00 00 00 01 00 00 00 00");
        QTest::newRow("read multi-block") << req(ReadMultiBlock, [](Request &r) { r.blockNumber = "2"; r.numBlocks = "3"; })
                                          << hex("01 0A 00 10 00 0A 02 03");
        QTest::newRow("write multi-block, two of eight fields")
            << req(WriteMultiBlock, [](Request &r) {
                   r.numBlocks = "2"; r.blockData = {"1", "2", "3", "4", "5", "6", "7", "8"};
               })
            << hex("01 12 00 10 00 08 00 02 01 00 00 00 02 00 00 00");
        QTest::newRow("write multi-block, eight at an address")
            << req(WriteMultiBlock, [](Request &r) {
                   r.useAddress = true; r.address = "1"; r.numBlocks = "8";
                   r.blockData = {"1", "2", "3", "4", "5", "6", "7", "FFFFFFFF"};
               })
            << hex("01 2E 00 10 10 08 01 00 00 00 00 08 01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00"
                   " 05 00 00 00 06 00 00 00 07 00 00 00 FF FF FF FF");
        QTest::newRow("lock multi-block") << req(LockMultiBlock, [](Request &r) { r.blockNumber = "7"; r.numBlocks = "1"; })
                                          << hex("01 0A 00 10 00 09 07 01");
        QTest::newRow("read block SID is never addressed")
            << req(ReadBlockSid, [](Request &r) { r.useAddress = true; r.address = "ZZ"; r.blockNumber = "3"; })
            << hex("01 09 00 10 00 0C 03");
        QTest::newRow("read multi-block SID")
            << req(ReadMultiBlockSid, [](Request &r) { r.useAddress = true; r.blockNumber = "0"; r.numBlocks = "8"; })
            << hex("01 0A 00 10 00 0B 00 08");
        QTest::newRow("inventory") << req(Inventory, [](Request &r) { r.useAddress = true; r.address = "12"; })
                                   << hex("01 08 00 10 00 0D");
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

    void refusal_data()
    {
        QTest::addColumn<Request>("request");
        QTest::addColumn<QString>("message");
        QTest::addColumn<Field>("field");
        QTest::addColumn<int>("index");
        const QString required = QStringLiteral("Address field is required!");

        for (int c : {ReadTagVersion, ReadBlock, ReadMultiBlock})
            QTest::addRow("address required, command %d", c)
                << req(c, [](Request &r) { r.useAddress = true; }) << required << Field::Address << 0;
        QTest::newRow("write block: data before address")
            << req(WriteBlock, [](Request &r) { r.useAddress = true; })
            << QStringLiteral("Block data field is required!") << Field::BlockData << 0;
        QTest::newRow("write block: then address")
            << req(WriteBlock, [](Request &r) { r.useAddress = true; r.blockData[0] = "1"; })
            << required << Field::Address << 0;
        QTest::newRow("bad data") << req(WriteBlock, [](Request &r) { r.blockData[0] = "XYZ"; })
                                  << kInvalidHexMessage << Field::BlockData << 0;
        QTest::newRow("bad hidden eighth field")
            << req(WriteMultiBlock, [](Request &r) { r.numBlocks = "1"; r.blockData[7] = "G"; })
            << kInvalidHexMessage << Field::BlockData << 7;
        QTest::newRow("bad address") << req(ReadBlock, [](Request &r) { r.useAddress = true; r.address = "GG"; })
                                     << kInvalidHexMessage << Field::Address << 0;
        QTest::newRow("data converted before address")
            << req(WriteAndLockBlock, [](Request &r) { r.useAddress = true; r.address = "G"; r.blockData[0] = "G"; })
            << kInvalidHexMessage << Field::BlockData << 0;
        QTest::newRow("block number not a number") << req(ReadBlock, [](Request &r) { r.blockNumber = "-"; })
                                                   << QStringLiteral("Block number must be a decimal number.")
                                                   << Field::BlockNumber << 0;
        QTest::newRow("block number 8") << req(LockBlock, [](Request &r) { r.blockNumber = "8"; })
                                        << QStringLiteral("Value must be <= 7") << Field::BlockNumber << 0;
        QTest::newRow("block number 10 (sorts before 7 as text)")
            << req(ReadBlock, [](Request &r) { r.blockNumber = "10"; })
            << QStringLiteral("Value must be <= 7") << Field::BlockNumber << 0;
        QTest::newRow("twelve blocks") << req(ReadMultiBlock, [](Request &r) { r.numBlocks = "12"; })
                                       << QStringLiteral("Value must be <= 8") << Field::NumBlocks << 0;
        QTest::newRow("no command") << req(-1) << QString() << Field::None << 0;
        QTest::newRow("nine blocks") << req(WriteMultiBlock, [](Request &r) { r.numBlocks = "9"; })
                                     << QStringLiteral("Value must be <= 8") << Field::NumBlocks << 0;
        QTest::newRow("number of blocks empty") << req(ReadMultiBlockSid, [](Request &r) { r.numBlocks = ""; })
                                                << QStringLiteral("Number of blocks must be a decimal number.")
                                                << Field::NumBlocks << 0;
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
        QCOMPARE(confirmation(LockBlock), QStringLiteral("Locked blocks can not be 'Unlocked', continue?"));
        for (int c = 0; c < CommandCount; ++c)
            if (c != LockBlock)
                QVERIFY(confirmation(c).isEmpty());
    }

    void rangeChecks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("blockNumberMessage");
        QTest::addColumn<QString>("numBlocksMessage");
        const QString over7 = QStringLiteral("Value must be <= 7");
        const QString over8 = QStringLiteral("Value must be <= 8");
        QTest::newRow("0") << "0" << "" << "";
        QTest::newRow("7") << "7" << "" << "";
        QTest::newRow("8") << "8" << over7 << "";
        QTest::newRow("9") << "9" << over7 << over8;
        QTest::newRow("letter") << "A" << over7 << over8;
        QTest::newRow("colon sorts after 9") << ":" << over7 << over8;
        QTest::newRow("empty passes") << "" << "" << "";
        QTest::newRow("hyphen passes") << "-" << "" << "";
    }
    void rangeChecks()
    {
        QFETCH(QString, text);
        QFETCH(QString, blockNumberMessage);
        QFETCH(QString, numBlocksMessage);
        QCOMPARE(blockNumberRangeMessage(text).value_or(QString()), blockNumberMessage);
        QCOMPARE(numBlocksRangeMessage(text).value_or(QString()), numBlocksMessage);
    }

    void report_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("heading"); // empty: none
        QTest::addColumn<QStringList>("lines");

        QTest::newRow("write block") << answerFrame(0, 0x03, {}) << "Write Tag Block:" << QStringList{"    Block written"};
        QTest::newRow("lock block") << answerFrame(0, 0x04, {}) << "Lock Tag Block:" << QStringList{"    Block Locked"};
        QTest::newRow("write and lock") << answerFrame(0, 0x06, {}) << "Write & Lock Tag Block:"
                                        << QStringList{"    Block written and locked"};
        QTest::newRow("write many") << answerFrame(0, 0x08, {}) << "Write Multi-Block:" << QStringList{"    Block(s) written"};
        QTest::newRow("lock many") << answerFrame(0, 0x09, {}) << "Lock Multi-Block:" << QStringList{"    Block(s) locked"};
        QTest::newRow("multi-block SID") << answerFrame(0, 0x0B, {}) << "Read Tag Multi-Block SID:" << QStringList{};
        QTest::newRow("multi-block SID failed") << answerFrame(2, 0x0B, hex("01")) << "Read Tag Multi-Block SID:"
                                                << QStringList{"    Transponder not found", ""};
        QTest::newRow("transponder details")
            << answerFrame(0, 0x05, hex("78 56 34 12 07 34 12 08 04")) << "Read Transponder Details:"
            << QStringList{"    Transponder ID:      12345678 hex", "    Manufacturer Number: 07",
                           "    Version Number:      1234", "    Number of blocks:    08",
                           "    Bytes per block:     04"};
        QTest::newRow("read block locked") << answerFrame(0, 0x07, hex("78 56 34 12 01 03")) << "Read Tag Block:"
                                           << QStringList{"    Block Number: 3", "    Locked ",
                                                          "    Block Data: 12345678"};
        QTest::newRow("read block unlocked") << answerFrame(0, 0x07, hex("0A 00 00 00 00 07")) << "Read Tag Block:"
                                             << QStringList{"    Block Number: 7", "    Unlocked ",
                                                            "    Block Data: 0000000A"};
        QTest::newRow("read multi-block")
            << answerFrame(0, 0x0A, hex("00 02 01 00 78 56 34 12 00 01 01 00 00 00")) << "Read Tag Multi-Block:"
            << QStringList{"  Block    Value        Lock Status", "    0     12345678      Locked",
                           "    1     00000001      Unlocked"};
        QTest::newRow("read multi-block failed") << answerFrame(1, 0x0A, hex("0F")) << "Read Tag Multi-Block:"
                                                 << QStringList{"    Error - no information given", ""};
        QTest::newRow("read multi-block claims more than it holds")
            << answerFrame(0, 0x0A, hex("00 09 01 00 78 56 34 12")) << "Read Tag Multi-Block:"
            << QStringList{"  Block    Value        Lock Status", "    0     12345678      Locked"};
        QTest::newRow("block SID none") << answerFrame(0, 0x0C, hex("00")) << "Read Tag Block SID:"
                                        << QStringList{"    No transponder(s) found"};
        QTest::newRow("block SID two")
            << answerFrame(0, 0x0C, hex("02 D4 C3 B2 A1 01 03 78 56 34 12 01 00 00 00 00 07 FF 00 00 00"))
            << "Read Tag Block SID:"
            << QStringList{"#   Address   Blk   Value    Lock Status", "01  A1B2C3D4   3   12345678    Locked",
                           "02  00000001   7   000000FF    Unlocked"};
        QTest::newRow("block SID with a wrong check is still reported")
            << spoilCheck(answerFrame(0, 0x0C, hex("00"))) << "Read Tag Block SID:"
            << QStringList{"    No transponder(s) found"};
        QTest::newRow("inventory none") << answerFrame(0, 0x0D, hex("00")) << "Read Tag-it Inventory:"
                                        << QStringList{"    No transponder(s) found"};
        QTest::newRow("inventory two") << answerFrame(0, 0x0D, hex("02 D4 C3 B2 A1 01 00 00 00")) << "Read Tag-it Inventory:"
                                       << QStringList{"    #   Tag Address", "    01  A1B2C3D4", "    02  00000001"};
        QTest::newRow("unknown code") << answerFrame(0, 0x30, {}) << QString() << QStringList{};
        QTest::newRow("unknown code, tag error") << answerFrame(1, 0x30, hex("01")) << QString()
                                                 << QStringList{"    Command not supported", ""};
    }
    void report()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, heading);
        QFETCH(QStringList, lines);
        const Report r = reportResponse(FrameView(frame), int(frame.size()));
        QVERIFY(r.separator);
        QCOMPARE(r.heading.value_or(QString()), heading);
        QCOMPARE(r.heading.has_value(), !heading.isEmpty());
        QCOMPARE(r.lines, lines);
    }

    // Every answer but 0x0C must be exactly the bytes received.
    void corrupted_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("received");
        const QByteArray readBlock = answerFrame(0, 0x07, hex("78 56 34 12 01 03"));
        QTest::newRow("wrong check") << spoilCheck(readBlock) << int(readBlock.size());
        QTest::newRow("fewer bytes than the length says") << readBlock << int(readBlock.size()) - 1;
        QTest::newRow("more bytes than the length says") << readBlock + hex("00") << int(readBlock.size()) + 1;
        QByteArray highLength = readBlock;
        highLength[2] = 0x01;
        QTest::newRow("length high byte") << highLength << int(readBlock.size());
        QTest::newRow("status error with wrong check") << spoilCheck(answerFrame(2, 0x0A, hex("01"))) << 9;
    }
    void corrupted()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, received);
        const Report r = reportResponse(FrameView(frame), received);
        QVERIFY(!r.separator);
        QCOMPARE(r.heading.value_or(QString()), QStringLiteral("Error: Corrupted data received"));
        QVERIFY(r.lines.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTagit)
#include "tst_tagit.moc"
