// vexactl - command-line parsing: a table of commands, each with the words
// that name it, what it takes and how it fills in the request the window's
// page would build from its controls.
#include "commandline.h"

#include <functional>
#include <tuple>
#include <utility>
#include <QRegularExpression>

#include "config/configframes.h"
#include "config/isooptions.h"
#include "config/management.h"
#include "util/fieldlimits.h"
#include "util/hextext.h"

namespace vexa::ctl {

namespace {

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
};

// Options of the program that take a value; every other "--name" is a switch.
const QStringList kValueOptions = {QStringLiteral("port"), QStringLiteral("device"), QStringLiteral("baud"),
                                   QStringLiteral("address"), QStringLiteral("timeout"), QStringLiteral("afi"),
                                   QStringLiteral("count"), QStringLiteral("uid"), QStringLiteral("tag"),
                                   QStringLiteral("repeat"), QStringLiteral("interval"), QStringLiteral("log"),
                                   QStringLiteral("downlink"), QStringLiteral("speed"), QStringLiteral("tx"),
                                   QStringLiteral("rx"), QStringLiteral("block-length")};

// iso-options: the option naming each list (in kIsoOptions order) and the
// words for its two items.
struct IsoOptionWords
{
    const char *option;
    const char *item0;
    const char *item1;
};
constexpr std::array<IsoOptionWords, 5> kIsoOptionWords{{{"downlink", "1of4", "1of256"},
                                                         {"speed", "fast", "slow"},
                                                         {"tx", "100", "10"},
                                                         {"rx", "fsk", "ask"},
                                                         {"block-length", "32", "64"}}};

QStringList isoOptionNames()
{
    QStringList names;
    for (const IsoOptionWords &words : kIsoOptionWords)
        names << QString::fromLatin1(words.option);
    return names;
}
const QStringList kSwitches = {QStringLiteral("usb"), QStringLiteral("json"), QStringLiteral("frames"),
                               QStringLiteral("yes"), QStringLiteral("help"), QStringLiteral("fast"),
                               QStringLiteral("keep-going")};

Build management(uint8_t code)
{
    return [code](const QStringList &, const QMap<QString, QString> &, Action &action) {
        action.kind = Action::Kind::Management;
        action.code = code;
        return QString();
    };
}

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

QString takeBlock(const QStringList &args, iso15693::Request &r)
{
    r.blockNumber = args.value(0);
    return fields::refusal(fields::kIsoBlockNumber, QStringLiteral("BLOCK"), r.blockNumber);
}

std::optional<bool> onOff(const QString &text)
{
    if (text == QLatin1String("on"))
        return true;
    if (text == QLatin1String("off"))
        return false;
    return std::nullopt;
}

Build configCommand(Action::Kind kind, std::function<QString(const QStringList &, Action &)> fill)
{
    return [kind, fill](const QStringList &args, const QMap<QString, QString> &, Action &action) {
        action.kind = kind;
        return fill(args, action);
    };
}

const QList<CommandForm> &commands()
{
    using namespace iso15693;
    static const QList<CommandForm> table = {
        {"version", "", "the reader's firmware version, image and serial number", {}, 0, 0,
         management(mgmt::GetVersion)},
        {"info", "", "the reader's serial number, lifetime and version", {}, 0, 0, management(mgmt::ReadInfo)},
        {"setup", "", "the reader's setup: Wiegand, RF, LED, audio, rate, AFI, encryption", {}, 0, 0,
         management(mgmt::ReadSetup)},
        {"loader", "", "the boot loader's version and interfaces", {}, 0, 0, management(mgmt::GetLoaderInfo)},
        {"reset", "", "resets the reader", {}, 0, 0, management(mgmt::Reset)},
        {"diag", "", "the reader's diagnostics", {}, 0, 0, management(mgmt::Diagnostics)},
        {"test", "", "the reader's test command", {}, 0, 0,
         [](const QStringList &, const QMap<QString, QString> &, Action &action) {
             action.kind = Action::Kind::Test;
             return QString();
         }},
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
        {"iso14443a uid", "", "the UID of the card in the field", {}, 0, 0,
         [](const QStringList &, const QMap<QString, QString> &, Action &action) {
             action.kind = Action::Kind::Iso14443;
             return QString();
         }},
        {"wiegand", "MODE", "the Wiegand output: a mode's number or name (vexactl wiegand --help)", {}, 1, 1,
         configCommand(Action::Kind::Wiegand, [](const QStringList &args, Action &action) {
             const QStringList captions = wiegandModeCaptions();
             bool isNumber = false;
             const int number = args.constFirst().toInt(&isNumber);
             action.number = isNumber ? number : int(captions.indexOf(args.constFirst()));
             if (action.number < 0 || action.number >= captions.size())
                 return QStringLiteral("wiegand: no mode \"%1\"; see vexactl wiegand --help.").arg(args.constFirst());
             return QString();
         })},
        {"iso-options", "", "the ISO 15693 options of the following commands; prints them, sends nothing",
         isoOptionNames(), 0, 0,
         [](const QStringList &, const QMap<QString, QString> &options, Action &action) {
             action.kind = Action::Kind::IsoOptions;
             for (size_t i = 0; i < kIsoOptionWords.size(); ++i) {
                 const IsoOptionWords &words = kIsoOptionWords[i];
                 const QString name = QString::fromLatin1(words.option);
                 if (!options.contains(name))
                     continue;
                 const QString value = options.value(name);
                 if (value == QLatin1String(words.item0))
                     action.isoItems[i] = 0;
                 else if (value == QLatin1String(words.item1))
                     action.isoItems[i] = 1;
                 else
                     return QStringLiteral("iso-options: --%1 takes %2 or %3.").arg(name, QLatin1String(words.item0),
                                                                                   QLatin1String(words.item1));
             }
             return QString();
         }},
        {"encryption", "default|KEY [plain]", "the encryption key (16 hexadecimal digits) and plain text", {}, 1, 2,
         configCommand(Action::Kind::Encryption, [](const QStringList &args, Action &action) {
             action.first = args.constFirst() != QLatin1String("default");
             action.text = action.first ? args.constFirst() : QString();
             if (args.size() == 2 && args.at(1) != QLatin1String("plain"))
                 return QStringLiteral("encryption: \"%1\" is not \"plain\".").arg(args.at(1));
             action.second = args.size() == 2;
             return action.first ? fields::refusal(fields::kUserKey, QStringLiteral("KEY"), action.text) : QString();
         })},
        {"feedback", "on|off on|off", "the reader's audio and LED feedback", {}, 2, 2,
         configCommand(Action::Kind::Feedback, [](const QStringList &args, Action &action) {
             const auto audio = onOff(args.at(0)), led = onOff(args.at(1));
             if (!audio || !led)
                 return QStringLiteral("feedback takes \"on\" or \"off\" for audio, then for the LED.");
             action.first = *audio;
             action.second = *led;
             return QString();
         })},
        {"rf", "on|off", "the RF transmitter", {}, 1, 1,
         configCommand(Action::Kind::Rf, [](const QStringList &args, Action &action) {
             const auto on = onOff(args.constFirst());
             if (!on)
                 return QStringLiteral("rf takes \"on\" or \"off\".");
             action.first = *on;
             return QString();
         })},
        {"led", "red|green|amber MS", "lights the LED for MS milliseconds", {}, 2, 2,
         configCommand(Action::Kind::Led, [](const QStringList &args, Action &action) {
             const QStringList colours{QStringLiteral("red"), QStringLiteral("green"), QStringLiteral("amber")};
             const int colour = int(colours.indexOf(args.at(0)));
             if (colour < 0)
                 return QStringLiteral("led takes red, green or amber.");
             action.number = colour + 1;
             action.text = args.at(1);
             return fields::refusal(fields::kOnTimeMs, QStringLiteral("MS"), action.text);
         })},
        {"audio", "MS", "sounds the buzzer for MS milliseconds", {}, 1, 1,
         configCommand(Action::Kind::Audio, [](const QStringList &args, Action &action) {
             action.text = args.constFirst();
             return fields::refusal(fields::kOnTimeMs, QStringLiteral("MS"), action.text);
         })},
        {"baud", "RATE", "changes the rate of reader and host, then reads the setup at the new rate", {}, 1, 1,
         configCommand(Action::Kind::Baud, [](const QStringList &args, Action &action) {
             bool ok = false;
             action.number = args.constFirst().toInt(&ok);
             if (!ok || !isKnownBaudRate(action.number))
                 return QStringLiteral("baud takes 9600, 19200, 38400 or 57600.");
             return QString();
         })},
        {"firmware", "FILE", "upgrades the reader's firmware with FILE (asks for --yes)", {}, 1, 1,
         [](const QStringList &args, const QMap<QString, QString> &, Action &action) {
             action.kind = Action::Kind::Firmware;
             action.text = args.constFirst();
             return QString();
         }},
        {"run", "FILE|-", "one command per line (# comments); stops at the first failure unless --keep-going", {}, 1,
         1, [](const QStringList &args, const QMap<QString, QString> &, Action &action) {
             action.kind = Action::Kind::Run;
             action.text = args.constFirst();
             return QString();
         }},
        {"raw", "FLAGS CODE [BYTE...]", "sends a frame body; the start, length, type and check are added", {}, 2,
         kCommandBufferSize - 8, [](const QStringList &args, const QMap<QString, QString> &, Action &action) {
             action.kind = Action::Kind::Raw;
             for (const QString &text : args) {
                 const auto value = text.size() == 2 ? hexTextToValue(text) : std::nullopt;
                 if (!value)
                     return QStringLiteral("raw: \"%1\" is not a byte of two hexadecimal digits.").arg(text);
                 action.rawBody.append(char(*value));
             }
             return QString();
         }},
    };
    return table;
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

std::optional<int> numberOption(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
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
    return line;
}

} // namespace

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
        if (kValueOptions.contains(name)) {
            if (!inlineValue) {
                if (i + 1 >= arguments.size()) {
                    out.error = QStringLiteral("--%1 needs a value.").arg(name);
                    return out;
                }
                value = arguments.at(++i);
            }
            options.insert(name, value);
        } else if (kSwitches.contains(name) && !inlineValue) {
            options.insert(name, QString());
        } else {
            out.error = QStringLiteral("Unknown option --%1.").arg(name);
            return out;
        }
    }

    inv.json = options.contains(QStringLiteral("json"));
    inv.fast = options.contains(QStringLiteral("fast"));
    inv.keepGoing = options.contains(QStringLiteral("keep-going"));
    // A script's lines take the program's options, not a command's.
    const QStringList commandOptionNames = QStringList{QStringLiteral("afi"), QStringLiteral("count"),
                                                       QStringLiteral("uid"), QStringLiteral("tag"),
                                                       QStringLiteral("log")}
                                           + isoOptionNames();
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
                                               .arg(positional.join(QLatin1Char(' ')));
        return out;
    }
    const QStringList args = positional.mid(wordCount);
    if (args.size() < form->minArgs || (form->maxArgs >= 0 && args.size() > form->maxArgs)) {
        out.error = QStringLiteral("Usage: %1").arg(usageLine(*form));
        return out;
    }
    QMap<QString, QString> commandOptions;
    for (const QString &name : QStringList{QStringLiteral("afi"), QStringLiteral("count"), QStringLiteral("uid"),
                                           QStringLiteral("tag")}
                                   + isoOptionNames()) {
        if (!options.contains(name))
            continue;
        if (!form->options.contains(name)) {
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
    if (out.error.isEmpty())
        inv.action = action;
    return out;
}

QString helpText(const QString &topic)
{
    for (const CommandForm &form : commands()) {
        if (topic.isEmpty() || topic != QLatin1String(form.words))
            continue;
        QString text = QStringLiteral("Usage: %1\n\n%2.\n").arg(usageLine(form), QString::fromLatin1(form.summary));
        if (topic == QLatin1String("wiegand")) {
            text += QStringLiteral("\nModes:\n");
            const QStringList captions = wiegandModeCaptions();
            for (int i = 0; i < captions.size(); ++i)
                text += QStringLiteral("  %1  %2\n").arg(i).arg(captions.at(i));
        }
        return text;
    }
    QString text = QStringLiteral(
        "Usage: vexactl [OPTIONS] COMMAND [ARGUMENTS]\n"
        "\n"
        "Talks to a Vexa reader without a window: one command, its report on standard output.\n"
        "\n"
        "Connection (without one, the window's stored interface and port):\n"
        "  --port COMn       a COM port, through the port folder or the built-in mapping\n"
        "  --device PATH     a serial device\n"
        "  --usb             the USB reader\n"
        "  --baud RATE       the rate to talk at: 9600, 19200, 38400 or 57600\n"
        "                    (default: the window's stored rate, else 38400)\n"
        "  --address SERIAL  addressed frames, to the reader with this serial number\n"
        "  --timeout MS      how long to wait for an answer (default 2000)\n"
        "\n"
        "Output:\n"
        "  --json            one JSON object per answer (JSON Lines)\n"
        "  --frames          the frames sent and received, on standard error\n"
        "  --log FILE.csv    every tag the answers named, as CSV, written when the run ends\n"
        "  --yes             confirms a lock command\n"
        "  --repeat N|forever  sends the command N times, or until Ctrl-C or SIGTERM;\n"
        "                    a summary line goes to standard error at the end\n"
        "  --interval MS     the pause between the end of one exchange and the next\n"
        "  --fast            an answer is complete once its length is reached and its check\n"
        "                    passes, instead of after 100 ms of silence\n"
        "  --keep-going      run: goes on after a failing line\n"
        "  --help            this text, or a command's (vexactl COMMAND --help)\n"
        "  --version         the program's name and version\n"
        "\n"
        "Commands:\n");
    for (const CommandForm &form : commands()) {
        QString left = QString::fromLatin1(form.words);
        if (*form.arguments)
            left += QLatin1Char(' ') + QString::fromLatin1(form.arguments);
        text += QStringLiteral("  %1 %2\n").arg(left, -28).arg(QString::fromLatin1(form.summary));
    }
    text += QStringLiteral(
        "\n"
        "Exit status:\n"
        "  0  success\n"
        "  1  the reader answered with an error status\n"
        "  2  usage or input error\n"
        "  3  no answer\n"
        "  4  port or device not available\n"
        "  5  firmware upgrade failed\n");
    return text;
}

} // namespace vexa::ctl
