// ISO/IEC 14443-A codec: the Read UID request and the report of its answer.
#include <QTest>

#include "frames.h"
#include "core/codecs/iso14443.h"

using namespace vexa;
using vexa::test::answerFrame;
using vexa::test::hex;
using namespace vexa::iso14443;

namespace {


} // namespace

class TestIso14443 : public QObject
{
    Q_OBJECT
private slots:
    void readUidFrame()
    {
        CommandBuffer buffer{};
        QCOMPARE(build(ReadUid, buffer), 9);
        const QByteArray frame(reinterpret_cast<const char *>(buffer.data()), 9);
        QCOMPARE(frame.left(7).toHex(' '), hex("01 09 00 10 60 40 00").toHex(' '));
        const uint16_t check = computeFrameCheck(buffer.data(), 7);
        QCOMPARE(uint8_t(frame[7]), uint8_t(check & 0xFF));
        QCOMPARE(uint8_t(frame[8]), uint8_t(check >> 8));
    }

    void noCommandSelected()
    {
        CommandBuffer buffer{};
        QCOMPARE(build(-1, buffer), 0);
        QCOMPARE(buffer[0], uint8_t(0));
    }

    void report_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("heading"); // empty: none
        QTest::addColumn<QStringList>("lines");
        const QString heading = QStringLiteral("Read UID ISO 14443-A:");

        QTest::newRow("4-byte UID") << answerFrame(0, 0x40, hex("00 04 04 A1 B2 C3")) << heading
                                    << QStringList{"    UID: 04A1B2C3"};
        QTest::newRow("7-byte UID, first received byte first")
            << answerFrame(0, 0x40, hex("00 07 04 11 22 33 44 55 66")) << heading << QStringList{"    UID: 04112233445566"};
        QTest::newRow("4-byte UID with leading zero bytes") << answerFrame(0, 0x40, hex("00 04 00 00 0A 01")) << heading
                                                            << QStringList{"    UID: 00000A01"};
        QTest::newRow("10-byte UID, all digits")
            << answerFrame(0, 0x40, hex("00 0A 08 01 02 03 04 05 06 07 08 09")) << heading
            << QStringList{"    UID: 08010203040506070809"};
        QTest::newRow("length claims more than the frame holds")
            << answerFrame(0, 0x40, hex("00 0A 08 01 02 03")) << heading << QStringList{"    UID: 08010203"};
        QTest::newRow("empty UID") << answerFrame(0, 0x40, hex("00 00")) << heading << QStringList{"    UID: "};
        QTest::newRow("failed, whatever the status byte") << answerFrame(0, 0x40, hex("01")) << heading
                                                          << QStringList{"    Undefined error", ""};
        QTest::newRow("failed with reader error") << answerFrame(2, 0x40, hex("01 00")) << heading
                                                  << QStringList{"    Transponder not found", ""};
        QTest::newRow("other code, status 0") << answerFrame(0, 0x26, {}) << QString() << QStringList{};
        QTest::newRow("other code, status error") << answerFrame(2, 0x26, hex("02")) << QString()
                                                  << QStringList{"    Command not supported by reader", ""};
    }
    void report()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, heading);
        QFETCH(QStringList, lines);
        const Report r = reportResponse(FrameView(frame));
        QVERIFY(r.separator);
        QCOMPARE(r.heading.value_or(QString()), heading);
        QCOMPARE(r.heading.has_value(), !heading.isEmpty());
        QCOMPARE(r.lines, lines);
    }
};

QTEST_GUILESS_MAIN(TestIso14443)
#include "tst_iso14443.moc"
