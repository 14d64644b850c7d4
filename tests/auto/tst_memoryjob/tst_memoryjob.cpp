// The memory job's sequencing against a fake tag behind the session: what
// it sends, what it records when a block fails, and that refusals and
// cancels stop it before any write.
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "fakes.h"
#include "core/link/readerlink.h"
#include "core/session/memoryjob.h"
#include "core/session/readersession.h"

using namespace vexa;
using namespace vexa::test;
using Outcome = MemoryJobResult::Outcome;
using Kind = MemoryJobInput::Kind;

namespace {

const QByteArray kUid = hex("7856341201A004E0"); // E004A00112345678, low byte first

// An ISO/IEC 15693 tag of 4-byte blocks answering each frame the session
// writes, a turn of the event loop later.
class FakeTag : public FakeTransport
{
public:
    explicit FakeTag(ReaderLink &link) : m_link(link) {}
    bool write(const QByteArray &frame, QString *error) override
    {
        if (!FakeTransport::write(frame, error))
            return false;
        QTimer::singleShot(0, [this, frame] { m_link.onBytesAvailable(answer(frame)); });
        return true;
    }
    int count(uint8_t code) const
    {
        return int(std::count_if(written.begin(), written.end(), [code](const QByteArray &f) { return uint8_t(f[5]) == code; }));
    }

    QList<uint32_t> blocks = QList<uint32_t>(8, 0);
    QSet<int> locked, badBlocks;
    QSet<int> refusedWrites, lostWrites; // refused; acknowledged but not kept
    QList<int> lockFrames;
    int garbledRanges = 0; // Tag-it range reads to answer with a broken check
    int tagsInField = 1;

private:
    QByteArray answer(const QByteArray &f)
    {
        const uint8_t code = uint8_t(f[5]);
        const QByteArray p = f.mid((uint8_t(f[4]) & 0x10) ? 14 : 6);
        const auto block = [&](int b) {
            QByteArray v(4, '\0');
            for (int i = 0; i < 4; ++i)
                v[i] = char(blocks[b] >> (8 * i));
            return v;
        };
        const auto error = [&] { return answerFrame(1, code, hex("10")); };
        switch (code) {
        case 0x01: {
            QByteArray uids;
            for (int k = 0; k < tagsInField; ++k)
                uids += kUid.left(7) + char(0xE0 + k);
            return answerFrame(0, code, hex("00") + char(tagsInField) + uids);
        }
        case 0x2B: return answerFrame(0, code, hex("0F") + kUid + hex("00 00") + char(blocks.size() - 1) + hex("03 00"));
        case 0x23: {
            QByteArray out = hex("00") + p[1];
            for (int b = uint8_t(p[0]); b < uint8_t(p[0]) + uint8_t(p[1]); ++b) {
                if (badBlocks.contains(b))
                    return error();
                out += char(b) + block(b);
            }
            return answerFrame(0, code, out);
        }
        case 0x20:
            return badBlocks.contains(uint8_t(p[0])) ? error()
                                                     : answerFrame(0, code, block(uint8_t(p[0])) + hex("00") + p[0]);
        case 0x2C: {
            QByteArray out = hex("00") + p[0] + p[1];
            for (int b = uint8_t(p[0]); b < uint8_t(p[0]) + uint8_t(p[1]); ++b)
                out += char(locked.contains(b) ? 1 : 0);
            return answerFrame(0, code, out);
        }
        case 0x22:
            lockFrames << uint8_t(p[0]);
            locked.insert(uint8_t(p[0]));
            return answerFrame(0, code);
        case 0x0A: { // Tag-it: the first block and the count after the 4-byte address
            QByteArray out = hex("00") + f[11];
            for (int b = uint8_t(f[10]); b < uint8_t(f[10]) + uint8_t(f[11]); ++b)
                out += char(locked.contains(b) ? 1 : 0) + char(b) + block(b);
            QByteArray a = answerFrame(0, code, out);
            if (garbledRanges > 0 && garbledRanges--)
                a[a.size() - 1] = char(a[a.size() - 1] ^ 0x55);
            return a;
        }
        case 0x07:
            return answerFrame(0, code, block(uint8_t(f[10])) + char(locked.contains(uint8_t(f[10])) ? 1 : 0) + f[10]);
        case 0x21: {
            const int b = uint8_t(p[0]);
            if (locked.contains(b) || badBlocks.contains(b) || refusedWrites.contains(b))
                return error();
            if (lostWrites.contains(b))
                return answerFrame(0, code);
            blocks[b] = uint8_t(p[1]) | uint8_t(p[2]) << 8 | uint8_t(p[3]) << 16 | uint32_t(uint8_t(p[4])) << 24;
            return answerFrame(0, code);
        }
        default: return error();
        }
    }
    ReaderLink &m_link;
};

tagdump::TagDump dumpOf(const QList<uint32_t> &values)
{
    tagdump::TagDump d;
    d.uid = hex("E004A00112345678");
    for (uint32_t v : values)
        d.blocks.append(tagdump::Block{*ndef::blockBytes(QString::number(v, 16).rightJustified(8, u'0'), 4), {}, false});
    return d;
}

// The job's one result; nothing when finished() did not come, or came twice.
std::optional<MemoryJobResult> run(MemoryJob &job)
{
    QList<MemoryJobResult> results;
    QObject::connect(&job, &MemoryJob::finished, [&](const MemoryJobResult &r) { results << r; });
    job.start();
    if (!QTest::qWaitFor([&] { return !results.isEmpty(); }, 10000) || results.size() != 1)
        return std::nullopt;
    return results.constFirst();
}

} // namespace

class TestMemoryJob : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void sequencing_data();
    void sequencing();
    void cancelMidJob();
    void locksAfterWrites_data();
    void locksAfterWrites();
    void tagitRangeRetried();

private:
    ScriptedPrompt *m_prompt = nullptr;
    ReaderSession *m_session = nullptr;
    FakeTag *m_tag = nullptr;
};

void TestMemoryJob::init()
{
    m_prompt = new ScriptedPrompt;
    m_session = new ReaderSession(*m_prompt);
    m_tag = new FakeTag(m_session->link());
    m_session->link().setTransport(m_tag);
    m_session->setFastCompletion(true);
    // A window showing another family's page must not change how the
    // job's answers read.
    m_session->setVisiblePage(TagPage::Tagit);
}

void TestMemoryJob::cleanup()
{
    delete m_session;
    delete m_tag;
    delete m_prompt;
}

// Each row: the job, the tag's state, then what the job ends with and the
// Program One Block frames it sent.
void TestMemoryJob::sequencing_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("tagsInField");
    QTest::addColumn<QList<int>>("bad");
    QTest::addColumn<QList<int>>("locked");
    QTest::addColumn<QByteArray>("dumpUid");
    QTest::addColumn<QByteArray>("ndef");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QList<int>>("written");
    QTest::addColumn<QList<int>>("listed"); // unread (dump) or differing
    QTest::addColumn<int>("writes");

    const QByteArray uid = hex("E004A00112345678");
    QTest::newRow("dump: a refused block is unread, the others read") << int(Kind::Dump) << 1 << QList<int>{3}
        << QList<int>{} << uid << QByteArray() << int(Outcome::Done) << QString() << QList<int>{} << QList<int>{3} << 0;
    QTest::newRow("dump: no tag") << int(Kind::Dump) << 0 << QList<int>{} << QList<int>{} << uid << QByteArray()
        << int(Outcome::Refused) << "no tag in the field" << QList<int>{} << QList<int>{} << 0;
    QTest::newRow("dump: two tags") << int(Kind::Dump) << 2 << QList<int>{} << QList<int>{} << uid << QByteArray()
        << int(Outcome::Refused) << "2 tags in the field" << QList<int>{} << QList<int>{} << 0;
    QTest::newRow("restore: another UID, nothing written") << int(Kind::Restore) << 1 << QList<int>{}
        << QList<int>{} << hex("E004A00199999999") << QByteArray() << int(Outcome::Refused) << "UID"
        << QList<int>{} << QList<int>{} << 0;
    QTest::newRow("restore: a locked block skipped") << int(Kind::Restore) << 1 << QList<int>{}
        << QList<int>{1} << uid << QByteArray() << int(Outcome::Differs) << "locked" << QList<int>{0, 2}
        << QList<int>{} << 2;
    QTest::newRow("ndef: too long, nothing written") << int(Kind::NdefWrite) << 1 << QList<int>{} << QList<int>{}
        << uid << ndef::encodeUri(QStringLiteral("https://") + QString(40, QLatin1Char('x'))).bytes
        << int(Outcome::Refused)
        << "The NDEF message takes 47 bytes with its TLV header; the tag holds 28 from byte 4."
        << QList<int>{} << QList<int>{} << 0;
    QTest::newRow("ndef: written and read back") << int(Kind::NdefWrite) << 1 << QList<int>{} << QList<int>{}
        << uid << ndef::encodeUri(QStringLiteral("https://a.b")).bytes << int(Outcome::Done) << QString()
        << QList<int>{0, 1, 2, 3} << QList<int>{} << 4;
}

void TestMemoryJob::sequencing()
{
    QFETCH(int, kind);
    QFETCH(int, tagsInField);
    QFETCH(QList<int>, bad);
    QFETCH(QList<int>, locked);
    QFETCH(QByteArray, dumpUid);
    QFETCH(QByteArray, ndef);
    m_tag->tagsInField = tagsInField;
    m_tag->badBlocks = QSet<int>(bad.begin(), bad.end());
    m_tag->locked = QSet<int>(locked.begin(), locked.end());
    for (int b = 0; b < 8; ++b)
        m_tag->blocks[b] = 0x01010101u * uint32_t(b);
    MemoryJobInput input;
    input.kind = Kind(kind);
    input.reference = dumpOf({0xA0, 0xA1, 0xA2, 0x03030303, 0x04040404, 0x05050505, 0x06060606, 0x07070707});
    input.reference.uid = dumpUid;
    input.ndefMessage = ndef;
    input.format = true;
    MemoryJob job(*m_session, input);
    const auto ran = run(job);
    QVERIFY(ran);
    const MemoryJobResult &result = *ran;
    QTEST(int(result.outcome), "outcome");
    QFETCH(QString, reason);
    // An empty reason says there is none.
    QVERIFY2(reason.isEmpty() ? result.reason.isEmpty() : result.reason.contains(reason), qPrintable(result.reason));
    QTEST(result.written, "written");
    QList<int> listed = result.differing;
    if (input.kind == Kind::Dump)
        for (int b = 0; b < result.dump.blocks.size(); ++b)
            if (!result.dump.blocks[b].isRead()) {
                QVERIFY(!result.dump.blocks[b].unread.isEmpty());
                listed << b;
            }
    QTEST(listed, "listed");
    QTEST(m_tag->count(0x21), "writes");
    // The session's block length and page are its own again.
    QCOMPARE(m_session->options().isoBlockLength, 0);
    QCOMPARE(m_session->visiblePage(), TagPage::Tagit);
}

void TestMemoryJob::cancelMidJob()
{
    MemoryJobInput input;
    input.kind = Kind::Dump;
    input.tag = QStringLiteral("E004A00112345678");
    MemoryJob job(*m_session, input);
    // Cancelled as the first block read is about to go: only the system
    // information went out.
    connect(&job, &MemoryJob::progress, &job, [&job](int, int, const QString &text) {
        if (text.startsWith(QLatin1String("block")))
            job.cancel();
    });
    const auto result = run(job);
    QVERIFY(result);
    QCOMPARE(result->outcome, Outcome::Cancelled);
    QCOMPARE(m_tag->written.size(), 1);
}

// A restore with its locks: a block is locked only when its write was
// acknowledged and it read back as the dump holds it.
void TestMemoryJob::locksAfterWrites_data()
{
    QTest::addColumn<QList<int>>("refused");
    QTest::addColumn<QList<int>>("lost");
    QTest::addColumn<QList<int>>("locks");
    QTest::newRow("all written, all locked") << QList<int>{} << QList<int>{} << QList<int>{0, 1, 2};
    QTest::newRow("write refused") << QList<int>{1} << QList<int>{} << QList<int>{0, 2};
    QTest::newRow("reads back different") << QList<int>{} << QList<int>{2} << QList<int>{0, 1};
}

void TestMemoryJob::locksAfterWrites()
{
    QFETCH(QList<int>, refused);
    QFETCH(QList<int>, lost);
    m_tag->refusedWrites = QSet<int>(refused.begin(), refused.end());
    m_tag->lostWrites = QSet<int>(lost.begin(), lost.end());
    MemoryJobInput input;
    input.kind = Kind::Restore;
    input.reference = dumpOf({0xA0, 0xA1, 0xA2, 0, 0, 0, 0, 0});
    for (int b = 0; b < 3; ++b)
        input.reference.blocks[b].locked = true;
    input.restore.locks = true;
    MemoryJob job(*m_session, input);
    const auto result = run(job);
    QVERIFY(result);
    QTEST(m_tag->lockFrames, "locks");
    QCOMPARE(result->outcome, refused.isEmpty() && lost.isEmpty() ? Outcome::Done : Outcome::Differs);
}

// One Tag-it range answer that fails its check is read again block by
// block: every block is read.
void TestMemoryJob::tagitRangeRetried()
{
    m_tag->garbledRanges = 1;
    for (int b = 0; b < 8; ++b)
        m_tag->blocks[b] = 0x01010101u * uint32_t(b);
    MemoryJobInput input;
    input.family = tagdump::Family::Tagit;
    input.tag = QStringLiteral("12345678");
    MemoryJob job(*m_session, input);
    const auto result = run(job);
    QVERIFY(result);
    QCOMPARE(result->outcome, Outcome::Done);
    QCOMPARE(m_tag->count(0x07), 8);
    for (int b = 0; b < 8; ++b)
        QCOMPARE(result->dump.blocks[b].data, dumpOf({0x01010101u * uint32_t(b)}).blocks[0].data);
}

QTEST_GUILESS_MAIN(TestMemoryJob)
#include "tst_memoryjob.moc"
