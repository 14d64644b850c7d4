// vexactl - command-line parsing: the program's options, then the longest
// command form of the table whose words the command line starts with.
#include "commandline.h"

#include <QRegularExpression>

#include "commandtable.h"
#include "core/codecs/isooptions.h"
#include "core/util/fieldlimits.h"
#include "core/util/shown.h"

namespace vexa::ctl {

namespace {

// Options of the program that take a value; every other "--name" is a switch.
const QStringList kValueOptions = {QStringLiteral("port"), QStringLiteral("device"), QStringLiteral("baud"),
                                   QStringLiteral("address"), QStringLiteral("timeout"), QStringLiteral("afi"),
                                   QStringLiteral("count"), QStringLiteral("uid"), QStringLiteral("tag"),
                                   QStringLiteral("repeat"), QStringLiteral("interval"), QStringLiteral("log"),
                                   QStringLiteral("downlink"), QStringLiteral("speed"), QStringLiteral("tx"),
                                   QStringLiteral("rx"), QStringLiteral("block-length"), QStringLiteral("out"),
                                   QStringLiteral("uri"), QStringLiteral("text"), QStringLiteral("lang"),
                                   QStringLiteral("absence")};
const QStringList kSwitches = {QStringLiteral("usb"), QStringLiteral("json"), QStringLiteral("frames"),
                               QStringLiteral("yes"), QStringLiteral("help"), QStringLiteral("fast"),
                               QStringLiteral("keep-going"), QStringLiteral("any-uid"), QStringLiteral("locks"),
                               QStringLiteral("dsfid"), QStringLiteral("format"), QStringLiteral("events")};
// The options a command takes rather than the program (a script's lines
// take the program's only).
const QStringList kCommandOptions = {QStringLiteral("afi"),     QStringLiteral("count"), QStringLiteral("uid"),
                                     QStringLiteral("tag"),     QStringLiteral("out"),   QStringLiteral("uri"),
                                     QStringLiteral("text"),    QStringLiteral("lang"),  QStringLiteral("any-uid"),
                                     QStringLiteral("locks"),   QStringLiteral("dsfid"), QStringLiteral("format")};

std::optional<int> numberOption(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

const CommandForm *findCommand(const QStringList &positional, int *wordCount)
{
    const CommandForm *best = nullptr;
    int bestWords = 0;
    for (const CommandForm &form : commands()) {
        const QStringList words = QString::fromLatin1(form.words).split(QLatin1Char(' '));
        if (words.size() > bestWords && positional.mid(0, words.size()) == words) {
            best = &form;
            bestWords = int(words.size());
        }
    }
    *wordCount = bestWords;
    return best;
}

} // namespace

// In the order --help lists them.
const QList<CommandForm> &commands()
{
    static const QList<CommandForm> table = managementCommands() + iso15693Commands() + iso15693MemoryCommands()
        + tagitCommands() + tagitMemoryCommands() + iso14443Commands() + configurationCommands() + programCommands();
    return table;
}

QStringList isoOptionNames()
{
    QStringList names;
    for (const IsoOptionWords &words : kIsoOptionWords)
        names << QString::fromLatin1(words.option);
    return names;
}

QString usageLine(const CommandForm &form)
{
    QString line = QStringLiteral("vexactl [OPTIONS] ") + QString::fromLatin1(form.words);
    if (*form.arguments)
        line += QLatin1Char(' ') + QString::fromLatin1(form.arguments);
    for (const QString &option : form.options) {
        QString value = option.toUpper();
        for (const IsoOptionWords &words : kIsoOptionWords)
            if (option == QLatin1String(words.option))
                value = QStringLiteral("%1|%2").arg(QLatin1String(words.item0), QLatin1String(words.item1));
        line += QStringLiteral(" [--%1 %2]").arg(option, value);
    }
    for (const QString &option : form.switches)
        line += QStringLiteral(" [--%1]").arg(option);
    return line;
}

QStringList scriptLineWords(const QString &line)
{
    const QString text = line.trimmed();
    if (text.startsWith(QLatin1Char('#')))
        return {};
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

void applyIsoOptions(const Action &action, ReaderOptions &options)
{
    for (size_t i = 0; i < kIsoOptions.size(); ++i)
        if (action.isoItems[i] >= 0)
            setIsoOptionItem(options, kIsoOptions[i], action.isoItems[i]);
}

bool isKnownBaudRate(int rate)
{
    return rate == 9600 || rate == 19200 || rate == 38400 || rate == 57600;
}

Parsed parseCommandLine(const QStringList &arguments)
{
    Parsed out;
    Invocation &inv = out.invocation;
    QMap<QString, QString> options;
    QStringList positional;
    // A restore's --afi asks for the dump's AFI: a switch there, a value
    // (the AFI to inventory) everywhere else.
    bool afiSwitch = false;
    for (int i = 0; i + 1 < arguments.size(); ++i)
        afiSwitch |= arguments.at(i) == QLatin1String("iso15693") && arguments.at(i + 1) == QLatin1String("restore");
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (!arg.startsWith(QStringLiteral("--")) || arg.size() == 2) {
            positional << arg;
            continue;
        }
        QString name = arg.mid(2);
        QString value;
        const qsizetype eq = name.indexOf(QLatin1Char('='));
        const bool inlineValue = eq >= 0;
        if (inlineValue) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        }
        if (kValueOptions.contains(name) && !(afiSwitch && name == QLatin1String("afi"))) {
            if (!inlineValue) {
                if (i + 1 >= arguments.size()) {
                    out.error = QStringLiteral("--%1 needs a value.").arg(name);
                    return out;
                }
                value = arguments.at(++i);
            }
            options.insert(name, value);
        } else if ((kSwitches.contains(name) || (afiSwitch && name == QLatin1String("afi"))) && !inlineValue) {
            options.insert(name, QString());
        } else {
            out.error = QStringLiteral("Unknown option --%1.").arg(shownText(name));
            return out;
        }
    }

    inv.json = options.contains(QStringLiteral("json"));
    inv.fast = options.contains(QStringLiteral("fast"));
    inv.keepGoing = options.contains(QStringLiteral("keep-going"));
    // A script's lines take the program's options, not a command's.
    const QStringList commandOptionNames = kCommandOptions + QStringList{QStringLiteral("log")} + isoOptionNames();
    for (auto it = options.cbegin(); it != options.cend(); ++it) {
        if (commandOptionNames.contains(it.key()))
            continue;
        if (kSwitches.contains(it.key()))
            inv.options << QStringLiteral("--") + it.key();
        else
            inv.options << QStringLiteral("--%1=%2").arg(it.key(), it.value());
    }
    if (options.contains(QStringLiteral("repeat"))) {
        const QString repeat = options.value(QStringLiteral("repeat"));
        const auto count = numberOption(repeat);
        if (repeat == QLatin1String("forever")) {
            inv.repeat = 0;
        } else if (!count || *count < 1) {
            out.error = QStringLiteral("--repeat takes a number of exchanges or \"forever\".");
            return out;
        } else {
            inv.repeat = *count;
        }
    }
    if (options.contains(QStringLiteral("interval"))) {
        const auto interval = numberOption(options.value(QStringLiteral("interval")));
        if (!interval || *interval < 0 || *interval > 3600000) {
            out.error = QStringLiteral("--interval takes milliseconds from 0 to 3600000.");
            return out;
        }
        inv.intervalMs = *interval;
    }
    inv.events = options.contains(QStringLiteral("events"));
    // Events are what the Repeat's answers mean over time: one answer alone
    // cannot tell a tag that stays from one that left.
    if (inv.events && !options.contains(QStringLiteral("repeat"))) {
        out.error = QStringLiteral("--events needs --repeat.");
        return out;
    }
    if (options.contains(QStringLiteral("absence"))) {
        const auto absence = numberOption(options.value(QStringLiteral("absence")));
        if (!inv.events) {
            out.error = QStringLiteral("--absence needs --events.");
            return out;
        }
        if (!absence || *absence < 1 || *absence > 3600000) {
            out.error = QStringLiteral("--absence takes milliseconds from 1 to 3600000.");
            return out;
        }
        inv.absenceMs = *absence;
    }
    inv.frames = options.contains(QStringLiteral("frames"));
    inv.logFile = options.value(QStringLiteral("log"));
    if (options.contains(QStringLiteral("log")) && inv.logFile.isEmpty()) {
        out.error = QStringLiteral("--log takes the name of a CSV file.");
        return out;
    }
    inv.yes = options.contains(QStringLiteral("yes"));
    Connection &c = inv.connection;
    c.usb = options.contains(QStringLiteral("usb"));
    c.device = options.value(QStringLiteral("device"));
    c.address = options.value(QStringLiteral("address"));
    if (options.contains(QStringLiteral("port"))) {
        const QString port = options.value(QStringLiteral("port"));
        const auto number = port.startsWith(QStringLiteral("COM"), Qt::CaseInsensitive)
                                ? numberOption(port.mid(3))
                                : std::nullopt;
        if (!number || *number < 1 || *number > 8) {
            out.error = QStringLiteral("--port takes COM1 to COM8.");
            return out;
        }
        c.port = number;
    }
    if (int(c.port.has_value()) + int(!c.device.isEmpty()) + int(c.usb) > 1) {
        out.error = QStringLiteral("--port, --device and --usb choose the interface: give one of them.");
        return out;
    }
    if (options.contains(QStringLiteral("baud"))) {
        c.baud = numberOption(options.value(QStringLiteral("baud")));
        if (!c.baud || !isKnownBaudRate(*c.baud)) {
            out.error = QStringLiteral("--baud takes 9600, 19200, 38400 or 57600.");
            return out;
        }
    }
    if (options.contains(QStringLiteral("timeout"))) {
        // Above the 100 ms that ends an answer, so that silence after bytes
        // and silence before any stay apart.
        c.timeoutMs = numberOption(options.value(QStringLiteral("timeout")));
        if (!c.timeoutMs || *c.timeoutMs < 200 || *c.timeoutMs > 600000) {
            out.error = QStringLiteral("--timeout takes milliseconds from 200 to 600000.");
            return out;
        }
    }
    if (options.contains(QStringLiteral("address"))) {
        out.error = c.address.trimmed().isEmpty()
                        ? QStringLiteral("--address needs the reader's serial number.")
                        : fields::refusal(fields::kReaderSerialNumber, QStringLiteral("--address"), c.address);
        if (!out.error.isEmpty())
            return out;
    }

    int wordCount = 0;
    const CommandForm *form = findCommand(positional, &wordCount);
    if (options.contains(QStringLiteral("help"))) {
        inv.help = true;
        inv.helpTopic = form ? QString::fromLatin1(form->words) : QString();
        return out;
    }
    if (!form) {
        out.error = positional.isEmpty() ? QStringLiteral("No command given; see vexactl --help.")
                                         : QStringLiteral("Unknown command \"%1\"; see vexactl --help.")
                                               .arg(shownText(positional.join(QLatin1Char(' '))));
        return out;
    }
    const QStringList args = positional.mid(wordCount);
    if (args.size() < form->minArgs || (form->maxArgs >= 0 && args.size() > form->maxArgs)) {
        out.error = QStringLiteral("Usage: %1").arg(usageLine(*form));
        return out;
    }
    QMap<QString, QString> commandOptions;
    for (const QString &name : kCommandOptions + isoOptionNames()) {
        if (!options.contains(name))
            continue;
        if (!form->options.contains(name) && !form->switches.contains(name)) {
            out.error = QStringLiteral("%1 takes no --%2.").arg(QString::fromLatin1(form->words), name);
            return out;
        }
        commandOptions.insert(name, options.value(name));
    }
    Action action;
    action.name = QString::fromLatin1(form->words);
    out.error = form->build(args, commandOptions, action);
    // A wrong iso-options value shows what the command takes.
    if (!out.error.isEmpty() && action.kind == Action::Kind::IsoOptions)
        out.error += QStringLiteral("\nUsage: ") + usageLine(*form);
    if (out.error.isEmpty() && action.kind == Action::Kind::Memory) {
        const tagdump::RestoreOptions &restore = action.memory.restore;
        if (inv.repeat != 1)
            out.error = QStringLiteral("%1 takes no --repeat.").arg(action.name);
        else if ((restore.locks || restore.afi || restore.dsfid) && !inv.yes)
            out.error = QStringLiteral("--locks, --afi and --dsfid change the tag for good: give --yes as well.");
    }
    if (out.error.isEmpty())
        inv.action = action;
    return out;
}

} // namespace vexa::ctl
