// vexactl - the Tag-it commands: the page's command items and how the
// arguments fill in its fields.
#include "commandtable.h"

#include <tuple>

#include "core/util/fieldlimits.h"

namespace vexa::ctl {

namespace {

// A Tag-it command; --count makes the multi-block command of a block command.
Build tagitCommand(int command, int multiCommand = -1)
{
    return [command, multiCommand](const QStringList &args, const QMap<QString, QString> &options, Action &action) {
        action.kind = Action::Kind::Tagit;
        tagit::Request &r = action.tagit;
        r.command = command;
        // Each text with its field's limit and its name on the command line.
        QList<std::tuple<fields::Limit, QString, QString>> texts;
        if (options.contains(QStringLiteral("tag"))) {
            r.useAddress = true;
            r.address = options.value(QStringLiteral("tag"));
            texts.append({fields::kTagitAddress, QStringLiteral("--tag"), r.address});
        }
        if (!args.isEmpty()) {
            r.blockNumber = args.constFirst();
            texts.append({fields::kTagitBlockNumber, QStringLiteral("BLOCK"), r.blockNumber});
        }
        const QStringList data = args.mid(1);
        if (data.size() > tagit::kDataFields)
            return QStringLiteral("At most %1 blocks are written at once.").arg(tagit::kDataFields);
        for (int i = 0; i < data.size(); ++i) {
            r.blockData[size_t(i)] = data.at(i);
            texts.append({fields::kTagitData, QStringLiteral("DATA"), data.at(i)});
        }
        if (options.contains(QStringLiteral("count")))
            texts.append({fields::kTagitBlockCount, QStringLiteral("--count"), options.value(QStringLiteral("count"))});
        for (const auto &[limit, name, text] : texts)
            if (const QString error = fields::refusal(limit, name, text); !error.isEmpty())
                return error;
        if (options.contains(QStringLiteral("count")) && multiCommand >= 0) {
            r.command = multiCommand;
            r.numBlocks = options.value(QStringLiteral("count"));
        } else if (data.size() > 1 && multiCommand >= 0) {
            r.command = multiCommand;
            r.numBlocks = QString::number(data.size());
        }
        return QString();
    };
}

} // namespace

QList<CommandForm> tagitCommands()
{
    return {
        {"tagit version", "", "the transponder's details", {QStringLiteral("tag")}, 0, 0,
         tagitCommand(tagit::ReadTagVersion)},
        {"tagit inventory", "", "the addresses of the tags in the field", {}, 0, 0, tagitCommand(tagit::Inventory)},
        {"tagit read", "BLOCK", "one block, or --count blocks from BLOCK",
         {QStringLiteral("count"), QStringLiteral("tag")}, 1, 1,
         tagitCommand(tagit::ReadBlock, tagit::ReadMultiBlock)},
        {"tagit write", "BLOCK DATA...", "one block, or one block per DATA from BLOCK on", {QStringLiteral("tag")}, 2,
         -1, tagitCommand(tagit::WriteBlock, tagit::WriteMultiBlock)},
        {"tagit lock", "BLOCK", "locks a block, or --count blocks, for good (asks for --yes)",
         {QStringLiteral("count"), QStringLiteral("tag")}, 1, 1,
         tagitCommand(tagit::LockBlock, tagit::LockMultiBlock)},
        {"tagit write-lock", "BLOCK DATA", "writes a block and locks it for good (asks for --yes)",
         {QStringLiteral("tag")}, 2, 2, tagitCommand(tagit::WriteAndLockBlock)},
        {"tagit sid", "BLOCK", "a block, or --count blocks, of every tag with its address",
         {QStringLiteral("count")}, 1, 1, tagitCommand(tagit::ReadBlockSid, tagit::ReadMultiBlockSid)},
    };
}

} // namespace vexa::ctl
