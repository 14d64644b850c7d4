// NDEF on vicinity tags: byte examples written out by hand, decoded and
// laid out, and what is refused.
#include <QTest>

#include "frames.h"
#include "core/codecs/ndef.h"

using namespace vexa::ndef;
using vexa::test::hex;

Q_DECLARE_METATYPE(vexa::ndef::TagLayout)

namespace {

const QByteArray kCc112 = hex("E1 40 0E 01"); // as phones find it on 28 blocks of 4 bytes
const QByteArray kUriRecord = hex("D1 01 0C 55 04 65 78 61 6D 70 6C 65 2E 63 6F 6D"); // https://example.com

// Memory of `size` bytes starting with `bytes`, zero after them.
QByteArray memory(const QByteArray &bytes, int size = 112)
{
    return bytes + QByteArray(qMax(0, size - int(bytes.size())), '\0');
}

QList<bool> locks(int count, QList<int> locked = {})
{
    QList<bool> l(count, false);
    for (int b : locked)
        l[b] = true;
    return l;
}

} // namespace

class TestNdef : public QObject
{
    Q_OBJECT
private slots:
    void blockValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<QByteArray>("bytes"); // empty: refused
        QTest::newRow("4 bytes, high first") << "12345678" << 4 << hex("78 56 34 12");
        QTest::newRow("8 bytes") << "0102030405060708" << 8 << hex("08 07 06 05 04 03 02 01");
        QTest::newRow("lower case") << "e1400e01" << 4 << hex("01 0E 40 E1");
        QTest::newRow("short is not guessed") << "1234" << 4 << QByteArray();
        QTest::newRow("not hexadecimal") << "1234567G" << 4 << QByteArray();
    }
    void blockValues()
    {
        QFETCH(QString, value);
        QFETCH(int, blockSize);
        QFETCH(QByteArray, bytes);
        QCOMPARE(blockBytes(value, blockSize).value_or(QByteArray()), bytes);
        if (!bytes.isEmpty())
            QCOMPARE(blockValueText(bytes), value.toUpper());
    }

    void records_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("URI with prefix") << kUriRecord << QStringList{"URI: https://example.com"};
        QTest::newRow("text UTF-8") << hex("D1 01 08 54 02 65 6E 48 65 6C 6C 6F") << QStringList{"Text (en): Hello"};
        const QStringList hi{"Text (en, UTF-16): Hi"};
        QTest::newRow("text UTF-16, big-endian BOM") << hex("D1 01 09 54 82 65 6E FE FF 00 48 00 69") << hi;
        QTest::newRow("text UTF-16, little-endian BOM") << hex("D1 01 09 54 82 65 6E FF FE 48 00 69 00") << hi;
        QTest::newRow("text UTF-16 without BOM is big-endian") << hex("D1 01 07 54 82 65 6E 00 48 00 69") << hi;
        QTest::newRow("MIME") << hex("D2 0A 0B") + "text/vcard" + "BEGIN:VCARD" << QStringList{"MIME text/vcard: 11 bytes"};
        QTest::newRow("empty") << hex("D0 00 00") << QStringList{"Empty record"};
        QTest::newRow("smart poster")
            << hex("D1 02 1C 53 70 91 01 08 55 02 6E 66 63 2E 6F 72 67 11 01 05 54 02 65 6E 48 69 51 03 01 61 63 74 00")
            << QStringList{"Smart poster:", "  URI: https://www.nfc.org", "  Text (en): Hi", "  Action: do the action"};
        QTest::newRow("absolute URI") << hex("D3 12 00") + "http://example.com" << QStringList{"Absolute URI: http://example.com"};
        QTest::newRow("external") << hex("D4 0F 03") + "android.com:pkg" + "a.b" << QStringList{"External android.com:pkg: 61 2E 62"};
        QTest::newRow("unknown TNF 5") << hex("D5 00 02 AB CD") << QStringList{"Unknown type: AB CD"};
        QTest::newRow("reserved TNF 7") << hex("D7 01 01 78 FF") << QStringList{"TNF 7, type x: FF"};
        QTest::newRow("ID and no prefix") << hex("D9 01 02 02 55 69 64 00 41") << QStringList{"URI: A", "  ID: id"};
        QTest::newRow("chunks joined") << hex("B1 01 04 54 02 65 6E 48 36 00 01 65 56 00 01 79") << QStringList{"Text (en): Hey (in 3 chunks)"};
        QTest::newRow("two records") << hex("90 00 00 51 01 02 55 05 31") << QStringList{"Empty record", "URI: tel:1"};
        QTest::newRow("line break shown as escape") << hex("D1 01 06 54 02 65 6E 61 0A 62") << QStringList{"Text (en): a\\u000Ab"};
        // Malformed: what was read, then why it stopped.
        QTest::newRow("unknown URI prefix") << hex("D1 01 02 55 30 41")
                                            << QStringList{"Well-known U: 30 41", "  Malformed: Unknown URI prefix code 30."};
        QTest::newRow("language past payload")
            << hex("D1 01 02 54 05 65")
            << QStringList{"Well-known T: 05 65", "  Malformed: The language code of 5 bytes runs past the payload."};
        QTest::newRow("odd UTF-16") << hex("D1 01 04 54 82 65 6E 00")
                                    << QStringList{"Text (en, UTF-16): ",
                                                   "  Malformed: The UTF-16 text has an odd number of bytes; the last is "
                                                   "left out."};
        QTest::newRow("cut in header") << hex("D1 01") << QStringList{"Malformed: The record at byte 0 is cut short in its header."};
        QTest::newRow("payload past message") << hex("D1 01 0C 55 04 65") << QStringList{"Malformed: The record at byte 0 needs 13 bytes; 3 are left."};
        QTest::newRow("4-byte length near 4 GB") << hex("C1 01 FF FF FF FF 55") << QStringList{"Malformed: The record at byte 0 needs 4294967296 bytes; 1 are left."};
        QTest::newRow("no MB") << hex("51 01 01 55 00") << QStringList{"Malformed: The first record does not say it begins the message."};
        QTest::newRow("no ME") << hex("90 00 00") << QStringList{"Empty record", "Malformed: The message ends without a last record."};
        QTest::newRow("bytes after ME") << hex("D0 00 00 00") << QStringList{
            "Empty record", "Malformed: The message goes on after its last record, at byte 3."};
        QTest::newRow("chunk cut off") << hex("B1 01 01 54 02") << QStringList{"Malformed: The message ends inside a chunked record."};
        QTest::newRow("empty with payload") << hex("D0 00 01 00") << QStringList{
            "Empty record", "  Malformed: An empty record carries a type, an ID or a payload."};
    }
    void records()
    {
        QFETCH(QByteArray, message);
        QFETCH(QStringList, lines);
        QCOMPARE(messageLines(decodeMessage(message)), lines);
    }

    void tags_data()
    {
        const QString cc112 = QStringLiteral("Capability container: E1 40 0E 01, version 1.0, 112 bytes of data, read "
                                             "always, write always");
        const QString cc8 = QStringLiteral("Capability container: E1 40 01 01, version 1.0, 8 bytes of data, read "
                                           "always, write always");
        QTest::addColumn<QByteArray>("memory");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("phone-style URI tag") << memory(kCc112 + hex("03 10") + kUriRecord + hex("FE"))
                                             << QStringList{cc112, "NDEF message: 16 bytes at byte 4",
                                                            "URI: https://example.com"};
        QTest::newRow("8-byte CC, 3-byte TLV length")
            << memory(hex("E2 40 00 01 00 00 00 FF 03 FF 01 00 C2 0A 00 00 00 F0") + "text/vcard" + QByteArray(240, 'x'),
                      2048)
            << QStringList{"Capability container: E2 40 00 01 00 00 00 FF, version 1.0, 2040 bytes of data, read "
                           "always, write always",
                           "NDEF message: 256 bytes at byte 8", "MIME text/vcard: 240 bytes"};
        QTest::newRow("NULL and proprietary TLVs skipped")
            << memory(kCc112 + hex("00 00 FD 02 AA BB 03 03 D0 00 00 FE"))
            << QStringList{cc112, "NDEF message: 3 bytes at byte 10", "Empty record"};
        QTest::newRow("empty NDEF TLV") << memory(kCc112 + hex("03 00 FE")) << QStringList{cc112, "NDEF message: 0 bytes at byte 4", "Empty NDEF message"};
        QTest::newRow("terminator first") << memory(kCc112 + hex("FE 03 10")) << QStringList{cc112, "No NDEF message: the terminator TLV at byte 4 comes first."};
        QTest::newRow("bad magic") << memory(hex("00 40 0E 01 03 10")) << QStringList{"No capability container: byte 0 is 00, not E1 or E2."};
        QTest::newRow("too short for a CC") << hex("E1 40") << QStringList{"The memory is too short for a capability container (2 bytes)."};
        QTest::newRow("version 2") << memory(hex("E1 80 0E 01")) << QStringList{"The capability container is of version 2.0; only version 1 is read."};
        QTest::newRow("length past memory")
            << (kCc112 + hex("03 20") + kUriRecord).left(16)
            << QStringList{cc112, "NDEF message: 32 bytes at byte 4",
                           "The NDEF message at byte 4 claims 32 bytes, but the data area ends after 10 of them."};
        QTest::newRow("MLEN ends the area first")
            << memory(hex("E1 40 01 01 03 10") + kUriRecord)
            << QStringList{cc8, "NDEF message: 16 bytes at byte 4",
                           "The NDEF message at byte 4 claims 16 bytes, but the data area ends after 6 of them."};
        QTest::newRow("only NULL TLVs") << memory(hex("E1 40 01 01")) << QStringList{cc8, "No NDEF message TLV before the end of the data area (byte 12)."};
        QTest::newRow("MLEN after the CC: read to its end")
            << memory(hex("E1 40 01 01 03 06 D1 01 02 55 00 41"), 16)
            << QStringList{cc8, "NDEF message: 6 bytes at byte 4", "URI: A"};
        QTest::newRow("3-byte length cut") << hex("E1 40 01 01 00 00 00 00 00 00 03 FF")
                                           << QStringList{cc8, "The TLV at byte 10 has its three-byte length cut by the end of the data area."};
    }
    void tags()
    {
        QFETCH(QByteArray, memory);
        QFETCH(QStringList, lines);
        QCOMPARE(tagLines(readTag(memory)), lines);
    }

    void fields()
    {
        const QVariantMap f = tagFields(readTag(memory(kCc112 + hex("03 10") + kUriRecord)));
        QCOMPARE(f.value("capabilityContainer").toMap().value("bytes").toString(), "E1400E01");
        QCOMPARE(f.value("length").toInt(), 16);
        const QVariantMap record = f.value("records").toList().value(0).toMap();
        QCOMPARE(record.value("kind").toString(), "uri");
        QCOMPARE(record.value("uri").toString(), "https://example.com");
        QCOMPARE(record.value("payload").toString(), "046578616D706C652E636F6D");
    }

    // What a phone finds after a URI is written to a fresh tag.
    void formattedUriTag()
    {
        const Layout l = layout({4, 28, locks(28), memory({}), true}, encodeUri("https://example.com").bytes);
        QVERIFY2(l.refusal.isEmpty(), qPrintable(l.refusal));
        QCOMPARE(l.memory, memory(kCc112 + hex("03 10") + kUriRecord + hex("FE")));
        QCOMPARE(l.writes.size(), 6);
        QCOMPARE(l.writes.last().block, 5);
        QCOMPARE(l.writes.last().bytes, hex("6F 6D FE 00"));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("blockCount");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("tel") << encodeUri("tel:+4930123").bytes << 28 << QStringList{"URI: tel:+4930123"};
        QTest::newRow("longest prefix wins") << encodeUri("urn:epc:id:sgtin:1").bytes << 28 << QStringList{"URI: urn:epc:id:sgtin:1"};
        QTest::newRow("no prefix") << encodeUri("geo:52.5,13.4").bytes << 28 << QStringList{"URI: geo:52.5,13.4"};
        QTest::newRow("text UTF-8") << encodeText(QStringLiteral("Grüße"), "de").bytes << 28 << QStringList{QStringLiteral("Text (de): Grüße")};
        QTest::newRow("long record, 3-byte TLV") << encodeText(QString(300, 'a'), "en-US").bytes << 128 << QStringList{"Text (en-US): " + QString(300, 'a')};
    }
    void roundTrip()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, blockCount);
        QFETCH(QStringList, lines);
        const Layout l = layout({4, blockCount, locks(blockCount), memory({}, 4 * blockCount), true}, message);
        QVERIFY2(l.refusal.isEmpty(), qPrintable(l.refusal));
        QCOMPARE(messageLines(readTag(l.memory).message), lines);
    }

    // The capability container a format writes, and the longest message the
    // tag then takes: the room is measured as the CC tells it.
    void room_data()
    {
        QTest::addColumn<int>("blockCount");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<QByteArray>("cc"); // the tag's own; empty: formatted
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<int>("largest");
        QTest::newRow("256 bytes") << 64 << 4 << QByteArray() << hex("E1 40 20 01") << 250;
        QTest::newRow("2040 bytes, one-byte MLEN") << 255 << 8 << QByteArray() << hex("E1 40 FF 01") << 2032;
        QTest::newRow("2048 bytes, 8-byte CC") << 256 << 8 << QByteArray() << hex("E1 40 00 01 00 00 01 00") << 2036;
        QTest::newRow("MLEN after the CC kept") << 64 << 4 << hex("E1 40 1F 01") << hex("E1 40 1F 01") << 242;
    }
    void room()
    {
        QFETCH(int, blockCount);
        QFETCH(int, blockSize);
        QFETCH(QByteArray, cc);
        QFETCH(QByteArray, written);
        QFETCH(int, largest);
        const int total = blockCount * blockSize;
        const TagLayout tag{blockSize, blockCount, locks(blockCount), memory(cc, total), cc.isEmpty()};
        const Layout fits = layout(tag, QByteArray(largest, 'x'));
        QVERIFY2(fits.refusal.isEmpty(), qPrintable(fits.refusal));
        QCOMPARE(fits.memory.left(written.size()), written);
        const int header = largest + 1 < 0xFF ? 2 : 4;
        QCOMPARE(layout(tag, QByteArray(largest + 1, 'x')).refusal,
                 QStringLiteral("The NDEF message takes %1 bytes with its TLV header; the tag holds %2 from byte %3.")
                     .arg(largest + 1 + header)
                     .arg(largest + header)
                     .arg(written.size()));
    }

    void tlvLength_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("header"); // empty: refused
        QTest::newRow("254, one byte") << 254 << hex("03 FE");
        QTest::newRow("255, three bytes") << 255 << hex("03 FF 00 FF");
        QTest::newRow("256") << 256 << hex("03 FF 01 00");
        QTest::newRow("65534, the most") << 0xFFFE << hex("03 FF FF FE");
        QTest::newRow("65535 refused") << 0xFFFF << QByteArray();
    }
    void tlvLength()
    {
        QFETCH(int, length);
        QFETCH(QByteArray, header);
        const Encoded tlv = wrapTlv(QByteArray(length, 'x'));
        QCOMPARE(tlv.refusal.isEmpty(), !header.isEmpty());
        QCOMPARE(tlv.bytes.left(header.size()), header);
        QCOMPARE(tlv.bytes.size(), header.isEmpty() ? 0 : header.size() + length);
    }

    // The URI identifier codes as the NFC Forum URI record table lists them.
    void uriPrefixes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("prefix"); // "-": no URI
        const char *table[] = {"", "http://www.", "https://www.", "http://", "https://", "tel:", "mailto:",
                               "ftp://anonymous:anonymous@", "ftp://ftp.", "ftps://", "sftp://", "smb://",
                               "nfs://", "ftp://", "dav://", "news:", "telnet://", "imap:", "rtsp://", "urn:",
                               "pop:", "sip:", "sips:", "tftp:", "btspp://", "btl2cap://", "btgoep://",
                               "tcpobex://", "irdaobex://", "file://", "urn:epc:id:", "urn:epc:tag:",
                               "urn:epc:pat:", "urn:epc:raw:", "urn:epc:", "urn:nfc:"};
        for (int code = 0; code < int(std::size(table)); ++code)
            QTest::addRow("%02X", code) << code << QString::fromLatin1(table[code]);
        QTest::newRow("24, past the table") << 0x24 << "-";
        QTest::newRow("FF") << 0xFF << "-";
    }
    void uriPrefixes()
    {
        QFETCH(int, code);
        QFETCH(QString, prefix);
        const auto uri = uriFromPayload(char(code) + QByteArray("a/b"));
        QCOMPARE(uri.value_or(QStringLiteral("-")), prefix == "-" ? prefix : prefix + "a/b");
    }

    void prefixChosen()
    {
        QCOMPARE(encodeUri("urn:epc:id:x").bytes.at(4), char(0x1E));
        QCOMPARE(encodeUri("https://www.a").bytes.at(4), char(0x02));
    }

    void refusals_data()
    {
        const QByteArray formatted = memory(hex("E1 40 0D 01 03 00 FE"));
        QTest::addColumn<TagLayout>("tag");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("refusal");
        const QByteArray uri = encodeUri("https://example.com").bytes;
        QTest::newRow("too long") << TagLayout{4, 28, locks(28), formatted, false} << encodeText(QString(92, 'a'), "en").bytes
                                  << "The NDEF message takes 101 bytes with its TLV header; the tag holds 100 from byte 4.";
        QTest::newRow("locked block") << TagLayout{4, 28, locks(28, {2}), formatted, false} << uri << "Block 2 is locked; the NDEF message needs to change it.";
        QTest::newRow("no CC") << TagLayout{4, 28, locks(28), memory({}), false} << uri << "No capability container: byte 0 is 00, not E1 or E2. Format the tag to write one.";
        QTest::newRow("read-only CC") << TagLayout{4, 28, locks(28), memory(hex("E1 43 0D 01")), false} << uri << "The capability container does not allow writing (write access 3).";
        QTest::newRow("too small to format") << TagLayout{4, 2, locks(2), memory({}, 8), true} << uri << "The NDEF message takes 18 bytes with its TLV header; the tag holds 4 from byte 4.";
        QTest::newRow("lock states missing") << TagLayout{4, 28, locks(27), formatted, false} << uri << "The lock states of 27 blocks were read; the tag has 28.";
        QTest::newRow("locked CC block unchanged") << TagLayout{4, 28, locks(28, {0}), formatted, false} << uri << QString();
        QTest::newRow("message after a proprietary TLV")
            << TagLayout{4, 28, locks(28, {0, 1}), memory(hex("E1 40 0D 01 FD 01 AA 03 00 FE")), false} << uri
            << QString();
    }
    void refusals()
    {
        QFETCH(TagLayout, tag);
        QFETCH(QByteArray, message);
        QFETCH(QString, refusal);
        const Layout l = layout(tag, message);
        QCOMPARE(l.refusal, refusal);
        QCOMPARE(l.writes.isEmpty(), !refusal.isEmpty());
        if (refusal.isEmpty())
            QCOMPARE(messageLines(readTag(l.memory).message), QStringList{"URI: https://example.com"});
    }

    void encodeRefusals()
    {
        QCOMPARE(encodeUri("").refusal, "No URI given.");
        for (const QString &language : {QString(), QString(64, 'a'), QStringLiteral("d e"), QStringLiteral("ü")})
            QVERIFY(encodeText("x", language).bytes.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestNdef)
#include "tst_ndef.moc"
