// vexactl - run FILE|-: one reader command per line, on one session, and
// the usage errors a command line or a script line is refused with.
#pragma once

#include <QString>

#include "ctl/commandline.h"

namespace vexa {
class ReaderSession;
}

namespace vexa::ctl {

class StopSignal;
class TerminalPrompt;

// A usage error: its reason, and the usage line some errors add below it
// (the only line break the command line's texts hold on purpose).
struct UsageError
{
    QString reason;
    QString usage;
};

// Splits a parser's error into the reason and the usage line below it.
UsageError splitUsageError(const QString &error);
// The reason as printReason() prints it, the usage line below it.
void printUsageError(const UsageError &error);

// Runs a script line by line on one session; the exit status of the first
// failing line (of the worst with --keep-going). A failing line is named on
// one line: where, the line as shown (printable, shortened), its status and
// why. A stop ends the script after the line in flight.
int runScript(ReaderSession &session, TerminalPrompt &prompt, StopSignal &stopper, const Invocation &invocation);

} // namespace vexa::ctl
