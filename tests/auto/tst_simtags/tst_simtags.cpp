// The simulator's tags without a line: requests in the form the reader hands
// them to its field (flags as on the wire, command code, parameters after
// the reader's own address field), answers as status and payload.
#include <QtTest>

#include "airtime.h"
#include "core/wire/frame.h"
#include "readermodel.h"
#include "tagcollection.h"
#include "tagline.h"

using namespace vexa::sim;

namespace {

// "92 20 <uid> 07": flags, code, parameters.
TagRequest request(const QString &text)
{
    const QByteArray bytes = QByteArray::fromHex(text.toLatin1());
    return {uint8_t(bytes.at(0)), uint8_t(bytes.at(1)), bytes.mid(2)};
}

// Status byte, then the payload: "01 12".
QString answerText(const Answer &answer)
{
    return QString::fromLatin1((QByteArray(1, char(answer.status)) + answer.payload).toHex(' ').toUpper());
}

void fill(TagCollection &field, const QStringList &lines)
{
    for (const QString &line : lines) {
        const TagParse parsed = parseTagLine(line);
        QVERIFY2(parsed.tag, qPrintable(parsed.error));
        QCOMPARE(field.add(*parsed.tag), QString());
    }
}

// Wire forms of the UIDs and addresses below, least significant byte first.
const QString kUid4 = QStringLiteral("F2 93 6A 1C 50 01 04 E0");  // E00401501C6A93F2, 4-byte blocks
const QString kUid8 = QStringLiteral("F7 E6 D5 C4 12 01 08 E0");  // E0080112C4D5E6F7, 8-byte blocks
const QString kUidL = QStringLiteral("D4 C3 B2 A1 00 00 07 E0");  // E0070000A1B2C3D4, locks set
const QString kAbsent = QStringLiteral("01 02 03 04 05 06 07 E0");
const QString kAddr1 = QStringLiteral("37 01 A8 C0");             // C0A80137
const QString kAddr2 = QStringLiteral("41 9A 2E 5D");             // 5D2E9A41, block 7 locked

const QStringList kIsoField = {
    QStringLiteral("iso15693 E00401501C6A93F2 blocks=28 size=4 ic=01 lock=0 data=56455841,20312E30"),
    QStringLiteral("iso15693 E0080112C4D5E6F7 blocks=32 size=8 afi=31 dsfid=01 ic=08 data=0123456789ABCDEF"),
    QStringLiteral("iso15693 E0070000A1B2C3D4 blocks=8 afi=90 ic=02 afilock dsfidlock lock=3"),
};
const QStringList kTagitField = {
    QStringLiteral("tagit C0A80137 mfr=07 version=0101 data=11223344,55667788"),
    QStringLiteral("tagit 5D2E9A41 mfr=07 version=0102 lock=7 data=DEADBEEF,0,0,0,0,0,0,CAFEF00D"),
};

} // namespace

class tst_SimTags : public QObject
{
    Q_OBJECT

private slots:
    void iso15693_data();
    void iso15693();
    void tagit_data();
    void tagit();
    void iso14443();
    void emptyField_data();
    void emptyField();
    void answersFitOneFrame();
    void fieldOrderAndMembers();
    void tagLines_data();
    void tagLines();
    void specShowsWhatWasWritten();
    void defaults();
    void tagFile();
    void memories_data();
    void memories();
    void airTime_data();
    void airTime();
    void modelCarriesTheAirTime();

private:
    void addRows(const QList<std::pair<const char *, QStringList>> &rows);
    void run(const QStringList &fieldSpecs);
};

// Each row: request lines, and after each its expected answer.
void tst_SimTags::addRows(const QList<std::pair<const char *, QStringList>> &rows)
{
    QTest::addColumn<QStringList>("exchange");
    for (const auto &[name, exchange] : rows)
        QTest::newRow(name) << exchange;
}

void tst_SimTags::run(const QStringList &fieldSpecs)
{
    QFETCH(QStringList, exchange);
    TagCollection field;
    fill(field, fieldSpecs);
    QVERIFY(exchange.size() % 2 == 0);
    for (int i = 0; i < exchange.size(); i += 2) {
        const auto answer = field.answer(request(exchange[i]));
        QVERIFY(answer);
        QCOMPARE(answerText(*answer), exchange[i + 1]);
    }
}

void tst_SimTags::iso15693_data()
{
    const QString u4 = kUid4, u8 = kUid8, uL = kUidL;
    addRows({
        {"view one block: the first tag", {"82 20 01", "00 30 2E 31 20 00 01"}},
        {"view one block: lock flag", {"82 20 00", "00 41 58 45 56 01 00"}},
        {"view one block: by UID", {"92 20 " + uL + " 03", "00 00 00 00 00 01 03"}},
        {"view one block: 8-byte block by UID", {"92 20 " + u8 + " 00", "00 EF CD AB 89 67 45 23 01 00 00"}},
        {"view one block: reader-addressed frame keeps the UID flag", {"B2 20 " + u8 + " 00",
                                                                        "00 EF CD AB 89 67 45 23 01 00 00"}},
        {"view one block: past the last block", {"82 20 1C", "01 10"}},
        {"view one block: UID not in the field", {"92 20 " + kAbsent + " 00", "02 01"}},
        {"view one block: UID cut short", {"92 20 F7 E6 D5", "02 04"}},
        {"view one block: no block number", {"82 20", "02 04"}},
        {"view many blocks", {"82 23 00 02", "00 00 02 00 41 58 45 56 01 30 2E 31 20"}},
        {"view many blocks: none", {"82 23 05 00", "00 00 00"}},
        {"view many blocks: up to the last", {"82 23 1B 01", "00 00 01 1B 00 00 00 00"}},
        {"view many blocks: past the last", {"82 23 1B 02", "01 10"}},
        {"view many blocks: 8-byte blocks", {"92 23 " + u8 + " 00 01", "01 03"}},
        {"system information", {"82 2B", "00 0F " + u4 + " 00 00 1B 03 01"}},
        {"system information: 8-byte blocks", {"92 2B " + u8, "00 0F " + u8 + " 01 31 1F 07 08"}},
        {"program one block, read it back", {"82 21 05 44 33 22 11", "00", "82 20 05", "00 44 33 22 11 00 05"}},
        {"program by UID reaches only that tag",
         {"92 21 " + uL + " 01 AA BB CC DD", "00", "92 20 " + uL + " 01", "00 AA BB CC DD 00 01", "82 20 01",
          "00 30 2E 31 20 00 01"}},
        {"program 8-byte block by UID, read it back",
         {"92 21 " + u8 + " 1F 88 77 66 55 44 33 22 11", "00", "92 20 " + u8 + " 1F",
          "00 88 77 66 55 44 33 22 11 00 1F"}},
        {"program locked block", {"82 21 00 11 22 33 44", "01 12", "82 20 00", "00 41 58 45 56 01 00"}},
        {"program past the last block", {"82 21 1C 11 22 33 44", "01 10"}},
        {"program 8 bytes into a 4-byte block", {"82 21 05 11 22 33 44 55 66 77 88", "01 03"}},
        {"program 4 bytes into an 8-byte block", {"92 21 " + u8 + " 05 11 22 33 44", "01 03"}},
        {"program without data", {"82 21 05", "02 04"}},
        {"program many blocks, read them back",
         {"82 24 02 02 01 00 00 00 02 00 00 00", "00", "82 23 01 03",
          "00 00 03 01 30 2E 31 20 02 01 00 00 00 03 02 00 00 00"}},
        {"program many blocks over a locked one writes none",
         {"92 24 " + uL + " 02 02 01 00 00 00 02 00 00 00", "01 12", "92 23 " + uL + " 02 02",
          "00 00 02 02 00 00 00 00 03 00 00 00 00"}},
        {"program many blocks past the last", {"82 24 1B 02 01 00 00 00 02 00 00 00", "01 10"}},
        {"program many blocks: values cut short", {"82 24 02 02 01 00 00 00", "02 04"}},
        {"program many blocks: 8-byte blocks", {"92 24 " + u8 + " 00 01 01 00 00 00", "01 03"}},
        {"lock one block, then its status and a refused write",
         {"82 22 04", "00", "82 2C 00 06", "00 00 00 06 01 00 00 00 01 00", "82 21 04 01 02 03 04", "01 12"}},
        {"lock a locked block", {"82 22 00", "01 11"}},
        {"lock past the last block", {"82 22 1C", "01 10"}},
        {"lock status: by UID", {"92 2C " + uL + " 02 03", "00 00 02 03 00 01 00"}},
        {"lock status: past the last", {"82 2C 1A 03", "01 10"}},
        {"program AFI, system information shows it",
         {"82 27 3A", "00", "82 2B", "00 0F " + u4 + " 00 3A 1B 03 01"}},
        {"lock AFI: program refused, lock again refused",
         {"82 28", "00", "82 27 11", "01 12", "82 28", "01 11", "82 2B", "00 0F " + u4 + " 00 00 1B 03 01"}},
        {"program DSFID, lock it, program refused",
         {"82 29 5C", "00", "82 2A", "00", "82 29 11", "01 12", "82 2A", "01 11", "82 2B",
          "00 0F " + u4 + " 5C 00 1B 03 01"}},
        {"AFI and DSFID locked from the start",
         {"92 27 " + uL + " 00", "01 12", "92 29 " + uL + " 00", "01 12", "92 28 " + uL, "01 11"}},
        {"inventory: every tag, in field order", {"82 01 00", "00 00 03 " + u4 + " " + u8 + " " + uL}},
        {"inventory: AFI family 3", {"82 01 30", "00 00 01 " + u8}},
        {"inventory: exact AFI", {"82 01 31", "00 00 01 " + u8}},
        {"inventory: subfamily 1 of any family", {"82 01 01", "00 00 01 " + u8}},
        {"inventory: family 9", {"82 01 90", "00 00 01 " + uL}},
        {"inventory: no tag of that family", {"82 01 50", "00 00 00"}},
        {"inventory: AFI follows Program AFI", {"92 27 " + u4 + " 55", "00", "82 01 50", "00 00 01 " + u4}},
        {"inventory: no AFI byte", {"82 01", "00 00 03 " + u4 + " " + u8 + " " + uL}},
        {"no such ISO command", {"82 25", "02 02"}},
    });
}

void tst_SimTags::iso15693()
{
    run(kIsoField);
}

void tst_SimTags::tagit_data()
{
    const QString a1 = kAddr1, a2 = kAddr2;
    addRows({
        {"read version: the first tag", {"80 05", "00 " + a1 + " 07 01 01 08 04"}},
        {"read version: by address", {"90 05 " + a2, "00 " + a2 + " 07 02 01 08 04"}},
        {"read version: address not in the field", {"90 05 00 00 00 00", "02 01"}},
        {"read version: address cut short", {"90 05 41 9A", "02 04"}},
        {"read block", {"80 07 01", "00 88 77 66 55 00 01"}},
        {"read block: locked, by address", {"90 07 " + a2 + " 07", "00 0D F0 FE CA 01 07"}},
        {"read block: past block 7", {"80 07 08", "01 10"}},
        {"read block: no block number", {"80 07", "02 04"}},
        {"write block, read it back", {"80 03 02 78 56 34 12", "00", "80 07 02", "00 78 56 34 12 00 02"}},
        {"write block by address reaches only that tag",
         {"90 03 " + a2 + " 00 04 03 02 01", "00", "80 07 00", "00 44 33 22 11 00 00", "90 07 " + a2 + " 00",
          "00 04 03 02 01 00 00"}},
        {"write block: locked", {"90 03 " + a2 + " 07 01 00 00 00", "01 12"}},
        {"write block: value cut short", {"80 03 02 78 56", "02 04"}},
        {"lock block, write refused, lock again refused",
         {"80 04 03", "00", "80 03 03 01 00 00 00", "01 12", "80 04 03", "01 11", "80 07 03",
          "00 00 00 00 00 01 03"}},
        {"lock block: past block 7", {"80 04 08", "01 10"}},
        {"write and lock, read, write and lock again refused",
         {"80 06 04 EF BE AD DE", "00", "80 07 04", "00 EF BE AD DE 01 04", "80 06 04 00 00 00 00", "01 12"}},
        {"read multi-block",
         {"80 0A 00 03", "00 00 03 00 00 44 33 22 11 00 01 88 77 66 55 00 02 00 00 00 00"}},
        {"read multi-block: by address, the last two",
         {"90 0A " + a2 + " 06 02", "00 00 02 00 06 00 00 00 00 01 07 0D F0 FE CA"}},
        {"read multi-block: past block 7", {"80 0A 06 03", "01 10"}},
        {"write multi-block, read it back",
         {"80 08 05 02 01 00 00 00 02 00 00 00", "00", "80 0A 05 02",
          "00 00 02 00 05 01 00 00 00 00 06 02 00 00 00"}},
        {"write multi-block over a locked block writes none",
         {"90 08 " + a2 + " 06 02 01 00 00 00 02 00 00 00", "01 12", "90 0A " + a2 + " 06 01",
          "00 00 01 00 06 00 00 00 00"}},
        {"write multi-block: values cut short", {"80 08 00 02 01 00 00 00", "02 04"}},
        {"lock multi-block", {"80 09 04 02", "00", "80 0A 03 03",
                              "00 00 03 00 03 00 00 00 00 01 04 00 00 00 00 01 05 00 00 00 00"}},
        {"lock multi-block over a locked block locks none",
         {"90 09 " + a2 + " 06 02", "01 11", "90 07 " + a2 + " 06", "00 00 00 00 00 00 06"}},
        {"read block SID: every tag",
         {"80 0C 00", "00 02 " + a1 + " 00 00 44 33 22 11 " + a2 + " 00 00 EF BE AD DE"}},
        {"read block SID: lock flags",
         {"80 0C 07", "00 02 " + a1 + " 00 07 00 00 00 00 " + a2 + " 01 07 0D F0 FE CA"}},
        {"read block SID: past block 7", {"80 0C 08", "01 10"}},
        {"read multi-block SID: every tag, block by block",
         {"80 0B 00 02", "00 04 " + a1 + " 00 00 44 33 22 11 " + a1 + " 00 01 88 77 66 55 " + a2
                             + " 00 00 EF BE AD DE " + a2 + " 00 01 00 00 00 00"}},
        {"read multi-block SID: past block 7", {"80 0B 07 02", "01 10"}},
        {"inventory", {"80 0D", "00 02 " + a1 + " " + a2}},
    });
}

void tst_SimTags::tagit()
{
    run(kTagitField);
}

void tst_SimTags::iso14443()
{
    TagCollection field;
    fill(field, {QStringLiteral("iso15693 E00401501C6A93F2"), QStringLiteral("iso14443a 04A2C8F21B6E80"),
                 QStringLiteral("iso14443a 0A0B0C0D")});
    QCOMPARE(answerText(*field.answer(request(QStringLiteral("80 40 00")))),
             QStringLiteral("00 00 07 04 A2 C8 F2 1B 6E 80"));
    QCOMPARE(field.remove(QStringLiteral("04a2c8f21b6e80")), 1);
    QCOMPARE(answerText(*field.answer(request(QStringLiteral("80 40 00")))), QStringLiteral("00 00 04 0A 0B 0C 0D"));
    QCOMPARE(field.remove(QStringLiteral("0A0B0C0D")), 1);
    QCOMPARE(answerText(*field.answer(request(QStringLiteral("80 40 00")))), QStringLiteral("02 01"));
}

void tst_SimTags::emptyField_data()
{
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("answer");
    QTest::newRow("ISO inventory") << "82 01 00" << "00 00 00";
    QTest::newRow("ISO view one block") << "82 20 00" << "02 01";
    QTest::newRow("ISO system information by UID") << "92 2B " + kUid4 << "02 01";
    QTest::newRow("ISO lock AFI") << "82 28" << "02 01";
    QTest::newRow("Tag-it inventory") << "80 0D" << "00 00";
    QTest::newRow("Tag-it read block SID") << "80 0C 00" << "00 00";
    QTest::newRow("Tag-it read multi-block SID") << "80 0B 00 08" << "00 00";
    QTest::newRow("Tag-it read block") << "80 07 00" << "02 01";
    QTest::newRow("Tag-it read version") << "80 05" << "02 01";
    QTest::newRow("14443-A read UID") << "80 40 00" << "02 01";
}

void tst_SimTags::emptyField()
{
    QFETCH(QString, sent);
    QFETCH(QString, answer);
    const TagRequest r = request(sent);

    TagCollection empty;
    QCOMPARE(answerText(*empty.answer(r)), answer);

    // Tags of the other families do not answer for this one.
    TagCollection others;
    if (iso15693::handles(r.code))
        fill(others, kTagitField + QStringList{QStringLiteral("iso14443a 04A2C8F2")});
    else if (tagit::handles(r.code))
        fill(others, kIsoField + QStringList{QStringLiteral("iso14443a 04A2C8F2")});
    else
        fill(others, kIsoField + kTagitField);
    QCOMPARE(answerText(*others.answer(r)), answer);

    // With the RF transmitter off the reader finds nothing, whatever the field holds.
    ReaderModel model;
    TagCollection full;
    addDefaultTags(full);
    model.setTagField(&full);
    QVERIFY(!model.handle(QByteArray::fromHex("01 0A 00 10 80 ED 03 00 75 8A")).bytes.isEmpty());
    const QByteArray frame = model.handle([&] {
        const int n = 8 + int(r.parameters.size());
        QByteArray bytes(n, '\0');
        auto *b = reinterpret_cast<uint8_t *>(bytes.data());
        vexa::writeHeader(b, n, r.flags, r.code);
        std::copy(r.parameters.begin(), r.parameters.end(), bytes.begin() + 6);
        vexa::writeFrameCheck(b, n);
        return bytes;
    }()).bytes;
    QCOMPARE(QString::fromLatin1(frame.mid(4, frame.size() - 6).remove(1, 1).toHex(' ').toUpper()), answer);
}

void tst_SimTags::answersFitOneFrame()
{
    TagCollection field;
    fill(field, {QStringLiteral("iso15693 E004015000000001 blocks=256")});
    // 2 + 5 x 49 payload bytes fit one frame of 255 bytes; 50 blocks do not.
    QCOMPARE(field.answer(request(QStringLiteral("82 23 00 31")))->payload.size(), 247);
    QCOMPARE(answerText(*field.answer(request(QStringLiteral("82 23 00 32")))), QStringLiteral("02 04"));
    QCOMPARE(answerText(*field.answer(request(QStringLiteral("82 2C 00 FF")))), QStringLiteral("02 04"));
    QCOMPARE(field.answer(request(QStringLiteral("82 2C 00 F4")))->payload.size(), 247);
    QCOMPARE(answerText(*field.answer(request(QStringLiteral("82 20 FF")))), QStringLiteral("00 00 00 00 00 00 FF"));

    // A multi-block SID read of many tags stops at the records one answer holds.
    TagCollection tagits;
    for (int i = 0; i < TagCollection::kMaxTags; ++i)
        QCOMPARE(tagits.add(TagitTag{uint32_t(0x1000 + i)}), QString());
    const Answer sid = *tagits.answer(request(QStringLiteral("80 0B 00 08")));
    QCOMPARE(sid.status, uint8_t(0));
    QCOMPARE(uint8_t(sid.payload.at(0)), uint8_t(24));
    QCOMPARE(sid.payload.size(), 1 + 24 * 10);
    QCOMPARE(tagits.answer(request(QStringLiteral("80 0D")))->payload.size(), 1 + 16 * 4);
}

void tst_SimTags::fieldOrderAndMembers()
{
    TagCollection field;
    fill(field, kIsoField);
    // Unaddressed commands reach the first ISO tag; once it leaves, the next.
    QCOMPARE(answerText(*field.answer(request(QStringLiteral("82 2B")))).mid(6, 23), kUid4);
    QCOMPARE(field.remove(QStringLiteral("e00401501c6a93f2")), 1);
    QCOMPARE(answerText(*field.answer(request(QStringLiteral("82 2B")))).mid(6, 23), kUid8);
    QCOMPARE(field.remove(QStringLiteral("E00401501C6A93F2")), 0);

    // One tag per id and family; the same digits in two families are two tags.
    QVERIFY(!field.add(*parseTagLine(kIsoField[1]).tag).isEmpty());
    QCOMPARE(field.add(*parseTagLine(QStringLiteral("tagit 0A0B0C0D")).tag), QString());
    QCOMPARE(field.add(*parseTagLine(QStringLiteral("iso14443a 0A0B0C0D")).tag), QString());
    QCOMPARE(field.remove(QStringLiteral("0A0B0C0D")), 2);

    while (int(field.tags().size()) < TagCollection::kMaxTags)
        QCOMPARE(field.add(TagitTag{uint32_t(field.tags().size())}), QString());
    QVERIFY(!field.add(TagitTag{0xFFFF}).isEmpty());
    field.clear();
    QVERIFY(field.tags().empty());
}

void tst_SimTags::tagLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("canonical"); // empty: refused
    QTest::newRow("ISO defaults") << "iso15693 e00401501c6a93f2"
                                  << "iso15693 E00401501C6A93F2 blocks=28 size=4 afi=00 dsfid=00 ic=00";
    QTest::newRow("ISO everything, any order")
        << "ISO15693  E0080112C4D5E6F7 data=1,0,FFFFFFFFFFFFFFFF dsfidlock lock=4,0-2 size=8 ic=8 afi=31 blocks=6 "
           "afilock dsfid=A"
        << "iso15693 E0080112C4D5E6F7 blocks=6 size=8 afi=31 dsfid=0A ic=08 afilock dsfidlock lock=0-2,4 "
           "data=0000000000000001,0000000000000000,FFFFFFFFFFFFFFFF";
    QTest::newRow("ISO 256 blocks") << "iso15693 E004015000000001 blocks=256 lock=255"
                                    << "iso15693 E004015000000001 blocks=256 size=4 afi=00 dsfid=00 ic=00 lock=255";
    QTest::newRow("ISO short UID") << "iso15693 E0040150" << "";
    QTest::newRow("ISO UID not hex") << "iso15693 E00401501C6A93G2" << "";
    QTest::newRow("ISO 0 blocks") << "iso15693 E00401501C6A93F2 blocks=0" << "";
    QTest::newRow("ISO 257 blocks") << "iso15693 E00401501C6A93F2 blocks=257" << "";
    QTest::newRow("ISO block size 6") << "iso15693 E00401501C6A93F2 size=6" << "";
    QTest::newRow("ISO AFI of 3 digits") << "iso15693 E00401501C6A93F2 afi=100" << "";
    QTest::newRow("ISO lock past the end") << "iso15693 E00401501C6A93F2 lock=28" << "";
    QTest::newRow("ISO lock range backwards") << "iso15693 E00401501C6A93F2 lock=3-1" << "";
    QTest::newRow("ISO value too wide") << "iso15693 E00401501C6A93F2 data=123456789" << "";
    QTest::newRow("ISO empty value") << "iso15693 E00401501C6A93F2 data=1,,2" << "";
    QTest::newRow("ISO too many values") << "iso15693 E00401501C6A93F2 blocks=1 data=1,2" << "";
    QTest::newRow("ISO unknown word") << "iso15693 E00401501C6A93F2 colour=red" << "";
    QTest::newRow("ISO flag with a value") << "iso15693 E00401501C6A93F2 afilock=1" << "";
    QTest::newRow("ISO kind") << "iso15693 E004015000000001 kind=iso-64x4"
                              << "iso15693 E004015000000001 blocks=64 size=4 afi=00 dsfid=00 ic=02";
    QTest::newRow("ISO kind, words over it") << "iso15693 E004015000000001 ic=44 kind=ISO-32x8 blocks=10"
                                             << "iso15693 E004015000000001 blocks=10 size=8 afi=00 dsfid=00 ic=44";
    // E1 40 0E 00 in memory order is the value 000E40E1.
    QTest::newRow("ISO capability container") << "iso15693 E004015000000001 memory=cc"
                                              << "iso15693 E004015000000001 blocks=28 size=4 afi=00 dsfid=00 ic=00 "
                                                 "data=000E40E1,00FE0003";
    QTest::newRow("ISO data over the memory") << "iso15693 E004015000000001 kind=iso-8x8 data=0,5 memory=cc"
                                              << "iso15693 E004015000000001 blocks=8 size=8 afi=00 dsfid=00 ic=07 "
                                                 "data=0000000000000000,0000000000000005";
    QTest::newRow("ISO unknown kind") << "iso15693 E004015000000001 kind=iso-99x4" << "";
    QTest::newRow("ISO unknown memory") << "iso15693 E004015000000001 memory=full" << "";
    QTest::newRow("ISO URI without ndef") << "iso15693 E004015000000001 memory=cc uri=https://a.b" << "";
    QTest::newRow("ISO container past 2040 bytes") << "iso15693 E004015000000001 blocks=256 size=8 memory=cc" << "";
    QTest::newRow("ISO message past the memory")
        << "iso15693 E004015000000001 kind=iso-8x8 uri=https://example.com/012345678901234567890123456789012345678901234"
        << "";
    QTest::newRow("Tag-it") << "tagit c0a80137 data=1,2 version=101 mfr=7"
                            << "tagit C0A80137 mfr=07 version=0101 data=00000001,00000002";
    QTest::newRow("Tag-it locks") << "tagit 5D2E9A41 lock=0-7" << "tagit 5D2E9A41 mfr=00 version=0000 lock=0-7";
    QTest::newRow("Tag-it 7-digit address") << "tagit 1234567" << "";
    QTest::newRow("Tag-it lock 8") << "tagit 12345678 lock=8" << "";
    QTest::newRow("Tag-it 9 values") << "tagit 12345678 data=1,2,3,4,5,6,7,8,9" << "";
    QTest::newRow("Tag-it block size") << "tagit 12345678 size=8" << "";
    QTest::newRow("14443-A 4 bytes") << "iso14443a 04a2c8f2" << "iso14443a 04A2C8F2";
    QTest::newRow("14443-A 10 bytes") << "iso14443a 0102030405060708090A" << "iso14443a 0102030405060708090A";
    QTest::newRow("14443-A 3 bytes") << "iso14443a 04A2C8" << "";
    QTest::newRow("14443-A extra word") << "iso14443a 04A2C8F2 blocks=2" << "";
    QTest::newRow("unknown family") << "mifare 04A2C8F2" << "";
    QTest::newRow("empty") << "" << "";
}

void tst_SimTags::tagLines()
{
    QFETCH(QString, line);
    QFETCH(QString, canonical);
    const TagParse parsed = parseTagLine(line);
    QCOMPARE(parsed.tag.has_value(), !canonical.isEmpty());
    QCOMPARE(parsed.error.isEmpty(), parsed.tag.has_value());
    if (!parsed.tag)
        return;
    const QString text = tagLine(*parsed.tag);
    QCOMPARE(text, canonical);
    // What tag list prints reads back as the same tag.
    QCOMPARE(tagLine(*parseTagLine(text).tag), text);
}

void tst_SimTags::specShowsWhatWasWritten()
{
    TagCollection field;
    fill(field, {QStringLiteral("iso15693 E00401501C6A93F2 blocks=4"), QStringLiteral("tagit C0A80137")});
    for (const char *r : {"82 21 03 44 33 22 11", "82 22 01", "82 27 31", "82 28", "82 29 07", "80 06 07 01 00 00 00"})
        QCOMPARE(field.answer(request(QLatin1String(r)))->status, uint8_t(0));
    QCOMPARE(tagLine(field.tags()[0]),
             QStringLiteral("iso15693 E00401501C6A93F2 blocks=4 size=4 afi=31 dsfid=07 ic=00 afilock lock=1 "
                            "data=00000000,00000000,00000000,11223344"));
    QCOMPARE(tagLine(field.tags()[1]),
             QStringLiteral("tagit C0A80137 mfr=00 version=0000 lock=7 data=00000000,00000000,00000000,00000000,"
                            "00000000,00000000,00000000,00000001"));
}

void tst_SimTags::defaults()
{
    TagCollection field;
    addDefaultTags(field);
    QCOMPARE(int(field.tags().size()), int(defaultTagLines().size()));
    QSet<int> blockSizes;
    QSet<uint8_t> makers;
    int tagits = 0;
    int cards = 0;
    for (const Tag &tag : field.tags()) {
        if (const auto *iso = std::get_if<Iso15693Tag>(&tag)) {
            QCOMPARE(int(iso->uid >> 56), 0xE0);
            blockSizes << iso->blockSize;
            makers << uint8_t(iso->uid >> 48);
        } else if (std::holds_alternative<TagitTag>(tag)) {
            ++tagits;
        } else {
            QCOMPARE(std::get<Iso14443Card>(tag).uid.size(), 7);
            ++cards;
        }
    }
    QCOMPARE(blockSizes, (QSet<int>{4, 8}));
    QCOMPARE(makers.size(), 2);
    QCOMPARE(tagits, 2);
    QCOMPARE(cards, 1);
}

void tst_SimTags::tagFile()
{
    QTemporaryDir dir;
    const auto write = [&](const QString &name, const QByteArray &text) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write(text);
        return file.fileName();
    };

    TagCollection field;
    QString error;
    const QString good = write(QStringLiteral("good.tags"),
                               "# two tags\n\n  iso15693 E00401501C6A93F2 blocks=8\n"
                               "tagit C0A80137 data=1\r\n   # done\n");
    QVERIFY2(loadTagFile(good, field, &error), qPrintable(error));
    QCOMPARE(int(field.tags().size()), 2);
    QCOMPARE(tagId(field.tags()[1]), QStringLiteral("C0A80137"));

    const QString bad = write(QStringLiteral("bad.tags"), "tagit C0A80137\n\niso15693 E004\n");
    TagCollection other;
    QVERIFY(!loadTagFile(bad, other, &error));
    QVERIFY2(error.startsWith(bad + QStringLiteral(":3: iso15693: ")), qPrintable(error));

    const QString twice = write(QStringLiteral("twice.tags"), "tagit C0A80137\ntagit c0a80137\n");
    TagCollection third;
    QVERIFY(!loadTagFile(twice, third, &error));
    QVERIFY2(error.startsWith(twice + QStringLiteral(":2: ")), qPrintable(error));

    QVERIFY(!loadTagFile(dir.filePath(QStringLiteral("missing.tags")), third, &error));
    QVERIFY(error.contains(QLatin1String("missing.tags")));
}

// A tag line, a control change of that tag (none when empty), the error
// the change draws, then requests and answers as in the tables above.
void tst_SimTags::memories_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("exchange");
    const QString iso = QStringLiteral("iso15693 E004015000000001 ");
    // The first data byte of a block on the wire is byte 0 of the memory.
    QTest::newRow("container, no message") << iso + "memory=cc" << "" << ""
                                           << QStringList{"82 20 00", "00 E1 40 0E 00 00 00", "82 20 01",
                                                          "00 03 00 FE 00 00 01"};
    QTest::newRow("https URI")
        << iso + "kind=iso-28x4 memory=ndef" << "" << ""
        << QStringList{"82 23 00 06", "00 00 06 00 E1 40 0E 00 01 03 10 D1 01 02 0C 55 04 65 03 78 61 6D 70 04 6C 65 "
                                      "2E 63 05 6F 6D FE 00"};
    QTest::newRow("8-byte blocks, http://www.") << iso + "kind=iso-8x8 uri=http://www.a.b" << "" << ""
                                                << QStringList{"82 20 00", "00 E1 40 08 00 03 08 D1 01 00 00",
                                                               "82 20 01", "00 04 55 01 61 2E 62 FE 00 00 01"};
    QTest::newRow("URI of no standard prefix") << iso + "uri=ab" << "" << ""
                                               << QStringList{"82 23 00 04", "00 00 04 00 E1 40 0E 00 01 03 07 D1 01 "
                                                                             "02 03 55 00 61 03 62 FE 00 00"};
    QTest::newRow("long record, 3-byte TLV length")
        << iso + "kind=iso-80x4 uri=https://" + QString(256, QLatin1Char('a')) << "" << ""
        << QStringList{"82 23 00 04", "00 00 04 00 E1 40 28 00 01 03 FF 01 08 02 C1 01 00 00 03 01 01 55 04"};
    QTest::newRow("control: ndef over data") << iso + "data=11111111,22222222" << "memory ndef tel:1" << ""
                                             << QStringList{"82 23 00 04", "00 00 04 00 E1 40 0E 00 01 03 06 D1 01 "
                                                                           "02 02 55 05 31 03 FE 00 00 00"};
    QTest::newRow("control: empty keeps the locks") << iso + "memory=cc lock=0" << "memory empty" << ""
                                                    << QStringList{"82 20 00", "00 00 00 00 00 01 00"};
    QTest::newRow("control: lock, write refused")
        << iso << "lock 2-3" << ""
        << QStringList{"82 21 02 01 02 03 04", "01 12", "82 2C 00 04", "00 00 00 04 00 00 01 01"};
    QTest::newRow("control: unlock") << iso + "lock=0-1" << "unlock 1" << ""
                                     << QStringList{"82 21 01 01 02 03 04", "00", "82 21 00 01 02 03 04", "01 12"};
    QTest::newRow("control: lock a Tag-it block") << "tagit 12345678" << "lock 7" << ""
                                                  << QStringList{"80 03 07 01 00 00 00", "01 12"};
    QTest::newRow("control: no Tag-it memory") << "tagit 12345678" << "memory cc"
                                               << "only an ISO/IEC 15693 tag takes a memory content" << QStringList{};
    QTest::newRow("control: message too long changes nothing")
        << iso + "kind=iso-8x8 memory=cc" << "memory ndef https://example.com/012345678901234567890123456789012345678901234"
        << "the capability container and NDEF message take 69 bytes, the tag holds 64"
        << QStringList{"82 20 00", "00 E1 40 08 00 03 00 FE 00 00 00"};
    QTest::newRow("control: lock past the end") << iso << "lock 27-28"
                                                << "lock takes block numbers below 28, such as 0,3-5"
                                                << QStringList{"82 2C 1B 01", "00 00 1B 01 00"};
    QTest::newRow("control: URI after cc") << iso << "memory cc x" << "usage: tag memory <id> empty|cc|ndef [URI]"
                                           << QStringList{};
}

void tst_SimTags::memories()
{
    QFETCH(QString, line);
    QFETCH(QString, change);
    QFETCH(QString, error);
    QFETCH(QStringList, exchange);
    TagCollection field;
    fill(field, {line});
    if (!change.isEmpty())
        QCOMPARE(changeTag(field, tagId(field.tags()[0]).toLower(), change), error);
    QCOMPARE(changeTag(field, QStringLiteral("E0040150000000FF"), QStringLiteral("lock 0")),
             QStringLiteral("no tag with blocks has the id E0040150000000FF"));
    for (int i = 0; i + 1 < exchange.size(); i += 2)
        QCOMPARE(answerText(*field.answer(request(exchange[i]))), exchange[i + 1]);
}

// The figures of the air-time table in the design notes, worked out by hand.
void tst_SimTags::airTime_data()
{
    QTest::addColumn<QStringList>("field");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<int>("us");
    const QStringList one = {kIsoField[0]};
    QTest::newRow("inventory, no tag") << QStringList{} << "82 01 00" << 9742;
    QTest::newRow("inventory, 1 tag") << one << "82 01 00" << 13800;
    QTest::newRow("inventory, 3 tags") << kIsoField << "82 01 00" << 21914;
    QTest::newRow("inventory with AFI, 1 of 3") << kIsoField << "82 01 30" << 14102;
    QTest::newRow("read one block") << kIsoField << "82 20 01" << 4645;
    QTest::newRow("read one 8-byte block by UID") << kIsoField << "92 20 " + kUid8 + " 00" << 8261;
    QTest::newRow("read four blocks") << kIsoField << "82 23 00 04" << 8245;
    QTest::newRow("write one block") << kIsoField << "82 21 05 44 33 22 11" << 9355;
    QTest::newRow("write one block by UID") << kIsoField << "92 21 " + kUidL + " 01 AA BB CC DD" << 11772;
    QTest::newRow("write two blocks") << kIsoField << "82 24 02 02 01 00 00 00 02 00 00 00" << 15866;
    QTest::newRow("UID not in the field") << kIsoField << "92 20 " + kAbsent + " 00" << 4513;
    QTest::newRow("Tag-it read block") << kTagitField << "80 07 01" << 4645;
    QTest::newRow("Tag-it inventory, 2 tags") << kTagitField << "80 0D" << 14557;
    QTest::newRow("14443-A UID of 7 bytes") << QStringList{"iso14443a 04A2C8F21B6E80"} << "80 40 00" << 4109;
    QTest::newRow("14443-A, no card") << QStringList{} << "80 40 00" << 365;
    QTest::newRow("no such ISO command") << kIsoField << "82 25" << 0;
}

void tst_SimTags::airTime()
{
    QFETCH(QStringList, field);
    QFETCH(QString, sent);
    QFETCH(int, us);
    TagCollection tags;
    fill(tags, field);
    QCOMPARE(airTimeUs(request(sent), tags.tags()), us);
}

void tst_SimTags::modelCarriesTheAirTime()
{
    ReaderModel model;
    TagCollection field;
    fill(field, kIsoField);
    model.setTagField(&field);
    const QByteArray inventory = QByteArray::fromHex("01 09 00 10 82 01 00 9B 64");
    QCOMPARE(model.handle(inventory).airUs, 21914);
    QCOMPARE(model.handle(QByteArray::fromHex("01 08 00 10 80 E0 79 86")).airUs, 0);
    model.state().airTime = false;
    QCOMPARE(model.handle(inventory).airUs, 0);
}

QTEST_GUILESS_MAIN(tst_SimTags)
#include "tst_simtags.moc"
