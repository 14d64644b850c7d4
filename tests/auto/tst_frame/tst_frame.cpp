// Command frames on the wire: frame check, flags rewrite, address field,
// and judging received blocks.
#include <QtTest>

#include "frames.h"
#include "core/util/hextext.h"
#include "core/wire/frame.h"
#include "core/wire/reception.h"

using namespace vexa;
using vexa::test::hex;

class tst_Frame : public QObject
{
    Q_OBJECT
private slots:
    void frameCheck_data();
    void frameCheck();
    void wire_data();
    void wire();
    void addressedFrameKeepsStoredFrame();
    void addressedFrameAtBufferLimit();
    void blockCheck_data();
    void blockCheck();
    void responseCheckNeedsWholeLengthField();
    void receiveBufferDropsOverflow();
    void routing_data();
    void routing();
    void hexValue_data();
    void hexValue();
    void hexBytesKeepsUntouchedBytes();
};

void tst_Frame::frameCheck_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("check");
    QTest::newRow("empty") << QByteArray() << 0xFF00;
    QTest::newRow("setup request as built") << hex("01 08 00 10 40 E7") << 0x41BE;
    QTest::newRow("version on the wire") << hex("01 08 00 10 80 E0") << 0x8679;
    QTest::newRow("all ones") << hex("FF") << 0x00FF;
}

void tst_Frame::frameCheck()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, check);
    QCOMPARE(int(computeFrameCheck(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()))), check);
}

void tst_Frame::wire_data()
{
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<bool>("addressed");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("setup") << hex("01 08 00 10 40 E7 BE 41") << false << QString() << hex("01 08 00 10 80 E7 7E 81");
    QTest::newRow("setup addressed") << hex("01 08 00 10 40 E7 BE 41") << true << QStringLiteral("1234567")
                                     << hex("01 10 00 10 A0 E7 31 32 33 34 35 36 37 00 76 89");
    QTest::newRow("version") << hex("01 08 00 10 00 E0 00 00") << false << QString() << hex("01 08 00 10 80 E0 79 86");
    QTest::newRow("info") << hex("01 08 00 10 00 EB 00 00") << false << QString() << hex("01 08 00 10 80 EB 72 8D");
    QTest::newRow("test, isoConfig 2") << hex("01 08 00 10 22 26 00 00") << false << QString()
                                       << hex("01 08 00 10 82 26 BD 42");
    QTest::newRow("iso view one block") << hex("01 09 00 10 22 20 07 00 00") << false << QString()
                                        << hex("01 09 00 10 82 20 07 BD 42");
    QTest::newRow("flags 0x60 -> 0x80") << hex("01 08 00 10 60 40 00 00") << false << QString()
                                        << hex("01 08 00 10 80 40 D9 26");
    QTest::newRow("flags 0x1F -> 0x9F") << hex("01 08 00 10 1F 40 00 00") << false << QString()
                                        << hex("01 08 00 10 9F 40 C6 39");
    // A serial number shorter than seven characters is padded with zeros.
    QTest::newRow("short serial") << hex("01 08 00 10 00 E0 00 00") << true << QStringLiteral("12")
                                  << hex("01 10 00 10 A0 E0 31 32 00 00 00 00 00 00 42 BD");
}

void tst_Frame::wire()
{
    QFETCH(QByteArray, built);
    QFETCH(bool, addressed);
    QFETCH(QString, serial);
    QFETCH(QByteArray, expected);
    CommandBuffer buffer{};
    std::copy(built.begin(), built.end(), buffer.begin());
    const QByteArray wire = wireFrame(buffer, int(built.size()), addressed, serial);
    QCOMPARE(wire.toHex(' ').toUpper(), expected.toHex(' ').toUpper());
    // Every frame sent satisfies: XOR of all bytes == high check byte.
    uint8_t x = 0;
    for (char c : wire)
        x ^= uint8_t(c);
    QCOMPARE(x, uint8_t(wire.back()));
    QCOMPARE(uint8_t(wire[wire.size() - 2] ^ wire.back()), uint8_t(0xFF));
}

void tst_Frame::addressedFrameKeepsStoredFrame()
{
    CommandBuffer buffer{};
    writeHeader(buffer.data(), 10, 0x40, 0xED);
    buffer[6] = 0x04;
    writeFrameCheck(buffer.data(), 10);
    const CommandBuffer before = buffer;
    const QByteArray first = wireFrame(buffer, 10, true, QStringLiteral("4000123"));
    const QByteArray second = wireFrame(buffer, 10, true, QStringLiteral("4000123"));
    QCOMPARE(first, second);
    QVERIFY(buffer == before);
    QCOMPARE(first.size(), 18);
    QCOMPARE(uint8_t(first[1]), uint8_t(18));
    QCOMPARE(uint8_t(first[14]), uint8_t(0x04)); // parameters moved from 6 to 14
    QCOMPARE(first.mid(6, 8), QByteArray("4000123\0", 8));
}

void tst_Frame::addressedFrameAtBufferLimit()
{
    // A full 200-byte frame still gets its address field, without touching
    // memory past any buffer.
    CommandBuffer buffer{};
    writeHeader(buffer.data(), 200, 0x10, 0x24);
    for (int i = 6; i < 198; ++i)
        buffer[size_t(i)] = uint8_t(i);
    writeFrameCheck(buffer.data(), 200);
    const QByteArray wire = wireFrame(buffer, 200, true, QStringLiteral("ABCDEFGHIJ"));
    QCOMPARE(wire.size(), 208);
    QCOMPARE(uint8_t(wire[1]), uint8_t(208));
    QCOMPARE(wire.mid(6, 8), QByteArray("ABCDEFG\0", 8)); // cut to seven characters
    QCOMPARE(uint8_t(wire[205]), uint8_t(197));
    // Lengths past the buffer are clamped, never read beyond it.
    QCOMPARE(wireFrame(buffer, 5000, false, QString()).size(), 200);
}

void tst_Frame::blockCheck_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("start");
    QTest::newRow("one frame") << hex("01 08 00 10 00 E5 FC 03") << true << 0;
    QTest::newRow("bad check") << hex("01 08 00 10 00 E5 FC 04") << false << 0;
    QTest::newRow("complement wrong") << hex("01 08 00 10 00 E5 FC 02") << false << 0;
    QTest::newRow("short length") << hex("01 07 00 10 00 E5 FC 03") << false << 0;
    QTest::newRow("stray before") << hex("FF 01 08 00 10 00 E5 FC 03") << false << 1;
    QTest::newRow("two frames") << hex("01 08 00 10 00 E5 FC 03 01 08 00 10 00 E5 FC 03") << false << 0;
    QTest::newRow("no start byte") << hex("02 03 04") << false << -1;
    QTest::newRow("single byte") << hex("01") << false << 0;
}

void tst_Frame::blockCheck()
{
    QFETCH(QByteArray, block);
    QFETCH(bool, valid);
    QFETCH(int, start);
    const auto *bytes = reinterpret_cast<const uint8_t *>(block.constData());
    QCOMPARE(vexa::blockCheck(bytes, int(block.size())), valid);
    QCOMPARE(findStartByte(bytes, int(block.size())), start);
}

void tst_Frame::responseCheckNeedsWholeLengthField()
{
    QByteArray frame = hex("01 08 00 10 00 0C 00 00");
    writeFrameCheck(reinterpret_cast<uint8_t *>(frame.data()), 8);
    QVERIFY(responseCheck(FrameView(frame), 8));
    QVERIFY(!responseCheck(FrameView(frame), 9));
    frame[2] = 0x01; // high byte of the length set: 264 bytes claimed
    writeFrameCheck(reinterpret_cast<uint8_t *>(frame.data()), 8);
    QVERIFY(!responseCheck(FrameView(frame), 8));
    // A length larger than what was received is never read past the bytes.
    QVERIFY(!responseCheck(FrameView(reinterpret_cast<const uint8_t *>(frame.constData()), 4), 8));
}

void tst_Frame::receiveBufferDropsOverflow()
{
    ReceiveBuffer buffer;
    QByteArray chunk(5000, '\x01');
    buffer.append(reinterpret_cast<const uint8_t *>(chunk.constData()), int(chunk.size()));
    buffer.append(reinterpret_cast<const uint8_t *>(chunk.constData()), int(chunk.size()));
    QCOMPARE(buffer.count(), kReceiveBufferSize);
    QCOMPARE(buffer.dropped(), 10000 - kReceiveBufferSize);
    buffer.clear();
    QCOMPARE(buffer.count(), 0);
    QCOMPARE(buffer.dropped(), 0);
    // Reading past the received bytes gives 0, never stale bytes.
    buffer.append(reinterpret_cast<const uint8_t *>("\x01\x02"), 2);
    QCOMPARE(buffer.viewFrom(0)[5], uint8_t(0));
    // What --fast and the gap accept: a frame of which no byte was dropped,
    // though what was kept passes the check.
    QByteArray frame = hex("01 08 00 10 00 E5 00 00 FF");
    writeFrameCheck(reinterpret_cast<uint8_t *>(frame.data()), 8);
    for (const int capacity : {8, 9}) {
        ReceiveBuffer small(capacity);
        small.append(reinterpret_cast<const uint8_t *>(frame.constData()), 8);
        QVERIFY(small.holdsOneFrame());
        small.append(reinterpret_cast<const uint8_t *>(frame.constData()) + 8, 1);
        QVERIFY(!small.holdsOneFrame());
    }
}

void tst_Frame::routing_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("family");
    QTest::newRow("management on tag-it page") << 0xE0 << int(TagPage::Tagit) << int(ResponseFamily::Management);
    QTest::newRow("management on 14443 page") << 0xEF << int(TagPage::Iso14443) << int(ResponseFamily::Management);
    QTest::newRow("tag code on iso page") << 0x20 << int(TagPage::Iso15693) << int(ResponseFamily::Iso15693);
    QTest::newRow("tag code on tag-it page") << 0x20 << int(TagPage::Tagit) << int(ResponseFamily::Tagit);
    QTest::newRow("0xDF on 14443 page") << 0xDF << int(TagPage::Iso14443) << int(ResponseFamily::Iso14443);
}

void tst_Frame::routing()
{
    QFETCH(int, code);
    QFETCH(int, page);
    QFETCH(int, family);
    QCOMPARE(int(routeResponse(uint8_t(code), TagPage(page))), family);
}

void tst_Frame::hexValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<uint>("value");
    QTest::newRow("empty") << QString() << true << 0u;
    QTest::newRow("mixed case") << QStringLiteral("1aB") << true << 0x1ABu;
    QTest::newRow("eight digits") << QStringLiteral("12345678") << true << 0x12345678u;
    QTest::newRow("nine digits wrap") << QStringLiteral("123456789") << true << 0x23456789u;
    QTest::newRow("blank") << QStringLiteral("12 3") << false << 0u;
    QTest::newRow("letter g") << QStringLiteral("G") << false << 0u;
    QTest::newRow("sign") << QStringLiteral("-1") << false << 0u;
}

void tst_Frame::hexValue()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(uint, value);
    const auto result = hexTextToValue(text);
    QCOMPARE(result.has_value(), ok);
    if (ok)
        QCOMPARE(*result, value);
}

void tst_Frame::hexBytesKeepsUntouchedBytes()
{
    uint8_t key[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    QVERIFY(hexTextToBytes(QStringLiteral("abc"), key, 8));
    QCOMPARE(key[0], uint8_t(0xAB));
    QCOMPARE(key[1], uint8_t(0xC0));
    QCOMPARE(key[2], uint8_t(9));
    uint8_t small[2] = {0, 0};
    QVERIFY(hexTextToBytes(QStringLiteral("1122334455"), small, 2)); // never past the buffer
    QCOMPARE(small[1], uint8_t(0x22));
    uint8_t untouched[2] = {7, 7};
    QVERIFY(!hexTextToBytes(QStringLiteral("12x4"), untouched, 2));
    QCOMPARE(untouched[0], uint8_t(7));
}

QTEST_APPLESS_MAIN(tst_Frame)
#include "tst_frame.moc"
