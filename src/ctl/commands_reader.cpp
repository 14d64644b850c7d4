// vexactl - the reader's own commands: management, configuration (each
// as the window's menu sends it), the firmware upgrade, scripts and raw
// frames.
#include "commandtable.h"

#include "core/codecs/configframes.h"
#include "core/codecs/management.h"
#include "core/util/fieldlimits.h"
#include "core/util/shown.h"
#include "core/util/hextext.h"
#include "core/wire/frame.h"

namespace vexa::ctl {

namespace {

Build management(uint8_t code)
{
    return [code](const QStringList &, const QMap<QString, QString> &, Action &action) {
        action.kind = Action::Kind::Management;
        action.code = code;
        return QString();
    };
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

} // namespace

QList<CommandForm> managementCommands()
{
    return {
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
    };
}

QList<CommandForm> configurationCommands()
{
    return {
        {"wiegand", "MODE", "the Wiegand output: a mode's number or name (vexactl wiegand --help)", {}, 1, 1,
         configCommand(Action::Kind::Wiegand, [](const QStringList &args, Action &action) {
             const QStringList captions = wiegandModeCaptions();
             bool isNumber = false;
             const int number = args.constFirst().toInt(&isNumber);
             action.number = isNumber ? number : int(captions.indexOf(args.constFirst()));
             if (action.number < 0 || action.number >= captions.size())
                 return QStringLiteral("wiegand: no mode \"%1\"; see vexactl wiegand --help.").arg(shownText(args.constFirst()));
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
                 return QStringLiteral("encryption: \"%1\" is not \"plain\".").arg(shownText(args.at(1)));
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
    };
}

QList<CommandForm> programCommands()
{
    return {
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
                     return QStringLiteral("raw: \"%1\" is not a byte of two hexadecimal digits.").arg(shownText(text));
                 action.rawBody.append(char(*value));
             }
             return QString();
         }},
    };
}

} // namespace vexa::ctl
