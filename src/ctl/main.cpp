// vexactl - the reader from the shell: one command on the reader session,
// its report on standard output, an exit status that says how it went.
#include <QCoreApplication>
#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

#include "core/session/readersession.h"
#include "core/session/taglogexport.h"
#include "core/settings/settingsstore.h"
#include "core/util/regularfile.h"
#include "core/util/version.h"
#include "ctl/commandline.h"
#include "ctl/commandrun.h"
#include "ctl/connect.h"
#include "ctl/firmwarerun.h"
#include "ctl/memoryrun.h"
#include "ctl/script.h"
#include "ctl/stopsignal.h"
#include "ctl/terminal.h"

using namespace vexa;
using namespace vexa::ctl;

int main(int argc, char *argv[])
{
    // A reader of standard output that has gone is seen as a failed write.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexactl"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersionText));

    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments == QStringList{QStringLiteral("--version")}) {
        printOut(QStringLiteral("vexactl %1\n").arg(QString::fromLatin1(kVersionText)).toUtf8());
        return ExitOk;
    }
    const Parsed parsed = parseCommandLine(arguments);
    if (!parsed.error.isEmpty()) {
        printUsageError(splitUsageError(parsed.error));
        return ExitUsage;
    }
    Invocation invocation = parsed.invocation;
    if (invocation.help) {
        printOut(helpText(invocation.helpTopic).toUtf8());
        return ExitOk;
    }

    // The window's settings are read, never written.
    const LoadedSettings loaded = loadSettings();
    if (!loaded.problem.isEmpty())
        printError(printableText(loaded.problem));
    TerminalPrompt prompt(invocation.yes);
    ReaderSession session(prompt);
    session.options() = loaded.settings.options;
    if (!invocation.connection.address.isEmpty()) {
        session.options().addressReader = true;
        session.options().readerSerialNumber = invocation.connection.address;
    }
    if (invocation.connection.timeoutMs)
        session.setResponseTimeout(*invocation.connection.timeoutMs);
    session.setTraceFrames(invocation.frames);

    session.setFastCompletion(invocation.fast);
    StopSignal stopper;

    // Options alone need no reader: they would only last for this run.
    if (invocation.action->kind == Action::Kind::IsoOptions) {
        changeIsoOptions(session.options(), invocation);
        session.end();
        return ExitOk;
    }
    // A firmware file that cannot be sent is refused before the port opens.
    if (invocation.action->kind == Action::Kind::Firmware) {
        if (const QString refusal = FirmwareRun::refusal(invocation.action->text, invocation.yes); !refusal.isEmpty()) {
            printReason(refusal);
            session.end();
            return ExitUsage;
        }
    }
    // A dump that cannot be read is refused before the port opens.
    if (invocation.action->kind == Action::Kind::Memory
        && (invocation.action->memory.kind == MemoryJobInput::Kind::Restore
            || invocation.action->memory.kind == MemoryJobInput::Kind::Verify)) {
        if (const QString refusal = loadReference(*invocation.action); !refusal.isEmpty()) {
            printReason(refusal);
            session.end();
            return ExitUsage;
        }
    }
    if (!connectReader(session, prompt, invocation.connection, loaded.settings)) {
        session.end();
        return ExitNoDevice;
    }
    int code = ExitOk;
    if (invocation.action->kind == Action::Kind::Run) {
        code = runScript(session, prompt, stopper, invocation);
    } else if (invocation.action->kind == Action::Kind::Firmware) {
        FirmwareRun firmware(session, prompt, invocation.action->text);
        QObject::connect(&stopper, &StopSignal::raised, &firmware, &FirmwareRun::requestStop);
        if (firmware.start(&code))
            code = QCoreApplication::exec();
    } else if (invocation.action->kind == Action::Kind::Memory) {
        MemoryRun run(session, invocation, [](int status) { QCoreApplication::exit(status); });
        QObject::connect(&stopper, &StopSignal::raised, &run, &MemoryRun::requestStop);
        run.start();
        code = QCoreApplication::exec();
        if (code != ExitOk)
            printReason(invocation.action->name + QStringLiteral(": ") + run.reason());
    } else {
        std::unique_ptr<CommandRun> run;
        run = std::make_unique<CommandRun>(session, prompt, invocation,
                                           [](int status) { QCoreApplication::exit(status); });
        QObject::connect(&stopper, &StopSignal::raised, run.get(), &CommandRun::requestStop);
        if (run->start(&code))
            code = QCoreApplication::exec();
        if (code != ExitOk)
            printReason(invocation.action->name + QStringLiteral(": ") + run->reason());
    }
    session.end();
    if (!invocation.logFile.isEmpty()) {
        const QByteArray csv =
            tagcsv::text(session.tagLog(), QDateTime::currentMSecsSinceEpoch(), QTimeZone::systemTimeZone());
        const QString problem = replaceFile(invocation.logFile, csv);
        if (!problem.isEmpty()) {
            printReason(QStringLiteral("the tag log could not be written to %1: %2").arg(shownText(invocation.logFile), problem));
            code = std::max(code, int(ExitUsage));
        }
    }
    // A reader that went away wanted no more; any other failure lost output.
    if (outputError() && outputError() != EPIPE) {
        printReason(QStringLiteral("standard output: ") + QString::fromLocal8Bit(std::strerror(outputError())));
        code = std::max(code, int(ExitUsage));
    }
    return code;
}
