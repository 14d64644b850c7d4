// vexactl - the command table's parts. A command form is the words that
// name a command, what it takes and how it fills in the request the
// window's page would build from its controls. Each command group keeps its
// forms in a file of its own (commands_*.cpp); commandline.cpp joins them
// in the order --help lists them and parses against them.
#pragma once

#include <array>
#include <functional>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "ctl/commandline.h"

namespace vexa::ctl {

using Build = std::function<QString(const QStringList &args, const QMap<QString, QString> &options, Action &action)>;

struct CommandForm
{
    const char *words;
    const char *arguments;
    const char *summary;
    QStringList options; // command options that take a value
    int minArgs;
    int maxArgs; // -1: any number
    Build build;
    QStringList switches = {}; // command options that take none
};

// iso-options: the option naming each list (in kIsoOptions order) and the
// words for its two items.
struct IsoOptionWords
{
    const char *option;
    const char *item0;
    const char *item1;
};
inline constexpr std::array<IsoOptionWords, 5> kIsoOptionWords{{{"downlink", "1of4", "1of256"},
                                                                {"speed", "fast", "slow"},
                                                                {"tx", "100", "10"},
                                                                {"rx", "fsk", "ask"},
                                                                {"block-length", "32", "64"}}};

// The options iso-options takes, in kIsoOptions order.
QStringList isoOptionNames();

// The whole table, in the order --help lists it.
const QList<CommandForm> &commands();
// A command's synopsis, as --help and a wrong command line show it.
QString usageLine(const CommandForm &form);

// The command groups, each in the order --help lists it.
QList<CommandForm> managementCommands();    // the reader's own: version, info, ... test
QList<CommandForm> iso15693Commands();      // iso15693 ...
QList<CommandForm> tagitCommands();         // tagit ...
QList<CommandForm> iso14443Commands();      // iso14443a ...
QList<CommandForm> configurationCommands(); // wiegand, iso-options, ... baud
QList<CommandForm> programCommands();       // firmware, run, raw
// Whole-memory jobs: dump, restore, verify, NDEF (after their family's commands).
QList<CommandForm> iso15693MemoryCommands(); // iso15693 dump, ..., ndef write
QList<CommandForm> tagitMemoryCommands();    // tagit dump, restore, verify

} // namespace vexa::ctl
