// vexa-agent - a command line in the language of "vexactl run", as the
// configuration's schedule and the broker's commands give it: parsed into
// the session's command and judged against what the reader allows.
#pragma once

#include <optional>
#include <QString>

#include "core/session/command.h"

namespace vexa::agent {

struct AgentCommand
{
    std::optional<Command> command; // none: refused
    QString name;                   // the command words ("iso15693 read")
    QString refusal;                // why not, when refused
    // A lock: the session asks before it; the agent answers yes only for
    // a command the configuration allowed.
    bool needsConsent = false;
    int needs = 0; // the Allow flags it takes beyond reading
};

// Parses `text`; `allow` holds the Allow flags of the reader. Reading
// commands are always allowed; writes, locks, configuration (and the
// reader's reset), and firmware only when named; a raw frame could be any
// of them and needs writes, locks and config together. Program options
// (--port, --repeat, --json ...) and commands that are no single exchange
// (run, iso-options, firmware, baud) are refused.
AgentCommand parseAgentCommand(const QString &text, int allow);

// The configuration's check of a reader's schedule: an empty text when
// `text` is one reading command, or why not.
QString checkScheduleCommand(const QString &text);

} // namespace vexa::agent
