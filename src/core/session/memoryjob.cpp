// VexaHost - the memory job (see memoryjob.h).
//
// The job is a queue of exchanges. Each step builds its command when it is
// its turn (a UID learnt from the inventory is in place by then) and takes
// its answer; a step may queue further steps (the system information queues
// the block reads). One exchange is in flight at a time.
#include "memoryjob.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include "core/session/answer.h"
#include "core/session/command.h"
#include "core/session/readersession.h"
#include "core/util/operatorprompt.h"

namespace vexa {

namespace {

using Kind = MemoryJobInput::Kind;
using Outcome = MemoryJobResult::Outcome;
using tagdump::Family;

// View Many Blocks carries at most this many; the lock status is read in
// ranges as long, so that no answer outgrows the reader's buffer.
constexpr int kChunk = 32;

QString numberList(const QList<int> &list)
{
    QStringList texts;
    for (int n : list)
        texts << QString::number(n);
    return texts.join(QStringLiteral(", "));
}

QJsonArray jsonNumbers(const QList<int> &list)
{
    QJsonArray array;
    for (int n : list)
        array.append(n);
    return array;
}

// The blocks of an answer's fields: number, bytes in memory order.
QList<std::pair<int, QByteArray>> blocksOf(const Answer &answer, int blockSize)
{
    QList<std::pair<int, QByteArray>> out;
    for (const QVariant &entry : answer.report.fields.value(QStringLiteral("blocks")).toList()) {
        const QVariantMap map = entry.toMap();
        if (const auto bytes = ndef::blockBytes(map.value(QStringLiteral("value")).toString(), blockSize))
            out.append({map.value(QStringLiteral("block")).toInt(), *bytes});
    }
    return out;
}

QList<std::pair<int, bool>> locksOf(const Answer &answer)
{
    QList<std::pair<int, bool>> out;
    for (const QVariant &entry : answer.report.fields.value(QStringLiteral("locks")).toList()) {
        const QVariantMap map = entry.toMap();
        out.append({map.value(QStringLiteral("block")).toInt(), map.value(QStringLiteral("locked")).toBool()});
    }
    return out;
}

// Why an answer is no use, in a few words; empty when it is.
QString answerProblem(const Answer &answer)
{
    return answer.status == Answer::Status::Ok ? QString() : failureReason(answer);
}

} // namespace

struct MemoryJob::Private
{
    struct Step
    {
        std::function<Command()> command;
        std::function<void(const Answer &)> answered;
        QString text; // progress
    };

    ReaderSession &session;
    std::deque<Step> steps;
    MemoryJobResult result;
    bool inFlight = false;
    Answer::Status lastStatus = Answer::Status::Ok;
    bool cancelled = false;
    bool ended = false;
    int done = 0;
    int total = 0;
    int savedBlockLength = 0;
    QString uid; // as shown: the ISO UID or Tag-it address every command carries
    tagdump::RestorePlan plan;
    QList<ndef::BlockWrite> ndefWrites;
    QList<int> readBack; // blocks whose read-back value is to be checked
    QMap<int, QByteArray> expected;

    explicit Private(ReaderSession &s) : session(s) {}
};

QString memoryJobName(MemoryJobInput::Kind kind)
{
    switch (kind) {
    case Kind::Dump: return QStringLiteral("dump");
    case Kind::Restore: return QStringLiteral("restore");
    case Kind::Verify: return QStringLiteral("verify");
    case Kind::NdefRead: return QStringLiteral("ndef read");
    case Kind::NdefWrite: return QStringLiteral("ndef write");
    }
    return {};
}

QString outcomeName(MemoryJobResult::Outcome outcome)
{
    switch (outcome) {
    case Outcome::Done: return QStringLiteral("done");
    case Outcome::Differs: return QStringLiteral("differs");
    case Outcome::Refused: return QStringLiteral("refused");
    case Outcome::Failed: return QStringLiteral("failed");
    case Outcome::Cancelled: return QStringLiteral("cancelled");
    }
    return {};
}

MemoryJob::MemoryJob(ReaderSession &session, const MemoryJobInput &input, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(session)), m_input(input)
{
    d->result.kind = input.kind;
    d->result.dump.family = input.family;
    connect(&session, &ReaderSession::answered, this, &MemoryJob::onAnswered);
}

MemoryJob::~MemoryJob()
{
    if (m_running)
        d->session.options().isoBlockLength = d->savedBlockLength;
}

void MemoryJob::start()
{
    if (m_running || d->ended)
        return;
    m_running = true;
    d->savedBlockLength = d->session.options().isoBlockLength;
    d->uid = m_input.tag.trimmed().toUpper();
    const bool iso = m_input.family == Family::Iso15693;
    if (d->uid.isEmpty())
        queueInventory();
    else
        d->result.dump.uid = QByteArray::fromHex(d->uid.toLatin1());
    if (iso)
        queueSystemInformation();
    else
        queueTagitRead();
    // finished() never comes from inside start().
    QTimer::singleShot(0, this, &MemoryJob::next);
}

void MemoryJob::cancel()
{
    if (!m_running)
        return;
    // Between exchanges a next() is always due (or under way, telling its
    // progress): it ends the job before anything more is sent.
    d->cancelled = true;
}

void MemoryJob::queueInventory()
{
    const bool iso = m_input.family == Family::Iso15693;
    d->steps.push_back({[iso]() -> Command {
                            if (iso) {
                                iso15693::Request r;
                                r.command = iso15693::Inventory;
                                return r;
                            }
                            tagit::Request r;
                            r.command = tagit::Inventory;
                            return r;
                        },
                        [this](const Answer &answer) {
                            if (const QString problem = answerProblem(answer); !problem.isEmpty())
                                return finish(Outcome::Failed, QStringLiteral("inventory: ") + problem);
                            QStringList ids;
                            for (const TagSighting &tag : answer.tags)
                                if (!ids.contains(tag.id))
                                    ids << tag.id;
                            if (ids.isEmpty())
                                return finish(Outcome::Refused, QStringLiteral("no tag in the field"));
                            if (ids.size() > 1)
                                return finish(Outcome::Refused,
                                              QStringLiteral("%1 tags in the field (%2): name one")
                                                  .arg(ids.size())
                                                  .arg(ids.join(QStringLiteral(", "))));
                            d->uid = ids.constFirst();
                            d->result.dump.uid = QByteArray::fromHex(d->uid.toLatin1());
                        },
                        QStringLiteral("inventory")});
}

// ----- ISO/IEC 15693

namespace {

iso15693::Request isoRequest(int command, const QString &uid, int block = 0, int count = 1)
{
    iso15693::Request r;
    r.command = command;
    r.useUid = true;
    r.uid = uid;
    r.blockNumber = QString::number(block);
    r.numBlocks = QString::number(count);
    return r;
}

} // namespace

void MemoryJob::queueSystemInformation()
{
    d->steps.push_back({[this]() -> Command { return isoRequest(iso15693::ViewFactoryData, d->uid); },
                        [this](const Answer &answer) {
                            if (const QString problem = answerProblem(answer); !problem.isEmpty())
                                return finish(Outcome::Failed, QStringLiteral("system information: ") + problem);
                            const QVariantMap info =
                                answer.report.fields.value(QStringLiteral("systemInfo")).toMap();
                            if (info.isEmpty())
                                return finish(Outcome::Failed, QStringLiteral("the tag did not answer"));
                            tagdump::TagDump &dump = d->result.dump;
                            bool ok = false;
                            if (const int v = info.value(QStringLiteral("dsfid")).toString().toInt(&ok, 16); ok)
                                dump.dsfid = uint8_t(v);
                            if (const int v = info.value(QStringLiteral("afi")).toString().toInt(&ok, 16); ok)
                                dump.afi = uint8_t(v);
                            if (info.contains(QStringLiteral("icReference")))
                                dump.icReference = uint8_t(info.value(QStringLiteral("icReference")).toInt());
                            if (!info.contains(QStringLiteral("blockCount")))
                                return finish(Outcome::Failed, QStringLiteral("the tag does not tell its memory size"));
                            const int count = info.value(QStringLiteral("blockCount")).toInt();
                            dump.blockSize = info.value(QStringLiteral("blockSize")).toInt();
                            if (dump.blockSize != 4 && dump.blockSize != 8)
                                return finish(Outcome::Refused,
                                              QStringLiteral("blocks of %1 bytes cannot be read through this reader")
                                                  .arg(dump.blockSize));
                            dump.blocks = QList<tagdump::Block>(count);
                            // The reader reads as wide as its block length option: the
                            // tag's own, for this job.
                            d->session.options().isoBlockLength = dump.blockSize == 8 ? 1 : 0;
                            queueIsoBlockReads(0, count, m_input.kind != Kind::NdefRead);
                            d->steps.push_back({{}, [this](const Answer &) { afterDump(); }, {}});
                        },
                        QStringLiteral("system information")});
}

// Reads blocks first .. first + count - 1 (and their lock states): in
// ranges of View Many Blocks for 4-byte blocks (a range refused is read again
// block by block, so that one bad block does not hide the others), one block
// at a time for 8-byte blocks, which View Many Blocks cannot carry.
void MemoryJob::queueIsoBlockReads(int first, int count, bool locks)
{
    const int size = d->result.dump.blockSize;
    const int end = first + count;
    d->total += size == 4 ? (count + kChunk - 1) / kChunk : count;
    for (int at = first; at < end; at += size == 4 ? kChunk : 1) {
        const int n = size == 4 ? std::min(kChunk, end - at) : 1;
        const int command = n == 1 ? iso15693::ViewOneBlock : iso15693::ViewManyBlocks;
        d->steps.push_back(
            {[this, command, at, n]() -> Command { return isoRequest(command, d->uid, at, n); },
             [this, at, n, size](const Answer &answer) {
                 const QString problem = answerProblem(answer);
                 if (answer.status == Answer::Status::NoAnswer)
                     return finish(Outcome::Failed, QStringLiteral("block %1: %2").arg(at).arg(problem));
                 if (!problem.isEmpty() && n > 1) {
                     // Again one at a time, next in the queue.
                     for (int b = at + n - 1; b >= at; --b)
                         d->steps.push_front({[this, b]() -> Command {
                                                  return isoRequest(iso15693::ViewOneBlock, d->uid, b, 1);
                                              },
                                              [this, b](const Answer &a) { takeBlocks(a, b, 1, 4); },
                                              QStringLiteral("block %1").arg(b)});
                     d->total += n;
                     return;
                 }
                 takeBlocks(answer, at, n, size);
             },
             QStringLiteral("block %1 of %2").arg(at + n).arg(d->result.dump.blocks.size())});
    }
    if (!locks)
        return;
    for (int at = first; at < end; at += kChunk) {
        const int n = std::min(kChunk, end - at);
        ++d->total;
        d->steps.push_back({[this, at, n]() -> Command {
                                return isoRequest(iso15693::ViewLockStatus, d->uid, at, n);
                            },
                            [this](const Answer &answer) {
                                // Lock states not read stay unknown: a dump without them is
                                // still exact about its data.
                                if (answer.status == Answer::Status::NoAnswer)
                                    return finish(Outcome::Failed, QStringLiteral("lock status: ") + failureReason(answer));
                                for (const auto &[block, locked] : locksOf(answer))
                                    if (block >= 0 && block < d->result.dump.blocks.size())
                                        d->result.dump.blocks[block].locked = locked;
                            },
                            QStringLiteral("lock status")});
    }
}

// A read answer for blocks first .. first + n - 1: the blocks it holds are
// read, the others are recorded unread with the answer's reason.
void MemoryJob::takeBlocks(const Answer &answer, int first, int n, int size)
{
    if (answer.status == Answer::Status::NoAnswer)
        return finish(Outcome::Failed, QStringLiteral("block %1: %2").arg(first).arg(failureReason(answer)));
    QList<tagdump::Block> &blocks = d->result.dump.blocks;
    QString problem = answerProblem(answer);
    if (problem.isEmpty())
        for (const auto &[block, bytes] : blocksOf(answer, size))
            if (block >= first && block < first + n && block < blocks.size()) {
                blocks[block].data = bytes;
                blocks[block].unread.clear();
            }
    if (problem.isEmpty())
        problem = QStringLiteral("not in the answer");
    for (int b = first; b < first + n && b < blocks.size(); ++b)
        if (!blocks[b].isRead())
            blocks[b].unread = problem;
}

// ----- Tag-it

void MemoryJob::queueTagitRead()
{
    d->result.dump.blockSize = tagdump::kTagitBlockSize;
    d->result.dump.blocks = QList<tagdump::Block>(tagdump::kTagitBlocks);
    queueTagitBlockReads(0, tagdump::kTagitBlocks);
    d->steps.push_back({{}, [this](const Answer &) { afterDump(); }, {}});
}

namespace {

tagit::Request tagitRequest(int command, const QString &address, int block = 0, int count = 1)
{
    tagit::Request r;
    r.command = command;
    r.useAddress = true;
    r.address = address;
    r.blockNumber = QString::number(block);
    r.numBlocks = QString::number(count);
    return r;
}

} // namespace

void MemoryJob::queueTagitBlockReads(int first, int count)
{
    ++d->total;
    d->steps.push_back(
        {[this, first, count]() -> Command { return tagitRequest(tagit::ReadMultiBlock, d->uid, first, count); },
         [this, first, count](const Answer &answer) {
             if (answer.status == Answer::Status::NoAnswer)
                 return finish(Outcome::Failed, QStringLiteral("blocks: ") + failureReason(answer));
             if (answer.status != Answer::Status::Ok && count > 1) {
                 for (int b = first + count - 1; b >= first; --b)
                     d->steps.push_front({[this, b]() -> Command {
                                              return tagitRequest(tagit::ReadBlock, d->uid, b, 1);
                                          },
                                          [this, b](const Answer &a) { takeTagitBlocks(a, b, 1); },
                                          QStringLiteral("block %1").arg(b)});
                 d->total += count;
                 return;
             }
             takeTagitBlocks(answer, first, count);
         },
         QStringLiteral("block %1 of %2").arg(first + count).arg(tagdump::kTagitBlocks)});
}

void MemoryJob::takeTagitBlocks(const Answer &answer, int first, int n)
{
    takeBlocks(answer, first, n, tagdump::kTagitBlockSize);
    if (answer.status != Answer::Status::Ok)
        return;
    for (const auto &[block, locked] : locksOf(answer))
        if (block >= first && block < first + n && block < d->result.dump.blocks.size())
            d->result.dump.blocks[block].locked = locked;
}

// ----- after the dump: what each kind makes of it

void MemoryJob::afterDump()
{
    MemoryJobResult &r = d->result;
    for (int b = 0; b < r.dump.blocks.size(); ++b)
        if (!r.dump.blocks[b].isRead())
            r.notes << QStringLiteral("block %1 not read: %2").arg(b).arg(r.dump.blocks[b].unread);
    switch (m_input.kind) {
    case Kind::Dump: return;
    case Kind::Verify: {
        const tagdump::Comparison c = tagdump::compare(r.dump, m_input.reference);
        for (const tagdump::BlockDifference &diff : c.differing)
            r.differing << diff.block;
        if (c.uidDiffers)
            r.notes << QStringLiteral("the UID differs from the dump's");
        if (!c.unreadInDump.isEmpty())
            r.notes << QStringLiteral("not in the dump: blocks %1").arg(numberList(c.unreadInDump));
        if (!c.equal())
            d->steps.push_back({{}, [this, c](const Answer &) {
                                    finish(Outcome::Differs,
                                           !c.layout.isEmpty() ? c.layout
                                           : !c.differing.isEmpty()
                                               ? QStringLiteral("the tag differs from the dump in blocks %1")
                                                     .arg(numberList(d->result.differing))
                                               : QStringLiteral("blocks %1 could not be read")
                                                     .arg(numberList(c.unreadOnTag)));
                                },
                                {}});
        return;
    }
    case Kind::NdefRead: {
        r.ndef = ndef::readTag(readPrefix());
        if (!r.ndef->found())
            finish(Outcome::Failed, QStringLiteral("no NDEF message: ") + r.ndef->problem);
        return;
    }
    case Kind::Restore: return planRestore();
    case Kind::NdefWrite: return planNdefWrite();
    }
}

// The memory from byte 0 up to the first block not read.
QByteArray MemoryJob::readPrefix() const
{
    QByteArray memory;
    for (const tagdump::Block &block : d->result.dump.blocks) {
        if (!block.isRead())
            break;
        memory += block.data;
    }
    return memory;
}

void MemoryJob::planRestore()
{
    MemoryJobResult &r = d->result;
    d->plan = tagdump::planRestore(m_input.reference, r.dump, m_input.restore);
    const tagdump::RestorePlan &plan = d->plan;
    if (plan.refusal != tagdump::RestorePlan::Refusal::None)
        return finish(Outcome::Refused, plan.reason);
    r.skipped = plan.skippedLocked;
    r.notes << plan.notes;
    if (!plan.unreadInDump.isEmpty())
        r.notes << QStringLiteral("left as they are (not in the dump): blocks %1").arg(numberList(plan.unreadInDump));
    // What cannot be undone is asked for once, before anything is written.
    QStringList forGood;
    if (plan.afi)
        forGood << QStringLiteral("the AFI");
    if (plan.dsfid)
        forGood << QStringLiteral("the DSFID");
    if (!plan.locks.isEmpty())
        forGood << QStringLiteral("locks on blocks %1").arg(numberList(plan.locks));
    if (plan.lockAfi)
        forGood << QStringLiteral("the AFI lock");
    if (plan.lockDsfid)
        forGood << QStringLiteral("the DSFID lock");
    if (!forGood.isEmpty()
        && !d->session.prompt().confirm(QStringLiteral("The restore writes %1 from the dump, continue?")
                                            .arg(forGood.join(QStringLiteral(", ")))))
        return finish(Outcome::Refused, QStringLiteral("not confirmed: ") + forGood.join(QStringLiteral(", ")));

    QList<ndef::BlockWrite> writes;
    for (const tagdump::BlockWrite &w : plan.writes)
        writes.append({w.block, w.data});
    queueWrites(writes);
    const bool iso = m_input.family == Family::Iso15693;
    const auto byteWrite = [this](int command, uint8_t value, const QString &what) {
        d->steps.push_back({[this, command, value]() -> Command {
                                iso15693::Request q = isoRequest(command, d->uid);
                                if (command == iso15693::ProgramAfi) {
                                    q.afiFamily = value >> 4;
                                    q.afiSubcategory = QString::number(value & 0x0F, 16);
                                } else {
                                    q.data = QString::asprintf("%02X", value);
                                }
                                return q;
                            },
                            [this, what](const Answer &a) {
                                if (const QString problem = answerProblem(a); !problem.isEmpty())
                                    d->result.notes << QStringLiteral("%1 not written: %2").arg(what, problem);
                            },
                            what});
    };
    if (iso && plan.afi)
        byteWrite(iso15693::ProgramAfi, *plan.afi, QStringLiteral("AFI"));
    if (iso && plan.dsfid)
        byteWrite(iso15693::ProgramDsfid, *plan.dsfid, QStringLiteral("DSFID"));
    queueReadBack();
    // Locks last, and only on blocks that read back as planned.
    d->steps.push_back({{}, [this](const Answer &) { queueLocks(); }, {}});
    d->steps.push_back({{}, [this](const Answer &) { finishWrites(); }, {}});
}

void MemoryJob::planNdefWrite()
{
    MemoryJobResult &r = d->result;
    if (m_input.family != Family::Iso15693)
        return finish(Outcome::Refused, QStringLiteral("NDEF is written to ISO/IEC 15693 tags only"));
    ndef::TagLayout tag;
    tag.blockSize = r.dump.blockSize;
    tag.blockCount = int(r.dump.blocks.size());
    tag.format = m_input.format;
    for (int b = 0; b < r.dump.blocks.size(); ++b) {
        const tagdump::Block &block = r.dump.blocks[b];
        // Whatever is not known to be open is taken as locked: a write is
        // refused, never half done.
        tag.locked << block.locked.value_or(true);
        if (!block.isRead())
            return finish(Outcome::Refused, QStringLiteral("block %1 could not be read: %2").arg(b).arg(block.unread));
        tag.memory += block.data;
    }
    const ndef::Layout plan = ndef::layout(tag, m_input.ndefMessage);
    if (!plan.refusal.isEmpty())
        return finish(Outcome::Refused, plan.refusal);
    queueWrites(plan.writes);
    queueReadBack();
    d->steps.push_back({{}, [this](const Answer &) {
                            d->result.ndef = ndef::readTag(readPrefix());
                            finishWrites();
                        },
                        {}});
}

void MemoryJob::queueWrites(const QList<ndef::BlockWrite> &writes)
{
    const bool iso = m_input.family == Family::Iso15693;
    int k = 0;
    d->total += int(writes.size());
    for (const ndef::BlockWrite &w : writes) {
        ++k;
        d->expected.insert(w.block, w.bytes);
        d->steps.push_back(
            {[this, w, iso]() -> Command {
                 const QString value = ndef::blockValueText(w.bytes);
                 if (iso) {
                     iso15693::Request q = isoRequest(iso15693::ProgramOneBlock, d->uid, w.block);
                     q.data = value;
                     return q;
                 }
                 tagit::Request q = tagitRequest(tagit::WriteBlock, d->uid, w.block);
                 q.blockData[0] = value;
                 return q;
             },
             [this, w](const Answer &answer) {
                 if (answer.status == Answer::Status::NoAnswer)
                     return finish(Outcome::Failed, QStringLiteral("block %1: %2").arg(w.block).arg(failureReason(answer)));
                 if (const QString problem = answerProblem(answer); !problem.isEmpty()) {
                     d->result.notes << QStringLiteral("block %1 not written: %2").arg(w.block).arg(problem);
                     d->expected.remove(w.block);
                     d->result.differing << w.block;
                     return;
                 }
                 d->result.written << w.block;
             },
             QStringLiteral("write %1 of %2").arg(k).arg(writes.size())});
    }
}

// Every written block is read again once the writes are over: in ranges
// where blocks are 4 bytes wide, one by one otherwise.
void MemoryJob::queueReadBack()
{
    d->steps.push_back({{}, [this](const Answer &) {
                            const QList<int> written = d->result.written;
                            if (written.isEmpty())
                                return;
                            if (m_input.family == Family::Tagit) {
                                for (int b : written)
                                    d->result.dump.blocks[b] = {};
                                queueTagitBlockReads(0, tagdump::kTagitBlocks);
                            } else {
                                const int first = written.constFirst();
                                const int last = written.constLast();
                                for (int b = first; b <= last; ++b)
                                    d->result.dump.blocks[b].data.clear();
                                if (d->result.dump.blockSize == 4) {
                                    queueIsoBlockReads(first, last - first + 1, false);
                                } else {
                                    for (int b : written)
                                        queueIsoBlockReads(b, 1, false);
                                }
                            }
                            d->steps.push_back({{}, [this](const Answer &) {
                                                    for (int b : d->result.written) {
                                                        const tagdump::Block &block = d->result.dump.blocks[b];
                                                        if (block.data != d->expected.value(b)
                                                            && !d->result.differing.contains(b))
                                                            d->result.differing << b;
                                                    }
                                                    std::sort(d->result.differing.begin(), d->result.differing.end());
                                                },
                                                {}});
                        },
                        {}});
}

void MemoryJob::queueLocks()
{
    const tagdump::RestorePlan &plan = d->plan;
    const bool iso = m_input.family == Family::Iso15693;
    const auto lock = [this](std::function<Command()> command, const QString &what) {
        d->steps.push_back({std::move(command),
                            [this, what](const Answer &a) {
                                if (const QString problem = answerProblem(a); !problem.isEmpty())
                                    d->result.notes << QStringLiteral("%1 not locked: %2").arg(what, problem);
                            },
                            what});
    };
    for (int b : plan.locks) {
        if (d->result.differing.contains(b))
            continue;
        lock([this, b, iso]() -> Command {
            if (iso)
                return isoRequest(iso15693::LockOneBlock, d->uid, b);
            return tagitRequest(tagit::LockBlock, d->uid, b);
        },
             QStringLiteral("block %1").arg(b));
    }
    if (iso && plan.lockAfi)
        lock([this]() -> Command { return isoRequest(iso15693::LockAfi, d->uid); }, QStringLiteral("AFI"));
    if (iso && plan.lockDsfid)
        lock([this]() -> Command { return isoRequest(iso15693::LockDsfid, d->uid); }, QStringLiteral("DSFID"));
}

void MemoryJob::finishWrites()
{
    const MemoryJobResult &r = d->result;
    if (!r.differing.isEmpty())
        return finish(Outcome::Differs, QStringLiteral("blocks %1 do not hold what was written").arg(numberList(r.differing)));
    // The tag does not hold the dump: a script must not take it for a copy.
    if (!r.skipped.isEmpty())
        return finish(Outcome::Differs, QStringLiteral("blocks %1 are locked and still differ").arg(numberList(r.skipped)));
    if (m_input.kind == Kind::NdefWrite && (!r.ndef || !r.ndef->found()))
        return finish(Outcome::Differs, QStringLiteral("the message does not read back: ")
                                            + (r.ndef ? r.ndef->problem : QString()));
}

// ----- the queue

void MemoryJob::next()
{
    while (m_running && !d->inFlight) {
        if (d->cancelled)
            return finish(Outcome::Cancelled, QStringLiteral("cancelled"));
        if (d->steps.empty())
            return finish(Outcome::Done);
        Private::Step step = std::move(d->steps.front());
        d->steps.pop_front();
        if (!step.command) {
            // A step of the job's own: no exchange.
            runStep(step.answered, Answer{});
            continue;
        }
        if (!step.text.isEmpty()) {
            emit progress(d->done, std::max(d->total, d->done + 1), step.text);
            if (d->cancelled)
                return finish(Outcome::Cancelled, QStringLiteral("cancelled"));
        }
        const SendResult sent = d->session.send(step.command());
        if (!sent.sent()) {
            switch (sent.outcome) {
            case SendResult::Outcome::Declined:
                // A question about this one exchange: the rest goes on.
                d->result.notes << QStringLiteral("%1: declined").arg(step.text);
                continue;
            case SendResult::Outcome::Failed:
                d->session.stopAwaitingAnswer();
                d->result.linkFailed = true;
                return finish(Outcome::Failed, sent.refusal.isEmpty() ? d->session.lastSendFailure() : sent.refusal);
            default:
                return finish(Outcome::Failed, sent.refusal.isEmpty() ? QStringLiteral("not sent") : sent.refusal);
            }
        }
        d->inFlight = true;
        d->steps.push_front(std::move(step)); // its answer is still to come
    }
}

// What a step queues comes before the steps that were already waiting.
void MemoryJob::runStep(const std::function<void(const Answer &)> &handler, const Answer &answer)
{
    std::deque<Private::Step> rest;
    rest.swap(d->steps);
    handler(answer);
    if (!m_running)
        return;
    for (Private::Step &s : rest)
        d->steps.push_back(std::move(s));
}

void MemoryJob::onAnswered(const Answer &answer)
{
    if (!m_running || !d->inFlight)
        return;
    d->inFlight = false;
    d->lastStatus = answer.status;
    Private::Step step = std::move(d->steps.front());
    d->steps.pop_front();
    if (step.command)
        ++d->done;
    runStep(step.answered, answer);
    if (m_running)
        QTimer::singleShot(0, this, &MemoryJob::next);
}

void MemoryJob::finish(MemoryJobResult::Outcome outcome, const QString &reason)
{
    if (!m_running)
        return;
    m_running = false;
    d->ended = true;
    d->steps.clear();
    d->session.options().isoBlockLength = d->savedBlockLength;
    d->result.outcome = outcome;
    d->result.reason = reason;
    d->result.noAnswer = outcome == Outcome::Failed && !d->result.linkFailed
                         && (d->lastStatus == Answer::Status::NoAnswer || d->lastStatus == Answer::Status::BadAnswer);
    std::sort(d->result.written.begin(), d->result.written.end());
    emit progress(d->done, std::max(d->total, d->done), QStringLiteral("done"));
    emit finished(d->result);
}

// ----- what front ends show

QStringList memoryJobLines(const MemoryJobResult &r)
{
    QStringList lines;
    const tagdump::TagDump &dump = r.dump;
    if (!dump.uid.isEmpty())
        lines << QStringLiteral("%1 %2").arg(dump.family == Family::Tagit ? QStringLiteral("Tag:") : QStringLiteral("UID:"),
                                            tagdump::uidText(dump.uid));
    const bool dumpShown = r.kind == Kind::Dump || r.kind == Kind::Verify;
    if (dumpShown && !dump.blocks.isEmpty()) {
        if (dump.dsfid)
            lines << QString::asprintf("DSFID: %02X", *dump.dsfid);
        if (dump.afi)
            lines << QString::asprintf("AFI: %02X", *dump.afi);
        if (dump.icReference)
            lines << QString::asprintf("IC reference: %02X", *dump.icReference);
        lines << QStringLiteral("Blocks: %1 of %2 bytes").arg(dump.blocks.size()).arg(dump.blockSize);
        for (int b = 0; b < dump.blocks.size(); ++b) {
            const tagdump::Block &block = dump.blocks[b];
            QString line = QStringLiteral("  %1  ").arg(b, 3, 10, QLatin1Char('0'));
            line += block.isRead() ? tagdump::shownValue(block.data) : QStringLiteral("unread: ") + block.unread;
            if (block.locked.value_or(false))
                line += QStringLiteral("  locked");
            lines << line;
        }
    }
    if (r.ndef)
        lines << ndef::tagLines(*r.ndef);
    if (!r.written.isEmpty())
        lines << QStringLiteral("Written: blocks %1").arg(numberList(r.written));
    if (!r.skipped.isEmpty())
        lines << QStringLiteral("Skipped (locked): blocks %1").arg(numberList(r.skipped));
    if (!r.differing.isEmpty())
        lines << QStringLiteral("Differing: blocks %1").arg(numberList(r.differing));
    for (const QString &note : r.notes)
        lines << QStringLiteral("Note: ") + note;
    QString last = QStringLiteral("Result: ") + outcomeName(r.outcome);
    if (!r.reason.isEmpty())
        last += QStringLiteral(": ") + r.reason;
    lines << last;
    return lines;
}

QByteArray memoryJobJson(const MemoryJobResult &r)
{
    QJsonObject o;
    const QString family = r.dump.family == Family::Tagit ? QStringLiteral("tagit") : QStringLiteral("iso15693");
    o.insert(QStringLiteral("command"), family + QLatin1Char(' ') + memoryJobName(r.kind));
    o.insert(QStringLiteral("outcome"), outcomeName(r.outcome));
    if (!r.reason.isEmpty())
        o.insert(QStringLiteral("reason"), r.reason);
    if (!r.dump.uid.isEmpty())
        o.insert(QStringLiteral("uid"), tagdump::uidText(r.dump.uid));
    if (!r.dump.blocks.isEmpty()) {
        const tagdump::Encoded encoded = tagdump::toJson(r.dump);
        if (encoded.refusal.isEmpty())
            o.insert(QStringLiteral("dump"), QJsonDocument::fromJson(encoded.bytes).object());
    }
    o.insert(QStringLiteral("written"), jsonNumbers(r.written));
    o.insert(QStringLiteral("skipped"), jsonNumbers(r.skipped));
    o.insert(QStringLiteral("differing"), jsonNumbers(r.differing));
    o.insert(QStringLiteral("notes"), QJsonArray::fromStringList(r.notes));
    if (r.ndef)
        o.insert(QStringLiteral("ndef"), QJsonObject::fromVariantMap(ndef::tagFields(*r.ndef)));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace vexa
