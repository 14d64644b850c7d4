// VexaHost - the memory job (see memoryjob.h): what each kind makes of the
// tag once it is read, the writes, their read-back and the locks.
#include "memoryjob.h"

#include <algorithm>

#include "core/session/memoryjobprivate.h"
#include "core/session/readersession.h"
#include "core/util/operatorprompt.h"

namespace vexa {

using namespace memoryjob;

namespace {
using Kind = MemoryJobInput::Kind;
using Outcome = MemoryJobResult::Outcome;
using tagdump::Family;
} // namespace

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
    if (plan.nothingToDo() && plan.skippedLocked.isEmpty())
        r.notes << QStringLiteral("nothing to write: the tag holds the dump");
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

} // namespace vexa
