// VexaHost - the memory job's result as every front end shows it: lines
// and JSON (see memoryjob.h).
#include "memoryjob.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "core/session/memoryjobprivate.h"

namespace vexa {

using namespace memoryjob;

namespace {

using Kind = MemoryJobInput::Kind;
using Outcome = MemoryJobResult::Outcome;
using tagdump::Family;

QJsonArray jsonNumbers(const QList<int> &list)
{
    QJsonArray array;
    for (int n : list)
        array.append(n);
    return array;
}

} // namespace

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
