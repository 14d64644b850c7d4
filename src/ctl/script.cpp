// vexactl - scripts: each line parsed with the program's options as if it
// had been typed, then run as one command on the same session.
#include "script.h"

#include <algorithm>
#include <memory>
#include <QCoreApplication>
#include <QFile>

#include "core/session/readersession.h"
#include "ctl/commandrun.h"
#include "ctl/stopsignal.h"
#include "ctl/terminal.h"

namespace vexa::ctl {

namespace {

// The lines of a script, from a file or standard input; false when it
// cannot be read.
bool readScript(const QString &name, QStringList *lines)
{
    QFile file;
    const bool opened = name == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                   : (file.setFileName(name), file.open(QIODevice::ReadOnly));
    if (!opened) {
        printReason(shownText(name) + QStringLiteral(": ") + file.errorString());
        return false;
    }
    *lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    return true;
}

} // namespace

UsageError splitUsageError(const QString &error)
{
    static const QString usageMark = QStringLiteral("\nUsage: ");
    const qsizetype at = error.lastIndexOf(usageMark);
    if (at < 0)
        return {error, {}};
    return {error.left(at), error.mid(at + 1)};
}

void printUsageError(const UsageError &error)
{
    printReason(error.reason);
    if (!error.usage.isEmpty())
        printError(printableText(error.usage));
}

int runScript(ReaderSession &session, TerminalPrompt &prompt, StopSignal &stopper, const Invocation &invocation)
{
    const QString name = invocation.action->text;
    QStringList lines;
    if (!readScript(name, &lines))
        return ExitUsage;
    const QString where = name == QLatin1String("-") ? QStringLiteral("standard input") : shownText(name);
    int worst = ExitOk;
    std::unique_ptr<Parsed> parsed;
    std::unique_ptr<CommandRun> run;
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList words = scriptLineWords(lines.at(i));
        if (words.isEmpty())
            continue;
        parsed = std::make_unique<Parsed>(parseCommandLine(invocation.options + words));
        int code = ExitOk;
        UsageError why;
        if (!parsed->error.isEmpty()) {
            why = splitUsageError(parsed->error);
            code = ExitUsage;
        } else if (parsed->invocation.help || parsed->invocation.action->kind == Action::Kind::Run
                   || parsed->invocation.action->kind == Action::Kind::Firmware
                   || parsed->invocation.action->kind == Action::Kind::Memory) {
            why.reason = QStringLiteral("a script line holds one reader command.");
            code = ExitUsage;
        } else if (parsed->invocation.action->kind == Action::Kind::IsoOptions) {
            changeIsoOptions(session.options(), parsed->invocation);
        } else {
            run.reset();
            run = std::make_unique<CommandRun>(session, prompt, parsed->invocation,
                                               [](int status) { QCoreApplication::exit(status); });
            QObject::connect(&stopper, &StopSignal::raised, run.get(), &CommandRun::requestStop);
            if (run->start(&code))
                code = QCoreApplication::exec();
            why.reason = run->reason();
        }
        if (code != ExitOk) {
            // Concatenated, not arg()-ed: the line may hold "%1".
            why.reason = where + QLatin1Char(':') + QString::number(i + 1) + QStringLiteral(": \"")
                + shownText(lines.at(i).trimmed())
                + QStringLiteral("\" failed with exit status ") + QString::number(code) + QStringLiteral(": ")
                + why.reason;
            printUsageError(why);
            worst = std::max(worst, code);
            if (!invocation.keepGoing)
                break;
        }
        if (stopper.wasRaised())
            break;
    }
    return worst;
}

} // namespace vexa::ctl
