// vexa-agent - the broker's and the schedule's commands through vexactl's
// command table, so that both speak exactly the language of "vexactl run".
#include "agent/agentcommand.h"

#include "agent/agentconfig.h"
#include "core/util/shown.h"
#include "ctl/commandline.h"
#include "ctl/commandrun.h"

namespace vexa::agent {

namespace {

// What a command does beyond reading, by its words: the table's names are
// the only place that tells a write from a read for every family at once.
int neededAllow(const ctl::Action &action)
{
    using Kind = ctl::Action::Kind;
    switch (action.kind) {
    case Kind::Raw: return int(Allow::Writes) | int(Allow::Locks) | int(Allow::Config);
    case Kind::Firmware: return int(Allow::Firmware);
    case Kind::Wiegand:
    case Kind::IsoOptions:
    case Kind::Encryption:
    case Kind::Feedback:
    case Kind::Rf:
    case Kind::Led:
    case Kind::Audio:
    case Kind::Baud: return int(Allow::Config);
    default: break;
    }
    const QStringList words = action.name.split(QLatin1Char(' '));
    int needed = 0;
    for (const QString &word : words) {
        if (word == QLatin1String("write"))
            needed |= int(Allow::Writes);
        else if (word == QLatin1String("lock"))
            needed |= int(Allow::Locks);
        else if (word == QLatin1String("write-lock"))
            needed |= int(Allow::Writes) | int(Allow::Locks);
        else if (word == QLatin1String("reset"))
            needed |= int(Allow::Config);
    }
    return needed;
}

QString allowWords(int flags)
{
    QStringList words;
    if (flags & int(Allow::Writes))
        words << QStringLiteral("writes");
    if (flags & int(Allow::Locks))
        words << QStringLiteral("locks");
    if (flags & int(Allow::Config))
        words << QStringLiteral("config");
    if (flags & int(Allow::Firmware))
        words << QStringLiteral("firmware");
    return words.join(QLatin1Char(' '));
}

} // namespace

AgentCommand parseAgentCommand(const QString &text, int allow)
{
    AgentCommand out;
    const QStringList words = ctl::scriptLineWords(text);
    if (words.isEmpty()) {
        out.refusal = QStringLiteral("no command given");
        return out;
    }
    const ctl::Parsed parsed = ctl::parseCommandLine(words);
    if (!parsed.error.isEmpty()) {
        // A usage error may span lines; a reply is one.
        out.refusal = parsed.error.simplified();
        return out;
    }
    const ctl::Invocation &inv = parsed.invocation;
    if (inv.help || !inv.action) {
        out.refusal = QStringLiteral("no command given");
        return out;
    }
    const ctl::Action &action = *inv.action;
    out.name = action.name;
    // The connection, output and repeat are the agent's, never a command's.
    if (!inv.options.isEmpty()) {
        out.refusal = QStringLiteral("%1 is an option of vexactl, not of a command").arg(shownText(inv.options.first()));
        return out;
    }
    if (action.kind == ctl::Action::Kind::Run || action.kind == ctl::Action::Kind::Firmware
        || action.kind == ctl::Action::Kind::IsoOptions || action.kind == ctl::Action::Kind::Baud) {
        out.refusal = QStringLiteral("%1 is not run by the agent").arg(action.name);
        return out;
    }
    const int needed = neededAllow(action);
    out.needs = needed;
    if ((needed & allow) != needed) {
        out.refusal = QStringLiteral("%1 needs \"allow = %2\" for this reader").arg(action.name, allowWords(needed));
        return out;
    }
    out.command = ctl::actionCommand(action);
    if (!out.command) {
        out.refusal = QStringLiteral("%1 is not run by the agent").arg(action.name);
        return out;
    }
    out.needsConsent = needed & int(Allow::Locks);
    return out;
}

QString checkScheduleCommand(const QString &text)
{
    // Parsed with everything allowed, so that the refusal of a write names
    // the schedule's rule, not an "allow" that would not help.
    const int all = int(Allow::Writes) | int(Allow::Locks) | int(Allow::Config) | int(Allow::Firmware);
    const AgentCommand command = parseAgentCommand(text, all);
    if (!command.command)
        return command.refusal;
    if (command.needs)
        return QStringLiteral("a schedule repeats reading commands only, not %1").arg(command.name);
    return QString();
}

} // namespace vexa::agent
