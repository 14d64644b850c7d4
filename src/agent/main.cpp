// vexa-agent - the program's entry: the command line, the configuration,
// and the run loop over every configured reader.
#include <cstdio>

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include "agent/agent.h"
#include "agent/agentcommand.h"
#include "agent/agentconfig.h"
#include "agent/signalpipe.h"
#include "core/util/version.h"

using namespace vexa::agent;

namespace {

enum Exit { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

const char kDefaultConfig[] = "/etc/vexa-agent/vexa-agent.conf";

void printOut(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

void printError(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
}

QString helpText()
{
    return QStringLiteral(
               "Usage: vexa-agent [--config FILE]\n"
               "       vexa-agent --check-config FILE\n"
               "Publishes the tag events of the configured Vexa RFID readers to an MQTT broker.\n"
               "\n"
               "Options:\n"
               "  -h, --help               show this help and exit\n"
               "  -v, --version            show the version and exit\n"
               "  --config <FILE>          the configuration file (default %1)\n"
               "  --check-config <FILE>    check FILE, print \"FILE: ok\" or every fault as\n"
               "                           \"FILE:LINE: message\", and exit 0 or 2\n"
               "\n"
               "Exit status: 0 success, 1 failure, 2 usage error or a faulty configuration.\n"
               "The configuration's format is in vexa-agent(1).\n")
        .arg(QLatin1String(kDefaultConfig));
}

// Prints the faults of `parsed` named by `path`; true when there are none.
bool reportFaults(const ParsedConfig &parsed, const QString &path)
{
    for (const QString &line : parsed.faultLines(path))
        printError(line + QLatin1Char('\n'));
    return parsed.ok();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexa-agent"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(vexa::kVersionText));

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const auto usageError = [](const QString &why) {
        printError(QStringLiteral("vexa-agent: %1\nTry \"vexa-agent --help\".\n").arg(why));
        return ExitUsage;
    };
    QString configPath = QLatin1String(kDefaultConfig);
    QString checkPath;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            printOut(helpText());
            return ExitOk;
        }
        if (argument == QLatin1String("-v") || argument == QLatin1String("--version")) {
            printOut(QStringLiteral("vexa-agent %1\n").arg(QString::fromLatin1(vexa::kVersionText)));
            return ExitOk;
        }
        if (argument == QLatin1String("--config") || argument == QLatin1String("--check-config")) {
            if (i + 1 >= arguments.size())
                return usageError(QStringLiteral("%1 needs a file name").arg(argument));
            (argument == QLatin1String("--config") ? configPath : checkPath) = arguments.at(++i);
            continue;
        }
        return usageError(QStringLiteral("unknown argument \"%1\"").arg(argument));
    }

    if (!checkPath.isEmpty()) {
        if (!reportFaults(loadAgentConfig(checkPath, checkScheduleCommand), checkPath))
            return ExitUsage;
        printOut(QStringLiteral("%1: ok\n").arg(checkPath));
        return ExitOk;
    }

    const ParsedConfig parsed = loadAgentConfig(configPath, checkScheduleCommand);
    if (!reportFaults(parsed, configPath))
        return ExitUsage;
    SignalPipe signalPipe;
    Agent agent(QFileInfo(configPath).absoluteFilePath(), parsed.config);
    QString error;
    if (!agent.start(&error)) {
        printError(QStringLiteral("vexa-agent: %1\n").arg(error));
        return ExitFailed;
    }
    QObject::connect(&signalPipe, &SignalPipe::reloadAsked, &agent, &Agent::reload);
    QObject::connect(&signalPipe, &SignalPipe::stopAsked, &agent, [&agent] {
        agent.stop([] { QCoreApplication::exit(ExitOk); });
    });
    return app.exec();
}
