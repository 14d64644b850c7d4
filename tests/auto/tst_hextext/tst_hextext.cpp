// Hexadecimal text typed by the operator: values, bytes and rejection.
#include <QTest>

#include "core/util/hextext.h"

using namespace vexa;

class TestHexText : public QObject
{
    Q_OBJECT
private slots:
    void value_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<uint>("value");
        QTest::newRow("empty gives 0") << "" << true << 0u;
        QTest::newRow("first digit most significant") << "1A" << true << 0x1Au;
        QTest::newRow("lower case") << "abcdef" << true << 0xABCDEFu;
        QTest::newRow("mixed case") << "aBcD" << true << 0xABCDu;
        QTest::newRow("eight digits") << "12345678" << true << 0x12345678u;
        QTest::newRow("all ones") << "FFFFFFFF" << true << 0xFFFFFFFFu;
        QTest::newRow("ninth digit shifts out") << "123456789" << true << 0x23456789u;
        QTest::newRow("leading zeros") << "0007" << true << 7u;
        QTest::newRow("letter G") << "G" << false << 0u;
        QTest::newRow("bad after good") << "12X4" << false << 0u;
        QTest::newRow("blank") << "12 34" << false << 0u;
        QTest::newRow("sign") << "-1" << false << 0u;
        QTest::newRow("prefix") << "0x10" << false << 0u;
        QTest::newRow("fullwidth digit") << QStringLiteral("\uFF11") << false << 0u;
        QTest::newRow("superscript digit") << QStringLiteral("\u00B2") << false << 0u;
    }
    void value()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(uint, value);
        const auto result = hexTextToValue(text);
        QCOMPARE(result.has_value(), valid);
        if (valid)
            QCOMPARE(*result, value);
    }

    void bytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("expected"); // buffer after, starting as AA AA AA AA
        QTest::newRow("pairs in typed order") << "E00401" << 4 << true << QByteArray::fromHex("E00401AA");
        QTest::newRow("odd last digit high nibble") << "123" << 4 << true << QByteArray::fromHex("1230AAAA");
        QTest::newRow("lower case") << "abcd" << 4 << true << QByteArray::fromHex("ABCDAAAA");
        QTest::newRow("empty leaves buffer") << "" << 4 << true << QByteArray::fromHex("AAAAAAAA");
        QTest::newRow("longer than buffer") << "1122334455" << 2 << true << QByteArray::fromHex("1122AAAA");
        QTest::newRow("bad char changes nothing") << "11Z2" << 4 << false << QByteArray::fromHex("AAAAAAAA");
        QTest::newRow("bad char beyond buffer rejects") << "1122G" << 1 << false << QByteArray::fromHex("AAAAAAAA");
    }
    void bytes()
    {
        QFETCH(QString, text);
        QFETCH(int, size);
        QFETCH(bool, valid);
        QFETCH(QByteArray, expected);
        QByteArray buffer = QByteArray::fromHex("AAAAAAAA");
        const bool ok = hexTextToBytes(text, reinterpret_cast<uint8_t *>(buffer.data()), size);
        QCOMPARE(ok, valid);
        QCOMPARE(buffer.toHex(' '), expected.toHex(' '));
    }

    void message()
    {
        QCOMPARE(kInvalidHexMessage,
                 QStringLiteral("Provided data is not a valid hexadecimal number, please re-enter."));
    }
};

QTEST_GUILESS_MAIN(TestHexText)
#include "tst_hextext.moc"
