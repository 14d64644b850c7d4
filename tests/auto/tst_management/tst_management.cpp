// Reports of reader-management answers and the status error lines.
#include <QtTest>

#include "core/codecs/management.h"
#include "frames.h"
#include "core/wire/frame.h"

using namespace vexa;
using vexa::test::answerFrame;
using vexa::test::hex;

namespace {
QStringList screen(const Report &r)
{
    QStringList lines;
    if (r.heading)
        lines << QStringLiteral("# ") + *r.heading;
    lines << r.lines;
    return lines;
}
} // namespace

class tst_Management : public QObject
{
    Q_OBJECT
private slots:
    void reports_data();
    void reports();
    void setupSetsFeedbackFlags();
    void loaderSetsComType_data();
    void loaderSetsComType();
    void statusErrors_data();
    void statusErrors();
    void shortAnswerReadsZeros();
};

void tst_Management::reports_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("version VexaIII, card edition")
        << answerFrame(0, 0xE0, hex("03 04 07 81") + QByteArray("4000123\0", 8))
        << QStringList{"# Reader Version: VexaIII", "    Card encoding edition", "    Serial number: 4000123",
                       "    4.03 -- Loaded Reader Version"};
    QTest::newRow("version Pelion, unnamed image, eight-char serial")
        << answerFrame(0, 0xE0, hex("0A 02 05 02") + QByteArray("ABCDEFGH"))
        << QStringList{"# Reader Version: Vexa Pelion", "    Serial number: ABCDEFGH", "    2.10"};
    QTest::newRow("version boot loader")
        << answerFrame(0, 0xE0, hex("01 01 00 01") + QByteArray(8, '\0'))
        << QStringList{"# Reader Version: VexaIII", "    Serial number: ", "    1.01 -- Loaded Boot Version"};
    QTest::newRow("information")
        << answerFrame(0, 0xEB, QByteArray("4000123\0", 8) + hex("10 27 93 01"))
        << QStringList{"# Reader Version: Vexa ", "    Serial number: 4000123", "    4.03 -- Loaded Reader Version",
                       "    Reader lifetime: 10000"};
    QTest::newRow("loader")
        << answerFrame(0, 0xE3, hex("07 04 01 02 02"))
        << QStringList{"# Reader Version: Vexa 4", "    Reader ASIC Type = Melexis 90121",
                       "    Reader Ver: 4.07 -- Com Type = USB", "    Boot Loader Com Type = Com Port"};
    QTest::newRow("loader usb virtual com")
        << answerFrame(0, 0xE3, hex("00 01 00 03 01"))
        << QStringList{"# Reader Version: Vexa 4", "    Reader ASIC Type = TI 6700",
                       "    Reader Ver: 1.00 -- Com Type = USB Virtual Com Port", "    Boot Loader Com Type = USB"};
    QTest::newRow("loader status 2 shows nothing") << answerFrame(2, 0xE3, hex("01")) << QStringList{};
    QTest::newRow("setup worked example")
        << answerFrame(0, 0xE7, hex("40 2D 01 30 00"))
        << QStringList{"# Reader Setup:", "    Baud: 19200", "    LED ON", "    Audio ON", "    RF Transmitter ON",
                       "    Wiegand mode ON - Read ISO 15693 tags", "    Report UID", "    Encryption - Default Key",
                       "    AFI: 30 - ID/Access Control"};
    QTest::newRow("setup wiegand off ignores AFI and key")
        << answerFrame(0, 0xE7, hex("00 00 03 D5 02"))
        << QStringList{"# Reader Setup:", "    Baud: 38400", "    LED OFF", "    Audio OFF", "    RF Transmitter OFF",
                       "    Wiegand mode OFF"};
    QTest::newRow("setup tag data, tag-it, user key")
        << answerFrame(0, 0xE7, hex("80 41 00 00 01"))
        << QStringList{"# Reader Setup:", "    Baud: 9600", "    LED OFF", "    Audio OFF", "    RF Transmitter ON",
                       "    Wiegand mode ON - Read TAG-IT tags", "    Report tag data", "    Encryption - User key"};
    QTest::newRow("setup 14443 plain")
        << answerFrame(0, 0xE7, hex("40 10 00 00 02"))
        << QStringList{"# Reader Setup:", "    Baud: 9600", "    LED OFF", "    Audio OFF", "    RF Transmitter OFF",
                       "    Wiegand mode ON - Read ISO 14443-A tags", "    Report UID", "    Encryption - Plain text"};
    QTest::newRow("setup all tags")
        << answerFrame(0, 0xE7, hex("40 70 00 00 00"))
        << QStringList{"# Reader Setup:", "    Baud: 9600", "    LED OFF", "    Audio OFF", "    RF Transmitter OFF",
                       "    Wiegand mode ON - Read all tags", "    Report UID", "    Encryption - Default Key"};
    QTest::newRow("setup AFI family without name")
        << answerFrame(0, 0xE7, hex("40 20 00 D5 00"))
        << QStringList{"# Reader Setup:", "    Baud: 9600", "    LED OFF", "    Audio OFF", "    RF Transmitter OFF",
                       "    Wiegand mode ON - Read ISO 15693 tags", "    Report UID", "    Encryption - Default Key",
                       "    AFI: D5 - "};
    QTest::newRow("diagnostics: heading only, whatever status")
        << answerFrame(2, 0xE6, hex("05 06 07")) << QStringList{"# Reader Get Diag:"};
    QTest::newRow("reset ok: separator only") << answerFrame(0, 0xE5) << QStringList{};
    QTest::newRow("config refused: error lines without heading")
        << answerFrame(2, 0xED, hex("02")) << QStringList{"    Command not supported by reader", ""};
    QTest::newRow("encryption ok") << answerFrame(0, 0xEC)
                                   << QStringList{"# Set Reader Encryption Options", "    Encryption parameters set"};
    QTest::newRow("LED refused") << answerFrame(2, 0xEE, hex("05"))
                                 << QStringList{"# Activate Reader LED:", "    General write failure", ""};
    QTest::newRow("audio ok") << answerFrame(0, 0xEF) << QStringList{"# Activate Reader Audio:", "    Command successful"};
}

void tst_Management::reports()
{
    QFETCH(QByteArray, frame);
    QFETCH(QStringList, expected);
    const ManagementOutcome out = reportManagementResponse(FrameView(frame));
    QVERIFY(out.report.separator);
    QCOMPARE(screen(out.report), expected);
}

void tst_Management::setupSetsFeedbackFlags()
{
    auto out = reportManagementResponse(FrameView(answerFrame(0, 0xE7, hex("00 08 00 00 00"))));
    QCOMPARE(out.audioOn, std::optional<bool>(true));
    QCOMPARE(out.ledOn, std::optional<bool>(false));
    out = reportManagementResponse(FrameView(answerFrame(0, 0xE0, hex("00 00 07 01"))));
    QVERIFY(!out.audioOn && !out.ledOn); // only the setup answer touches them
}

void tst_Management::loaderSetsComType_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("comType");
    QTest::newRow("com port") << answerFrame(0, 0xE3, hex("00 04 01 01 03")) << 1;
    QTest::newRow("usb") << answerFrame(0, 0xE3, hex("00 04 00 01 03")) << 2;
    QTest::newRow("status 1 still decoded") << answerFrame(1, 0xE3, hex("00 04 05 01 03")) << 2;
    QTest::newRow("status 2 keeps it") << answerFrame(2, 0xE3, hex("00 04 01 01 03")) << -1;
}

void tst_Management::loaderSetsComType()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, comType);
    const auto out = reportManagementResponse(FrameView(frame));
    QCOMPARE(out.bootLoaderComType.value_or(-1), comType);
}

void tst_Management::statusErrors_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("tag 0x12") << 1 << 0x12 << "Specified block locked, contents cannot be changed";
    QTest::newRow("tag 0x0F") << 1 << 0x0F << "Error - no information given";
    QTest::newRow("tag 0x05") << 1 << 0x05 << "Undefined error";
    QTest::newRow("tag 0x15 empty") << 1 << 0x15 << "";
    QTest::newRow("tag beyond table") << 1 << 0x40 << "Undefined error";
    QTest::newRow("reader 0x01") << 2 << 0x01 << "Transponder not found";
    QTest::newRow("reader 0x03") << 2 << 0x03 << "Packet BCC invalid";
    QTest::newRow("reader 0x06") << 2 << 0x06 << "Tag CRC error";
    QTest::newRow("reader 0x0A") << 2 << 0x0A << "Undefined error";
    QTest::newRow("reader beyond table") << 2 << 0xFF << "Undefined error";
    QTest::newRow("reader 0x00") << 2 << 0x00 << "";
    QTest::newRow("status 3") << 3 << 0x01 << "Undefined error";
}

void tst_Management::statusErrors()
{
    QFETCH(int, status);
    QFETCH(int, code);
    QFETCH(QString, text);
    Report r;
    appendStatusError(r, FrameView(answerFrame(uint8_t(status), 0x20, QByteArray(1, char(code)))));
    QCOMPARE(r.lines, (QStringList{QStringLiteral("    ") + text, QString()}));
}

void tst_Management::shortAnswerReadsZeros()
{
    // A version answer cut after the command code: nothing past the bytes
    // received is read; the fields read as zero.
    const QByteArray frame = hex("01 08 00 10 00 E0");
    const auto out = reportManagementResponse(FrameView(frame));
    QCOMPARE(screen(out.report), (QStringList{"# Reader Version: Vexa Pelion", "    Serial number: ",
                                              "    0.00 -- Loaded Boot Version"}));
}

QTEST_APPLESS_MAIN(tst_Management)
#include "tst_management.moc"
