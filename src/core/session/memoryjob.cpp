// VexaHost - the memory job (see memoryjob.h): its queue and the reads.
//
// The job is a queue of exchanges. Each step builds its command when it is
// its turn (a UID learnt from the inventory is in place by then) and takes
// its answer; a step may queue further steps (the system information queues
// the block reads). One exchange is in flight at a time.
#include "memoryjob.h"

#include <algorithm>
#include <QTimer>

#include "core/session/memoryjobprivate.h"
#include "core/session/readersession.h"

namespace vexa {

namespace memoryjob {

QString numberList(const QList<int> &list)
{
    QStringList texts;
    for (int n : list)
        texts << QString::number(n);
    return texts.join(QStringLiteral(", "));
}

QString answerProblem(const Answer &answer)
{
    return answer.status == Answer::Status::Ok ? QString() : failureReason(answer);
}

iso15693::Request isoRequest(int command, const QString &uid, int block, int count)
{
    iso15693::Request r;
    r.command = command;
    r.useUid = true;
    r.uid = uid;
    r.blockNumber = QString::number(block);
    r.numBlocks = QString::number(count);
    return r;
}

tagit::Request tagitRequest(int command, const QString &address, int block, int count)
{
    tagit::Request r;
    r.command = command;
    r.useAddress = true;
    r.address = address;
    r.blockNumber = QString::number(block);
    r.numBlocks = QString::number(count);
    return r;
}

} // namespace memoryjob

using namespace memoryjob;

namespace {

using Kind = MemoryJobInput::Kind;
using Outcome = MemoryJobResult::Outcome;
using tagdump::Family;

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

} // namespace

MemoryJob::MemoryJob(ReaderSession &session, const MemoryJobInput &input, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(session)), m_input(input)
{
    d->result.kind = input.kind;
    d->result.dump.family = input.family;
    connect(&session, &ReaderSession::answered, this, &MemoryJob::onAnswered);
}

MemoryJob::~MemoryJob()
{
    if (m_running) {
        d->session.options().isoBlockLength = d->savedBlockLength;
        d->session.setVisiblePage(d->savedPage);
    }
}

void MemoryJob::start()
{
    if (m_running || d->ended)
        return;
    m_running = true;
    d->savedBlockLength = d->session.options().isoBlockLength;
    // Answers are reported as the command's family, whatever page a window
    // shows meanwhile: a Tag-it page would read an ISO answer as its own.
    d->savedPage = d->session.visiblePage();
    d->session.setVisiblePage(std::nullopt);
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
    d->session.setVisiblePage(d->savedPage);
    d->result.outcome = outcome;
    d->result.reason = reason;
    d->result.noAnswer = outcome == Outcome::Failed && !d->result.linkFailed
                         && (d->lastStatus == Answer::Status::NoAnswer || d->lastStatus == Answer::Status::BadAnswer);
    std::sort(d->result.written.begin(), d->result.written.end());
    emit progress(d->done, std::max(d->total, d->done), QStringLiteral("done"));
    emit finished(d->result);
}
} // namespace vexa
