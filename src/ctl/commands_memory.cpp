// vexactl - the whole-memory commands: dump, restore and verify a tag, and
// read or write its NDEF message. They run as one memory job each.
#include "commandtable.h"

#include "core/codecs/ndef.h"
#include "core/util/fieldlimits.h"

namespace vexa::ctl {

namespace {

using Kind = MemoryJobInput::Kind;
using tagdump::Family;

Build memory(Family family, Kind kind)
{
    return [family, kind](const QStringList &args, const QMap<QString, QString> &options, Action &action) {
        action.kind = Action::Kind::Memory;
        MemoryJobInput &m = action.memory;
        m.kind = kind;
        m.family = family;
        const bool iso = family == Family::Iso15693;
        const QString tagOption = iso ? QStringLiteral("uid") : QStringLiteral("tag");
        if (options.contains(tagOption)) {
            m.tag = options.value(tagOption);
            const fields::Limit &limit = iso ? fields::kIsoUid : fields::kTagitAddress;
            const QString name = QStringLiteral("--") + tagOption;
            if (QString error = fields::refusal(limit, name, m.tag); !error.isEmpty())
                return error;
            // A short UID would address another tag, not this one padded.
            if (m.tag.size() != limit.maxLength)
                return QStringLiteral("%1 takes %2 hexadecimal digits.").arg(name).arg(limit.maxLength);
        }
        if (kind == Kind::Restore || kind == Kind::Verify)
            action.text = args.value(0);
        if (kind == Kind::Dump) {
            action.text = options.value(QStringLiteral("out"));
            if (options.contains(QStringLiteral("out"))
                && !action.text.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive)
                && !action.text.endsWith(QStringLiteral(".bin"), Qt::CaseInsensitive))
                return QStringLiteral("--out takes a file name ending in .json or .bin.");
        }
        m.restore.anyUid = options.contains(QStringLiteral("any-uid"));
        m.restore.locks = options.contains(QStringLiteral("locks"));
        m.restore.afi = options.contains(QStringLiteral("afi"));
        m.restore.dsfid = options.contains(QStringLiteral("dsfid"));
        if (kind != Kind::NdefWrite)
            return QString();
        m.format = options.contains(QStringLiteral("format"));
        const bool uri = options.contains(QStringLiteral("uri"));
        const bool text = options.contains(QStringLiteral("text"));
        if (uri == text)
            return QStringLiteral("iso15693 ndef write takes --uri or --text.");
        if (options.contains(QStringLiteral("lang")) && !text)
            return QStringLiteral("--lang goes with --text.");
        const ndef::Encoded encoded =
            uri ? ndef::encodeUri(options.value(QStringLiteral("uri")))
                : ndef::encodeText(options.value(QStringLiteral("text")),
                                   options.value(QStringLiteral("lang"), QStringLiteral("en")));
        m.ndefMessage = encoded.bytes;
        return encoded.refusal;
    };
}

} // namespace

QList<CommandForm> iso15693MemoryCommands()
{
    const QString uid = QStringLiteral("uid");
    return {
        {"iso15693 dump", "", "the tag's whole memory, or into --out FILE.json|FILE.bin",
         {uid, QStringLiteral("out")}, 0, 0, memory(Family::Iso15693, Kind::Dump)},
        {"iso15693 restore", "FILE", "writes the blocks of a dump that differ, and reads them back",
         {uid}, 1, 1, memory(Family::Iso15693, Kind::Restore),
         {QStringLiteral("any-uid"), QStringLiteral("locks"), QStringLiteral("afi"), QStringLiteral("dsfid")}},
        {"iso15693 verify", "FILE", "compares the tag with a dump (status 0 only when equal)", {uid}, 1, 1,
         memory(Family::Iso15693, Kind::Verify)},
        {"iso15693 ndef read", "", "the NDEF message on the tag", {uid}, 0, 0,
         memory(Family::Iso15693, Kind::NdefRead)},
        {"iso15693 ndef write", "", "writes a URI or a text as the tag's NDEF message",
         {uid, QStringLiteral("uri"), QStringLiteral("text"), QStringLiteral("lang")}, 0, 0,
         memory(Family::Iso15693, Kind::NdefWrite), {QStringLiteral("format")}},
    };
}

QList<CommandForm> tagitMemoryCommands()
{
    const QString tag = QStringLiteral("tag");
    return {
        {"tagit dump", "", "the tag's 8 blocks and their locks, or into --out FILE.json|FILE.bin",
         {tag, QStringLiteral("out")}, 0, 0, memory(Family::Tagit, Kind::Dump)},
        {"tagit restore", "FILE", "writes the blocks of a dump that differ, and reads them back", {tag}, 1, 1,
         memory(Family::Tagit, Kind::Restore), {QStringLiteral("any-uid"), QStringLiteral("locks")}},
        {"tagit verify", "FILE", "compares the tag with a dump (status 0 only when equal)", {tag}, 1, 1,
         memory(Family::Tagit, Kind::Verify)},
    };
}

} // namespace vexa::ctl
