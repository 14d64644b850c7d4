// The reader-configuration commands, byte by byte.
#include <QtTest>

#include "core/codecs/configframes.h"
#include "frames.h"
#include "core/wire/frame.h"

using namespace vexa;
using vexa::test::frameCheckHolds;
using vexa::test::hex;

namespace {
// What goes on the wire for a built frame, not addressed.
QByteArray wire(const CommandBuffer &buffer, int n)
{
    return wireFrame(buffer, n, false, QString());
}

CommandBuffer dirtyBuffer()
{
    CommandBuffer b;
    b.fill(0xA5); // builders must write every byte of their frame
    return b;
}
} // namespace

class tst_ConfigFrames : public QObject
{
    Q_OBJECT
private slots:
    void wireExamples_data();
    void wireExamples();
    void wiegandModes_data();
    void wiegandModes();
    void wiegandModeRule_data();
    void wiegandModeRule();
    void encryptionKey_data();
    void encryptionKey();
    void activationTimes_data();
    void activationTimes();
    void baudRates_data();
    void baudRates();
    void decimalText_data();
    void decimalText();
    void addressedFrameCarriesSerial();
};

void tst_ConfigFrames::wireExamples_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QByteArray>("expected");
    // 0 Wiegand UID 32 with AFI 5A, 1 Wiegand off, 2 encryption defaults,
    // 3 feedback both on, 4 LED green 100 ms, 5 RF on, 6 RF off, 7 baud 57600
    QTest::newRow("Wiegand ISO 15693 UID 32-Bit, AFI Medical/A") << 0 << hex("01 0B 00 10 80 ED 0A 02 5A 25 DA");
    QTest::newRow("Wiegand Off") << 1 << hex("01 0B 00 10 80 ED 0C 00 00 7B 84");
    QTest::newRow("encryption defaults")
        << 2 << hex("01 11 00 10 80 EC 00 00 00 00 00 00 00 00 00 6C 93");
    QTest::newRow("feedback audio and LED") << 3 << hex("01 0A 00 10 80 ED 07 0C 7D 82");
    QTest::newRow("activate LED green 100 ms") << 4 << hex("01 0C 00 10 80 EE 00 02 14 00 65 9A");
    QTest::newRow("RF on") << 5 << hex("01 0A 00 10 80 ED 04 00 72 8D");
    QTest::newRow("RF off") << 6 << hex("01 0A 00 10 80 ED 03 00 75 8A");
    QTest::newRow("baud 57600") << 7 << hex("01 0A 00 10 80 ED 11 00 67 98");
}

void tst_ConfigFrames::wireExamples()
{
    QFETCH(int, which);
    QFETCH(QByteArray, expected);
    CommandBuffer b = dirtyBuffer();
    ReaderOptions o;
    o.useAfi = true;
    o.isoAfiCategory = 5;
    o.isoAfiValue = 0x0A;
    int n = 0;
    switch (which) {
    case 0: n = buildWiegandCommand(b, 3, o); break;
    case 1: n = buildWiegandCommand(b, 0, o); break;
    case 2: n = buildEncryptionCommand(b, false, DesKey{1, 2, 3, 4, 5, 6, 7, 8}, false); break;
    case 3: n = buildFeedbackCommand(b, true, true); break;
    case 4: n = buildActivateLedCommand(b, LedColour::Green, 100); break;
    case 5: n = buildRfCommand(b, true); break;
    case 6: n = buildRfCommand(b, false); break;
    case 7: n = buildBaudRateCommand(b, 57600).value_or(0); break;
    }
    QCOMPARE(n, int(expected.size()));
    QCOMPARE(wire(b, n).toHex(' ').toUpper(), expected.toHex(' ').toUpper());
}

void tst_ConfigFrames::wiegandModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("useAfi");
    QTest::addColumn<QByteArray>("parameters"); // bytes 6 to 8
    // AFI family "Medical" (5), subcategory A: AFI byte 5A.
    const struct
    {
        const char *caption;
        const char *bytes;
        const char *withAfi;
    } rows[] = {
        {"Off", "0C 00 00", "0C 00 00"},
        {"ISO 15693 Card Data", "0A 01 00", "0A 01 5A"},
        {"ISO 15693 UID 26-Bit", "0A 00 00", "0A 00 5A"},
        {"ISO 15693 UID 32-Bit", "0A 02 00", "0A 02 5A"},
        {"ISO 15693 UID 36-Bit", "0A 03 00", "0A 03 5A"},
        {"ISO 15693 UID 64-Bit", "0A 04 00", "0A 04 5A"},
        {"ISO 15693 UID 64-Bit No Par", "0A 08 00", "0A 08 5A"},
        {"ISO 14443-A UID 32-Bit", "09 02 00", "09 02 00"},
        {"Tag-it UID 26-Bit", "0B 00 00", "0B 00 00"},
        {"Tag-it Encrypted Data", "0B 01 00", "0B 01 00"},
    };
    int index = 0;
    for (const auto &row : rows) {
        QCOMPARE(wiegandModeCaptions().value(index), QString::fromLatin1(row.caption));
        QTest::addRow("%s", row.caption) << index << false << hex(row.bytes);
        QTest::addRow("%s, Use AFI", row.caption) << index << true << hex(row.withAfi);
        ++index;
    }
    QTest::newRow("no item selected") << -1 << true << hex("0C 00 00");
    QTest::newRow("beyond the list") << 10 << true << hex("0C 00 00");
}

void tst_ConfigFrames::wiegandModes()
{
    QFETCH(int, mode);
    QFETCH(bool, useAfi);
    QFETCH(QByteArray, parameters);
    ReaderOptions o;
    o.useAfi = useAfi;
    o.isoAfiCategory = 5;
    o.isoAfiValue = 0x0A;
    CommandBuffer b = dirtyBuffer();
    const int n = buildWiegandCommand(b, mode, o);
    QCOMPARE(n, 11);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(b.data()), 6), hex("01 0B 00 10 40 ED"));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(b.data()) + 6, 3).toHex(' '), parameters.toHex(' '));
    QVERIFY(frameCheckHolds(b.data(), n));
}

void tst_ConfigFrames::wiegandModeRule_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("shows");
    QTest::newRow("no item") << -1 << true;
    QTest::newRow("Off") << 0 << false;
    for (int i = 1; i <= 6; ++i)
        QTest::addRow("ISO 15693 mode %d", i) << i << true;
    for (int i = 7; i <= 9; ++i)
        QTest::addRow("mode %d", i) << i << false;
}

void tst_ConfigFrames::wiegandModeRule()
{
    QFETCH(int, mode);
    QFETCH(bool, shows);
    QCOMPARE(wiegandModeShowsIsoOptions(mode), shows);
}

void tst_ConfigFrames::encryptionKey_data()
{
    QTest::addColumn<bool>("userKey");
    QTest::addColumn<bool>("plainText");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("parameters"); // bytes 6 to 14
    const QByteArray typed = hex("0123456789ABCDEF");
    QTest::newRow("default key") << false << false << typed << hex("00 0000000000000000");
    QTest::newRow("default key, plain text") << false << true << typed << hex("02 0000000000000000");
    QTest::newRow("user key in typed order") << true << false << typed << hex("01 0123456789ABCDEF");
    QTest::newRow("user key, plain text") << true << true << typed << hex("03 0123456789ABCDEF");
    QTest::newRow("partial key of 3 digits") << true << false << hex("ABC0000000000000") << hex("01 ABC0000000000000");
}

void tst_ConfigFrames::encryptionKey()
{
    QFETCH(bool, userKey);
    QFETCH(bool, plainText);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, parameters);
    DesKey k{};
    std::copy(key.begin(), key.end(), k.begin());
    CommandBuffer b = dirtyBuffer();
    const int n = buildEncryptionCommand(b, userKey, k, plainText);
    QCOMPARE(n, 17);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(b.data()), 6), hex("01 11 00 10 40 EC"));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(b.data()) + 6, 9).toHex(' '), parameters.toHex(' '));
    QVERIFY(frameCheckHolds(b.data(), n));
}

void tst_ConfigFrames::activationTimes_data()
{
    QTest::addColumn<int>("timeMs");
    QTest::addColumn<QByteArray>("units"); // low byte first
    QTest::newRow("100 ms") << 100 << hex("14 00");
    QTest::newRow("7 ms truncates") << 7 << hex("01 00");
    QTest::newRow("4 ms is nothing") << 4 << hex("00 00");
    QTest::newRow("-7 ms toward zero") << -7 << hex("FF FF");
    QTest::newRow("65535 units") << 327675 << hex("FF FF");
    QTest::newRow("65536 units keeps the low 16 bits") << 327680 << hex("00 00");
    QTest::newRow("1300 ms") << 1300 << hex("04 01");
}

void tst_ConfigFrames::activationTimes()
{
    QFETCH(int, timeMs);
    QFETCH(QByteArray, units);
    CommandBuffer led = dirtyBuffer();
    const int ledLength = buildActivateLedCommand(led, LedColour::Amber, timeMs);
    QCOMPARE(ledLength, 12);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(led.data()), 10),
             hex("01 0C 00 10 40 EE 00 03") + units);
    QVERIFY(frameCheckHolds(led.data(), ledLength));

    CommandBuffer audio = dirtyBuffer();
    const int audioLength = buildActivateAudioCommand(audio, timeMs);
    QCOMPARE(audioLength, 11);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(audio.data()), 9), hex("01 0B 00 10 40 EF 00") + units);
    QVERIFY(frameCheckHolds(audio.data(), audioLength));
}

void tst_ConfigFrames::baudRates_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("sub"); // -1: no frame
    QTest::addColumn<int>("item");
    QTest::newRow("9600") << 9600 << 0x0E << 9600;
    QTest::newRow("19200") << 19200 << 0x0F << 19200;
    QTest::newRow("38400") << 38400 << 0x10 << 38400;
    QTest::newRow("57600") << 57600 << 0x11 << 57600;
    QTest::newRow("115200") << 115200 << -1 << 57600;
    QTest::newRow("0") << 0 << -1 << 57600;
}

void tst_ConfigFrames::baudRates()
{
    QFETCH(int, rate);
    QFETCH(int, sub);
    QFETCH(int, item);
    QCOMPARE(baudItemRate(rate), item);
    CommandBuffer b = dirtyBuffer();
    const auto n = buildBaudRateCommand(b, rate);
    if (sub < 0) {
        QVERIFY(!n);
        QCOMPARE(b[0], uint8_t(0xA5));
        return;
    }
    QCOMPARE(n.value_or(0), 10);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(b.data()), 8), hex("01 0A 00 10 40 ED") + char(sub) + char(0));
    QVERIFY(frameCheckHolds(b.data(), 10));
}

void tst_ConfigFrames::decimalText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("100") << "100" << true << 100;
    QTest::newRow("blanks around") << " 25 " << true << 25;
    QTest::newRow("negative") << "-10" << true << -10;
    QTest::newRow("plus") << "+7" << true << 7;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("trailing letter") << "10x" << false << 0;
    QTest::newRow("inner blank") << "1 0" << false << 0;
    QTest::newRow("decimal point") << "1.5" << false << 0;
    QTest::newRow("beyond 32 bits") << "4294967296" << false << 0;
    QTest::newRow("largest") << "2147483647" << true << 2147483647;
}

void tst_ConfigFrames::decimalText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    const auto parsed = decimalTextToInt(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, value);
    QCOMPARE(invalidIntegerMessage(QStringLiteral("abc")), QStringLiteral("'abc' is not a valid integer value"));
}

void tst_ConfigFrames::addressedFrameCarriesSerial()
{
    CommandBuffer b{};
    const int n = buildRfCommand(b, true);
    const QByteArray sent = wireFrame(b, n, true, QStringLiteral("1234567"));
    QCOMPARE(sent.left(6), hex("01 12 00 10 A0 ED"));
    QCOMPARE(sent.mid(6, 8), hex("31 32 33 34 35 36 37 00"));
    QCOMPARE(sent.mid(14, 2), hex("04 00"));
    QVERIFY(frameCheckHolds(reinterpret_cast<const uint8_t *>(sent.constData()), int(sent.size())));
}

QTEST_APPLESS_MAIN(tst_ConfigFrames)
#include "tst_configframes.moc"
