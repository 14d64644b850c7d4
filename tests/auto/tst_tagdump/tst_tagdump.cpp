// Tag dumps: the Proxmark3 client's JSON read in, ours written and read back,
// .bin, comparison and restore plans.
#include <QTest>

#include "core/codecs/tagdump.h"

using namespace vexa::tagdump;

namespace {

const QByteArray kUid = QByteArray::fromHex("E004A00112345678");

// Blocks in memory order, "-" not read; locks one of "01?" a block.
TagDump dumpOf(const QString &blocks, const QString &locks = {}, const QByteArray &uid = kUid)
{
    TagDump d;
    d.uid = uid;
    const QStringList list = blocks.split(' ');
    for (qsizetype n = 0; n < list.size(); ++n) {
        Block b;
        if (list[n] == "-")
            b.unread = QStringLiteral("No response");
        else
            b.data = QByteArray::fromHex(list[n].toLatin1());
        if (n < locks.size() && locks[n] != '?')
            b.locked = locks[n] == '1';
        d.blocks << b;
    }
    const auto read = std::find_if(d.blocks.begin(), d.blocks.end(), [](const Block &b) { return b.isRead(); });
    d.blockSize = read == d.blocks.end() ? 4 : int(read->data.size());
    return d;
}

QString describe(const TagDump &d)
{
    QStringList blocks;
    QString locks;
    for (const Block &b : d.blocks) {
        blocks << (b.isRead() ? QString::fromLatin1(b.data.toHex().toUpper()) : QStringLiteral("-"));
        locks += b.locked ? (*b.locked ? '1' : '0') : '?';
    }
    return uidText(d.uid) + ' ' + blocks.join(' ') + ' ' + locks;
}

QString numbers(const QList<int> &list)
{
    QStringList texts;
    for (int n : list)
        texts << QString::number(n);
    return texts.join(',');
}

QByteArray client(const QByteArray &card, const QByteArray &blocks, const QByteArray &type = "15693 v4")
{
    return R"({"Created": "proxmark3", "FileType": ")" + type + R"(", "Card": {)" + card + R"(}, "blocks": {)" + blocks + "}}";
}

const QByteArray kCard = R"("uid": "7856341201A004E0", "dsfid": "00", "dsfidlock": "00", "afi": "07", "afilock": "01",
    "bytesperpage": "04", "pagescount": "03", "ic": "01", "locks": "000100", "random": "0000",
    "privacypasswd": "00000000", "state": "00")";
const QByteArray kBlocks = R"("0": "E1403F00", "1": "03105504", "2": "6578616D")";
const QString kRead = QStringLiteral("E004A00112345678 E1403F00 03105504 6578616D 010");

QByteArray card(const char *from, const char *to)
{
    return QByteArray(kCard).replace(from, to);
}

} // namespace

class TestTagDump : public QObject
{
    Q_OBJECT
private slots:
    void clientJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("expected"); // describe(), or the start of the error
        QTest::newRow("v4") << client(kCard, kBlocks) << kRead;
        QTest::newRow("v5 count in two bytes") << client(card(R"("03")", R"("0300")"), kBlocks, "15693 v5") << kRead;
        QTest::newRow("lower case, blanks") << client(kCard, QByteArray(kBlocks).replace("E1403F00", "e1 40 3f 00")) << kRead;
        QTest::newRow("missing block is unread") << client(kCard, R"("0": "E1403F00", "2": "6578616D")")
                                                 << "E004A00112345678 E1403F00 - 6578616D 010";
        QTest::newRow("empty text is unread") << client(kCard, R"("0": "E1403F00", "1": "", "2": "6578616D")")
                                              << "E004A00112345678 E1403F00 - 6578616D 010";
        QTest::newRow("v3 stops at first gap") << client("", R"("0": "0011223344556677", "2": "8899AABBCCDDEEFF")", "15693 v3")
                                               << " 0011223344556677 ?";
        QTest::newRow("legacy raw") << QByteArray(R"({"FileType": "15693", "raw": "0102030405060708"})")
                                    << " 01020304 05060708 ??";
        QTest::newRow("not JSON") << QByteArray("{\"FileType\": ") << "not JSON";
        QTest::newRow("array") << QByteArray("[1]") << "not a JSON object";
        QTest::newRow("other file type") << client(kCard, kBlocks, "mfc v2") << "FileType";
        QTest::newRow("short uid") << client(card("7856341201A004E0", "785634"), kBlocks) << "Card.uid";
        QTest::newRow("short block") << client(kCard, R"("0": "E1403F00", "1": "0310")") << "blocks.1";
        QTest::newRow("no count") << client(card(R"("pagescount": "03",)", ""), kBlocks) << "Card.pagescount";
        QTest::newRow("zero blocks") << client(card(R"("03")", R"("00")"), kBlocks) << "Card.pagescount";
        QTest::newRow("locks too short") << client(card("000100", "0001"), kBlocks) << "Card.locks";
        QTest::newRow("block size 33") << client(card(R"(perpage": "04")", R"(perpage": "21")"), kBlocks)
                                       << "Card.bytesperpage";
    }
    void clientJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, expected);
        const Decoded d = fromJson(json);
        QVERIFY2(d.error.isEmpty() ? describe(d.dump) == expected : d.error.startsWith(expected),
                 qPrintable(d.error.isEmpty() ? describe(d.dump) : d.error));
        if (QTest::currentDataTag() == QByteArray("v4")) {
            QCOMPARE(d.dump.afi, std::optional<uint8_t>(7));
            QCOMPARE(d.dump.afiLocked, std::optional<bool>(true));
            QCOMPARE(d.dump.icReference, std::optional<uint8_t>(1));
            QCOMPARE(shownValue(d.dump.blocks[0].data), QStringLiteral("003F40E1"));
        }
    }

    void roundTrip_data()
    {
        QTest::addColumn<TagDump>("dump");
        QTest::addColumn<QString>("fileType");
        TagDump full = dumpOf("E1403F00 03105504 6578616D", "001");
        full.dsfid = 0, full.afi = 0x90, full.icReference = 2, full.afiLocked = false;
        QTest::newRow("full") << full << "15693 v4";
        QTest::newRow("unread, unknown locks") << dumpOf("01020304 - 0A0B0C0D", "1?0") << "15693 v4";
        QTest::newRow("no uid") << dumpOf("0001020304050607", "", {}) << "15693 v4";
        TagDump tagit = dumpOf("11223344 55667788", "10", QByteArray::fromHex("8A2B3C4D"));
        tagit.family = Family::Tagit;
        QTest::newRow("Tag-it") << tagit << "Tag-it";
        QStringList many;
        for (int n = 0; n < 256; ++n)
            many << QString::asprintf("%08X", n);
        QTest::newRow("256 blocks") << dumpOf(many.join(' ')) << "15693 v5";
    }
    void roundTrip()
    {
        QFETCH(TagDump, dump);
        QFETCH(QString, fileType);
        const Encoded json = toJson(dump);
        QVERIFY2(json.refusal.isEmpty(), qPrintable(json.refusal));
        QVERIFY(json.bytes.contains("\"FileType\": \"" + fileType.toLatin1() + '"'));
        const Decoded back = fromJson(json.bytes);
        QVERIFY2(back.error.isEmpty(), qPrintable(back.error));
        QVERIFY(back.dump == dump);
    }

    void bin_data()
    {
        QTest::addColumn<TagDump>("dump");
        QTest::addColumn<QString>("expected"); // the bytes, or the refusal
        QTest::newRow("memory order") << dumpOf("01020304 05060708") << "0102030405060708";
        QTest::newRow("gaps named") << dumpOf("- 01020304 -") << "a .bin file has no place for blocks not read: 0, 2";
        QTest::newRow("wrong block length") << dumpOf("01020304 0506") << "block 1 holds 2 bytes, not 4";
    }
    void bin()
    {
        QFETCH(TagDump, dump);
        QFETCH(QString, expected);
        const Encoded bin = toBin(dump);
        QCOMPARE(bin.refusal.isEmpty() ? QString::fromLatin1(bin.bytes.toHex().toUpper()) : bin.refusal, expected);
        if (bin.refusal.isEmpty())
            QCOMPARE(describe(fromBin(bin.bytes, dump.blockSize).dump), ' ' + describe(dump).section(' ', 1));
        QVERIFY(!fromBin(QByteArray(6, 0), 4).error.isEmpty());
        QVERIFY(!fromBin(QByteArray(4 * 257, 0), 4).error.isEmpty());
        QVERIFY(!fromBin(QByteArray(36, 0), 4, Family::Tagit).error.isEmpty());
    }

    void comparison_data()
    {
        QTest::addColumn<TagDump>("tag");
        QTest::addColumn<TagDump>("dump");
        QTest::addColumn<QString>("expected"); // differing / unread on the tag / in the dump / uid / equal
        const TagDump base = dumpOf("01020304 05060708 090A0B0C");
        QTest::newRow("equal, other uid") << dumpOf("01020304 05060708 090A0B0C", {}, QByteArray::fromHex("E004000000000001"))
                                          << base << "///uid/equal";
        QTest::newRow("one differs") << dumpOf("01020304 FF060708 090A0B0C") << base << "1////";
        QTest::newRow("unread both sides") << dumpOf("- 05060708 090A0B0C") << dumpOf("01020304 05060708 -") << "/0/2//";
        QTest::newRow("tag larger") << dumpOf("01020304 05060708 090A0B0C 00000000") << base << "////";
        QTest::newRow("block size") << dumpOf("0102030405060708") << base << "////";
    }
    void comparison()
    {
        QFETCH(TagDump, tag);
        QFETCH(TagDump, dump);
        QFETCH(QString, expected);
        const Comparison c = compare(tag, dump);
        QList<int> differing;
        for (const BlockDifference &d : c.differing)
            differing << d.block;
        QCOMPARE(QStringList({numbers(differing), numbers(c.unreadOnTag), numbers(c.unreadInDump),
                              c.uidDiffers ? "uid" : "", c.equal() ? "equal" : ""})
                     .join('/'),
                 expected);
    }

    void restore_data()
    {
        QTest::addColumn<TagDump>("dump");
        QTest::addColumn<TagDump>("tag");
        QTest::addColumn<RestoreOptions>("options");
        QTest::addColumn<QString>("expected"); // writes / skipped / locks / refusal
        const TagDump dump = dumpOf("01020304 05060708 - 0D0E0F10", "0010");
        const QString other = QStringLiteral("01020304 FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF");
        const TagDump stranger = dumpOf(other, "0000", QByteArray::fromHex("E004000000000001"));
        QTest::newRow("only differing") << dump << dumpOf(other, "0000") << RestoreOptions{} << "1,3///0";
        QTest::newRow("locked skipped") << dump << dumpOf(other, "0001") << RestoreOptions{} << "1/3//0";
        QTest::newRow("unread on tag written") << dump << dumpOf("- 05060708 - 0D0E0F10") << RestoreOptions{} << "0///0";
        QTest::newRow("uid differs") << dump << stranger << RestoreOptions{} << "///4";
        QTest::newRow("uid differs, any uid") << dump << stranger << RestoreOptions{true} << "1,3///0";
        QTest::newRow("dump without uid") << dumpOf("01020304", "", {}) << dumpOf("01020304") << RestoreOptions{} << "///4";
        QTest::newRow("locks when asked") << dumpOf("01020304 05060708 - 0D0E0F10", "1011") << dumpOf(other, "0000")
                                          << RestoreOptions{false, true} << "1,3//0,3/0";
        QTest::newRow("dump larger than tag") << dumpOf(other) << dump << RestoreOptions{} << "///3";
    }
    void restore()
    {
        QFETCH(TagDump, dump);
        QFETCH(TagDump, tag);
        QFETCH(RestoreOptions, options);
        QFETCH(QString, expected);
        const RestorePlan plan = planRestore(dump, tag, options);
        QList<int> written;
        for (const BlockWrite &w : plan.writes) {
            written << w.block;
            QCOMPARE(w.data, dump.blocks[w.block].data);
        }
        QCOMPARE(QStringList({numbers(written), numbers(plan.skippedLocked), numbers(plan.locks),
                              QString::number(int(plan.refusal))})
                     .join('/'),
                 expected);
    }

    void restoreSystemBytes()
    {
        TagDump dump = dumpOf("01020304", "0"), tag = dump;
        dump.afi = 0x90, dump.afiLocked = true, tag.afi = 0x00;
        tag.dsfid = 0x01, tag.dsfidLocked = true;
        const RestorePlan quiet = planRestore(dump, tag, {});
        QVERIFY(quiet.nothingToDo() && quiet.notes.isEmpty());
        const RestorePlan asked = planRestore(dump, tag, {false, true, true, true});
        QCOMPARE(asked.afi, std::optional<uint8_t>(0x90));
        QVERIFY(asked.lockAfi && !asked.dsfid && !asked.lockDsfid);
        QCOMPARE(asked.notes, QStringList{"the dump holds no DSFID"});
    }
};

QTEST_GUILESS_MAIN(TestTagDump)
#include "tst_tagdump.moc"
