// vexactl - the ISO/IEC 15693 commands: the page's command items and how
// the arguments fill in its fields.
#include "commandtable.h"

#include <utility>

#include "core/util/fieldlimits.h"
#include "core/util/hextext.h"

namespace vexa::ctl {

namespace {

// An AFI as typed on the command line: the family's digit, then the
// subcategory's; false unless both are there and hexadecimal.
bool takeAfi(const QString &afi, iso15693::Request &r)
{
    const auto value = afi.size() == 1 + fields::kAfiSubcategory.maxLength ? hexTextToValue(afi) : std::nullopt;
    if (!value)
        return false;
    r.afiFamily = int(*value >> 4);
    r.afiSubcategory = afi.mid(1);
    return true;
}

// An ISO/IEC 15693 command: the page's command item and how the arguments
// fill its fields. Every text is held to the limits of the page's field
// here, before any port is opened; the codec then checks it as the page's.
Build iso(int command, std::function<QString(const QStringList &, iso15693::Request &)> fill = {})
{
    return [command, fill](const QStringList &args, const QMap<QString, QString> &options, Action &action) {
        action.kind = Action::Kind::Iso15693;
        iso15693::Request &r = action.iso;
        r.command = command;
        if (options.contains(QStringLiteral("uid"))) {
            r.useUid = true;
            r.uid = options.value(QStringLiteral("uid"));
            if (const QString error = fields::refusal(fields::kIsoUid, QStringLiteral("--uid"), r.uid);
                !error.isEmpty())
                return error;
        }
        if (options.contains(QStringLiteral("count"))) {
            r.numBlocks = options.value(QStringLiteral("count"));
            if (r.command == iso15693::ViewOneBlock)
                r.command = iso15693::ViewManyBlocks;
            const fields::Limit &limit =
                r.command == iso15693::ViewManyBlocks ? fields::kIsoViewCount : fields::kIsoBlockCount;
            if (const QString error = fields::refusal(limit, QStringLiteral("--count"), r.numBlocks);
                !error.isEmpty())
                return error;
        }
        if (options.contains(QStringLiteral("afi"))) {
            if (!takeAfi(options.value(QStringLiteral("afi")), r))
                return QStringLiteral("--afi takes two hexadecimal digits: the family, then the subcategory.");
            r.useAfi = true;
        }
        return fill ? fill(args, r) : QString();
    };
}

QString takeBlock(const QStringList &args, iso15693::Request &r)
{
    r.blockNumber = args.value(0);
    return fields::refusal(fields::kIsoBlockNumber, QStringLiteral("BLOCK"), r.blockNumber);
}

} // namespace

QList<CommandForm> iso15693Commands()
{
    using namespace iso15693;
    return {
        {"iso15693 inventory", "", "the UIDs of the tags in the field", {QStringLiteral("afi")}, 0, 0,
         iso(Inventory)},
        {"iso15693 read", "BLOCK", "one block, or --count blocks from BLOCK",
         {QStringLiteral("count"), QStringLiteral("uid")}, 1, 1, iso(ViewOneBlock, takeBlock)},
        {"iso15693 write", "BLOCK DATA...", "one block, or one block per DATA from BLOCK on", {QStringLiteral("uid")}, 2,
         -1, iso(ProgramOneBlock, [](const QStringList &args, Request &r) {
             if (const QString error = takeBlock(args, r); !error.isEmpty())
                 return error;
             if (args.size() == 2) {
                 // The block length is the session's, known only once the
                 // options are read: the codec holds DATA to it at sending.
                 r.data = args.value(1);
                 return fields::refusal(fields::kIsoData8, QStringLiteral("DATA"), r.data);
             }
             r.command = ProgramManyBlocks;
             r.gridValues = args.mid(1);
             r.numBlocks = QString::number(r.gridValues.size());
             const int most = maxProgramBlocks(r.useUid);
             if (r.gridValues.size() > most)
                 return QStringLiteral("iso15693 write takes at most %1 DATA values%2.")
                     .arg(most)
                     .arg(r.useUid ? QStringLiteral(" with --uid") : QString());
             for (const QString &value : std::as_const(r.gridValues))
                 if (const QString error = fields::refusal(fields::kIsoGridValue, QStringLiteral("DATA"), value);
                     !error.isEmpty())
                     return error;
             return QString();
         })},
        {"iso15693 lock", "BLOCK", "locks a block for good (asks for --yes)", {QStringLiteral("uid")}, 1, 1,
         iso(LockOneBlock, takeBlock)},
        {"iso15693 sysinfo", "", "the tag's system information (factory data)", {QStringLiteral("uid")}, 0, 0,
         iso(ViewFactoryData)},
        {"iso15693 security", "BLOCK", "the lock status of --count blocks from BLOCK",
         {QStringLiteral("count"), QStringLiteral("uid")}, 1, 1, iso(ViewLockStatus, takeBlock)},
        {"iso15693 afi write", "HH", "writes the tag's AFI (family, then subcategory)", {QStringLiteral("uid")}, 1, 1,
         iso(ProgramAfi, [](const QStringList &args, Request &r) {
             if (!takeAfi(args.value(0), r))
                 return QStringLiteral("The AFI takes two hexadecimal digits: the family, then the subcategory.");
             return QString();
         })},
        {"iso15693 afi lock", "", "locks the tag's AFI for good (asks for --yes)", {QStringLiteral("uid")}, 0, 0,
         iso(LockAfi)},
        {"iso15693 dsfid write", "HH", "writes the tag's DSFID", {QStringLiteral("uid")}, 1, 1,
         iso(ProgramDsfid, [](const QStringList &args, Request &r) {
             r.data = args.value(0);
             return fields::refusal(fields::kDsfid, QStringLiteral("DSFID"), r.data);
         })},
        {"iso15693 dsfid lock", "", "locks the tag's DSFID for good (asks for --yes)", {QStringLiteral("uid")}, 0, 0,
         iso(LockDsfid)},
    };
}

} // namespace vexa::ctl
