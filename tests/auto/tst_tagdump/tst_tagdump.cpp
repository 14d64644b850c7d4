// Tag dumps: the Proxmark3 client's JSON read in, ours written and read back,
// .bin, comparison and restore plans.
#include <QTest>

#include "core/codecs/tagdump.h"

using namespace vexa::tagdump;

namespace {

const QByteArray kUid = QByteArray::fromHex("E004A00112345678");

// Blocks as hexadecimal in memory order ("" = not read), locks one of "01?" a block.
TagDump dumpOf(const QStringList &blocks, const QString &locks = {}, const QByteArray &uid = kUid)
{
    TagDump d;
    d.uid = uid;
    for (const QString &b : blocks)
        if (!b.isEmpty() && (d.blockSize = int(b.size() / 2)))
            break;
    for (qsizetype n = 0; n < blocks.size(); ++n) {
        Block b;
        b.data = QByteArray::fromHex(blocks[n].toLatin1());
        b.unread = b.data.isEmpty() ? QStringLiteral("No response") : QString();
        if (n < locks.size() && locks[n] != '?')
            b.locked = locks[n] == '1';
        d.blocks << b;
    }
    return d;
}

QStringList memoryOf(const TagDump &d)
{
    QStringList out;
    for (const Block &b : d.blocks)
        out << QString::fromLatin1(b.data.toHex().toUpper());
    return out;
}

QString locksOf(const TagDump &d)
{
    QString out;
    for (const Block &b : d.blocks)
        out += b.locked ? (*b.locked ? '1' : '0') : '?';
    return out;
}

QByteArray client(const QByteArray &card, const QByteArray &blocks, const QByteArray &type = "15693 v4")
{
    return R"({"Created": "proxmark3", "FileType": ")" + type + R"(", "Card": {)" + card + R"(}, "blocks": {)" + blocks + "}}";
}

const QByteArray kCard = R"("uid": "7856341201A004E0", "dsfid": "00", "dsfidlock": "00", "afi": "07", "afilock": "01",
    "bytesperpage": "04", "pagescount": "03", "ic": "01", "locks": "000100", "random": "0000",
    "privacypasswd": "00000000", "state": "00")";
const QByteArray kBlocks = R"("0": "E1403F00", "1": "03105504", "2": "6578616D")";

} // namespace

class TestTagDump : public QObject
{
    Q_OBJECT
private slots:
    void clientJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error"); // the start of the reason; empty: read
        QTest::addColumn<QStringList>("memory");
        QTest::addColumn<QString>("locks");
        const QStringList three{"E1403F00", "03105504", "6578616D"};
        QTest::newRow("v4") << client(kCard, kBlocks) << "" << three << "010";
        QTest::newRow("v5 count in two bytes")
            << client(QByteArray(kCard).replace(R"("03")", R"("0300")"), kBlocks, "15693 v5") << "" << three << "010";
        QTest::newRow("lower case, blanks")
            << client(kCard, QByteArray(kBlocks).replace("E1403F00", "e1 40 3f 00")) << "" << three << "010";
        QTest::newRow("missing block is unread") << client(kCard, R"("0": "E1403F00", "2": "6578616D")") << ""
                                                 << QStringList{"E1403F00", "", "6578616D"} << "010";
        QTest::newRow("v3 stops at first gap") << client("", R"("0": "0011223344556677", "2": "8899AABBCCDDEEFF")", "15693 v3")
                                               << "" << QStringList{"0011223344556677"} << "?";
        QTest::newRow("legacy raw") << QByteArray(R"({"FileType": "15693", "raw": "0102030405060708"})") << ""
                                    << QStringList{"01020304", "05060708"} << "??";
        QTest::newRow("not JSON") << QByteArray("{\"FileType\": ") << "not JSON" << QStringList() << "";
        QTest::newRow("array") << QByteArray("[1]") << "not a JSON object" << QStringList() << "";
        QTest::newRow("other file type") << client(kCard, kBlocks, "mfc v2") << "FileType" << QStringList() << "";
        QTest::newRow("short uid") << client(QByteArray(kCard).replace("7856341201A004E0", "785634"), kBlocks)
                                   << "Card.uid" << QStringList() << "";
        QTest::newRow("short block") << client(kCard, R"("0": "E1403F00", "1": "0310")") << "blocks.1" << QStringList() << "";
        QTest::newRow("no count") << client(QByteArray(kCard).replace(R"("pagescount": "03",)", ""), kBlocks)
                                  << "Card.pagescount" << QStringList() << "";
        QTest::newRow("zero blocks") << client(QByteArray(kCard).replace(R"("03")", R"("00")"), kBlocks)
                                     << "Card.pagescount" << QStringList() << "";
        QTest::newRow("locks too short") << client(QByteArray(kCard).replace("000100", "0001"), kBlocks) << "Card.locks"
                                         << QStringList() << "";
        QTest::newRow("block size 33") << client(QByteArray(kCard).replace(R"("bytesperpage": "04")", R"("bytesperpage": "21")"),
                                                 kBlocks)
                                       << "Card.bytesperpage" << QStringList() << "";
    }
    void clientJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        QFETCH(QStringList, memory);
        QFETCH(QString, locks);
        const Decoded d = fromJson(json);
        QVERIFY2(error.isEmpty() ? d.error.isEmpty() : d.error.startsWith(error), qPrintable(d.error));
        if (!error.isEmpty())
            return;
        QCOMPARE(memoryOf(d.dump), memory);
        QCOMPARE(locksOf(d.dump), locks);
    }

    void clientSystemInformation()
    {
        const TagDump d = fromJson(client(kCard, kBlocks)).dump;
        QCOMPARE(uidText(d.uid), QStringLiteral("E004A00112345678"));
        QCOMPARE(d.afi, std::optional<uint8_t>(7));
        QCOMPARE(d.afiLocked, std::optional<bool>(true));
        QCOMPARE(d.icReference, std::optional<uint8_t>(1));
        QCOMPARE(shownValue(d.blocks[0].data), QStringLiteral("003F40E1"));
    }

    void roundTrip_data()
    {
        QTest::addColumn<TagDump>("dump");
        QTest::addColumn<QString>("fileType");
        TagDump full = dumpOf({"E1403F00", "03105504", "6578616D"}, "001");
        full.dsfid = 0, full.afi = 0x90, full.icReference = 2, full.afiLocked = false;
        QTest::newRow("full") << full << "15693 v4";
        QTest::newRow("unread and unknown locks") << dumpOf({"01020304", "", "0A0B0C0D"}, "1?0") << "15693 v4";
        QTest::newRow("no uid") << dumpOf({"0001020304050607"}, "", {}) << "15693 v4";
        TagDump tagit = dumpOf({"11223344", "55667788"}, "10", QByteArray::fromHex("8A2B3C4D"));
        tagit.family = Family::Tagit;
        QTest::newRow("Tag-it") << tagit << "Tag-it";
        QStringList many;
        for (int n = 0; n < 256; ++n)
            many << QString::asprintf("%08X", n);
        QTest::newRow("256 blocks") << dumpOf(many) << "15693 v5";
    }
    void roundTrip()
    {
        QFETCH(TagDump, dump);
        QFETCH(QString, fileType);
        const Encoded json = toJson(dump);
        QVERIFY2(json.refusal.isEmpty(), qPrintable(json.refusal));
        QVERIFY(json.bytes.contains("\"FileType\": \"" + fileType.toLatin1() + '"'));
        QByteArray wire = dump.uid; // the file holds it low byte first
        std::reverse(wire.begin(), wire.end());
        QCOMPARE(json.bytes.contains("\"uid\": \"" + wire.toHex().toUpper() + '"'), !wire.isEmpty());
        const Decoded back = fromJson(json.bytes);
        QVERIFY2(back.error.isEmpty(), qPrintable(back.error));
        QVERIFY(back.dump == dump);
    }

    void bin_data()
    {
        QTest::addColumn<TagDump>("dump");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("memory order") << dumpOf({"01020304", "05060708"}) << QByteArray::fromHex("0102030405060708") << "";
        QTest::newRow("gaps named") << dumpOf({"", "01020304", ""}) << QByteArray() << "a .bin file has no place for blocks not read: 0, 2";
        QTest::newRow("wrong block length") << dumpOf({"01020304", "0506"}) << QByteArray() << "block 1 holds 2 bytes, not 4";
    }
    void bin()
    {
        QFETCH(TagDump, dump);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, refusal);
        const Encoded bin = toBin(dump);
        QCOMPARE(bin.refusal, refusal);
        QCOMPARE(bin.bytes.toHex(), bytes.toHex());
        if (refusal.isEmpty())
            QCOMPARE(memoryOf(fromBin(bytes, dump.blockSize).dump), memoryOf(dump));
    }

    void binRefused()
    {
        QVERIFY(!fromBin(QByteArray(6, 0), 4).error.isEmpty());
        QVERIFY(!fromBin(QByteArray(), 4).error.isEmpty());
        QVERIFY(!fromBin(QByteArray(4 * 257, 0), 4).error.isEmpty());
        QVERIFY(!fromBin(QByteArray(36, 0), 4, Family::Tagit).error.isEmpty());
    }

    void comparison_data()
    {
        QTest::addColumn<TagDump>("tag");
        QTest::addColumn<TagDump>("dump");
        QTest::addColumn<QList<int>>("differing");
        QTest::addColumn<QList<int>>("unread"); // on the tag, then in the dump, +100
        QTest::addColumn<bool>("equal");
        const TagDump base = dumpOf({"01020304", "05060708", "090A0B0C"});
        QTest::newRow("equal, other uid") << dumpOf(memoryOf(base), {}, QByteArray::fromHex("E004000000000001")) << base
                                          << QList<int>() << QList<int>() << true;
        QTest::newRow("one differs") << dumpOf({"01020304", "FF060708", "090A0B0C"}) << base << QList<int>{1} << QList<int>() << false;
        QTest::newRow("unread both sides") << dumpOf({"", "05060708", "090A0B0C"}) << dumpOf({"01020304", "05060708", ""})
                                           << QList<int>() << QList<int>{0, 102} << false;
        QTest::newRow("tag larger") << dumpOf({"01020304", "05060708", "090A0B0C", "00000000"}) << base << QList<int>()
                                    << QList<int>() << false;
        QTest::newRow("block size") << dumpOf({"0102030405060708"}) << base << QList<int>() << QList<int>() << false;
    }
    void comparison()
    {
        QFETCH(TagDump, tag);
        QFETCH(TagDump, dump);
        QFETCH(QList<int>, differing);
        QFETCH(QList<int>, unread);
        QFETCH(bool, equal);
        const Comparison c = compare(tag, dump);
        QList<int> blocks, unreadBoth = c.unreadOnTag;
        for (const BlockDifference &d : c.differing)
            blocks << d.block;
        for (int n : c.unreadInDump)
            unreadBoth << n + 100;
        QCOMPARE(blocks, differing);
        QCOMPARE(unreadBoth, unread);
        QCOMPARE(c.equal(), equal);
        QCOMPARE(c.uidDiffers, QTest::currentDataTag() == QByteArray("equal, other uid"));
    }

    void restore_data()
    {
        QTest::addColumn<TagDump>("dump");
        QTest::addColumn<TagDump>("tag");
        QTest::addColumn<RestoreOptions>("options");
        QTest::addColumn<QList<int>>("writes");
        QTest::addColumn<QList<int>>("skipped");
        QTest::addColumn<QList<int>>("locks");
        QTest::addColumn<int>("refusal");
        using R = RestorePlan::Refusal;
        const TagDump dump = dumpOf({"01020304", "05060708", "", "0D0E0F10"}, "0010");
        const TagDump other = dumpOf({"01020304", "FFFFFFFF", "FFFFFFFF", "FFFFFFFF", "FFFFFFFF"}, "0000");
        QTest::newRow("only differing") << dump << other << RestoreOptions{} << QList<int>{1, 3} << QList<int>()
                                        << QList<int>() << int(R::None);
        QTest::newRow("locked skipped") << dump << dumpOf(memoryOf(other), "0001") << RestoreOptions{} << QList<int>{1}
                                        << QList<int>{3} << QList<int>() << int(R::None);
        QTest::newRow("unread on tag written") << dump << dumpOf({"", "05060708", "", "0D0E0F10"}, "????") << RestoreOptions{}
                                               << QList<int>{0} << QList<int>() << QList<int>() << int(R::None);
        const TagDump stranger = dumpOf(memoryOf(other), "0000", QByteArray::fromHex("E004000000000001"));
        QTest::newRow("uid differs") << dump << stranger << RestoreOptions{} << QList<int>() << QList<int>() << QList<int>()
                                     << int(R::UidDiffers);
        QTest::newRow("uid differs, any uid") << dump << stranger << RestoreOptions{true} << QList<int>{1, 3} << QList<int>()
                                              << QList<int>() << int(R::None);
        QTest::newRow("dump without uid") << dumpOf(memoryOf(dump), "", {}) << other << RestoreOptions{} << QList<int>()
                                          << QList<int>() << QList<int>() << int(R::UidDiffers);
        QTest::newRow("locks when asked") << dumpOf({"01020304", "05060708", "", "0D0E0F10"}, "1011") << other
                                          << RestoreOptions{false, true} << QList<int>{1, 3} << QList<int>() << QList<int>{0, 3}
                                          << int(R::None);
        QTest::newRow("dump larger than tag") << other << dump << RestoreOptions{} << QList<int>() << QList<int>()
                                              << QList<int>() << int(R::LayoutDiffers);
    }
    void restore()
    {
        QFETCH(TagDump, dump);
        QFETCH(TagDump, tag);
        QFETCH(RestoreOptions, options);
        QFETCH(QList<int>, writes);
        QFETCH(QList<int>, skipped);
        QFETCH(QList<int>, locks);
        QFETCH(int, refusal);
        const RestorePlan plan = planRestore(dump, tag, options);
        QCOMPARE(int(plan.refusal), refusal);
        QList<int> written;
        for (const BlockWrite &w : plan.writes) {
            written << w.block;
            QCOMPARE(w.data, dump.blocks[w.block].data);
        }
        QCOMPARE(written, writes);
        QCOMPARE(plan.skippedLocked, skipped);
        QCOMPARE(plan.locks, locks);
    }

    void restoreSystemBytes()
    {
        TagDump dump = dumpOf({"01020304"}, "0"), tag = dump;
        dump.afi = 0x90, dump.afiLocked = true, tag.afi = 0x00;
        tag.dsfid = 0x01, tag.dsfidLocked = true;
        const RestorePlan quiet = planRestore(dump, tag, {});
        QVERIFY(quiet.nothingToDo() && quiet.notes.isEmpty());
        const RestorePlan asked = planRestore(dump, tag, {false, true, true, true});
        QCOMPARE(asked.afi, std::optional<uint8_t>(0x90));
        QVERIFY(asked.lockAfi);
        QVERIFY(!asked.dsfid && !asked.lockDsfid);
        QCOMPARE(asked.notes, QStringList{"the dump holds no DSFID"});
    }
};

QTEST_GUILESS_MAIN(TestTagDump)
#include "tst_tagdump.moc"
