// vexa-sim - the control lines read from standard input.
#include "control.h"

#include <QStringList>

#include "readermodel.h"

namespace vexa::sim {

namespace {

constexpr int kMaxGapMs = 60000;
constexpr int kMaxPayload = 255 - 8;

std::optional<uint8_t> parseByte(QString token)
{
    if (token.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        token = token.mid(2);
    if (token.isEmpty() || token.size() > 2)
        return std::nullopt;
    bool ok = false;
    const uint value = token.toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    return uint8_t(value);
}

std::optional<QByteArray> parseBytes(const QStringList &tokens)
{
    QByteArray bytes;
    for (const QString &token : tokens) {
        const auto b = parseByte(token);
        if (!b)
            return std::nullopt;
        bytes.append(char(*b));
    }
    return bytes;
}

std::optional<int> parseDecimal(const QString &token, int min, int max)
{
    bool ok = false;
    const int value = token.toInt(&ok, 10);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

ControlParse failure(const QString &text)
{
    return {std::nullopt, text};
}

// An optional trailing count at words[index].
bool takeCount(const QStringList &words, int index, ControlCommand &command)
{
    if (words.size() == index)
        return true;
    if (words.size() != index + 1)
        return false;
    const auto count = parseDecimal(words[index], 0, 1000000);
    if (!count)
        return false;
    command.count = *count;
    return true;
}

ControlParse parseFault(const QStringList &words)
{
    ControlCommand command;
    const QString what = words.value(1);
    if (what == QLatin1String("status")) {
        command.kind = ControlCommand::FaultStatus;
        const auto status = parseByte(words.value(2));
        const auto code = parseByte(words.value(3));
        if (!status || !code || !takeCount(words, 4, command))
            return failure(QStringLiteral("usage: fault status <status> <code> [count]"));
        command.status = *status;
        command.code = *code;
    } else if (what == QLatin1String("badcheck") || what == QLatin1String("silent")
               || what == QLatin1String("keeprate")) {
        command.kind = what == QLatin1String("silent")     ? ControlCommand::FaultSilent
                       : what == QLatin1String("keeprate") ? ControlCommand::FaultKeepRate
                                                           : ControlCommand::FaultBadCheck;
        if (!takeCount(words, 2, command))
            return failure(QStringLiteral("usage: fault %1 [count]").arg(what));
    } else if (what == QLatin1String("stray")) {
        command.kind = ControlCommand::FaultStray;
        const auto bytes = parseBytes(words.mid(2));
        if (!bytes || bytes->isEmpty())
            return failure(QStringLiteral("usage: fault stray <hex bytes>"));
        command.bytes = *bytes;
    } else if (what == QLatin1String("gap")) {
        command.kind = ControlCommand::FaultGap;
        const auto ms = parseDecimal(words.value(2), 0, kMaxGapMs);
        if (!ms || words.size() != 3)
            return failure(QStringLiteral("usage: fault gap <ms> (0 to %1)").arg(kMaxGapMs));
        command.value = *ms;
    } else if (what == QLatin1String("clear") && words.size() == 2) {
        command.kind = ControlCommand::FaultClear;
    } else if (words.size() == 1) {
        return failure(QStringLiteral("usage: fault status|badcheck|stray|gap|silent|clear ..."));
    } else {
        return failure(QStringLiteral("unknown fault: ") + words.mid(1).join(QLatin1Char(' ')));
    }
    return {command, {}};
}

ControlParse parseTag(const QStringList &words)
{
    ControlCommand command;
    const QString what = words.value(1);
    if (what == QLatin1String("add") && words.size() > 2) {
        command.kind = ControlCommand::TagAdd;
        command.text = words.mid(2).join(QLatin1Char(' '));
    } else if (what == QLatin1String("remove") && words.size() == 3) {
        command.kind = ControlCommand::TagRemove;
        command.text = words[2];
    } else if (what == QLatin1String("clear") && words.size() == 2) {
        command.kind = ControlCommand::TagClear;
    } else if (what == QLatin1String("defaults") && words.size() == 2) {
        command.kind = ControlCommand::TagDefaults;
    } else if (what == QLatin1String("list") && words.size() == 2) {
        command.kind = ControlCommand::TagList;
    } else if ((what == QLatin1String("memory") && words.size() >= 4)
               || ((what == QLatin1String("lock") || what == QLatin1String("unlock")) && words.size() == 4)) {
        command.kind = ControlCommand::TagChange;
        command.text = words[2];
        command.change = (QStringList{what} + words.mid(3)).join(QLatin1Char(' '));
    } else {
        return failure(QStringLiteral("usage: tag add <tag> | tag remove <id> | tag clear | tag defaults | tag list"
                                      " | tag memory <id> empty|cc|ndef [URI] | tag lock|unlock <id> <LIST>"));
    }
    return {command, {}};
}

} // namespace

ControlParse parseControlLine(const QString &line)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty() || words.first().startsWith(QLatin1Char('#')))
        return {};

    const QString &verb = words.first();
    ControlCommand command;
    if (verb == QLatin1String("fault"))
        return parseFault(words);
    if (verb == QLatin1String("tag"))
        return parseTag(words);
    if (verb == QLatin1String("send")) {
        command.kind = ControlCommand::Send;
        const auto bytes = parseBytes(words.mid(1));
        if (!bytes || bytes->isEmpty())
            return failure(QStringLiteral("usage: send <hex bytes>"));
        command.bytes = *bytes;
    } else if (verb == QLatin1String("frame")) {
        command.kind = ControlCommand::Frame;
        const auto code = parseByte(words.value(1));
        const auto status = parseByte(words.value(2));
        const auto payload = parseBytes(words.mid(3));
        if (!code || !status || !payload || payload->size() > kMaxPayload)
            return failure(QStringLiteral("usage: frame <code> <status> [hex payload, at most %1 bytes]")
                               .arg(kMaxPayload));
        command.code = *code;
        command.status = *status;
        command.bytes = *payload;
    } else if (verb == QLatin1String("baud")) {
        command.kind = ControlCommand::Baud;
        const auto rate = parseDecimal(words.value(1), 0, 1000000);
        if (!rate || words.size() != 2 || baudCodeForRate(*rate) < 0)
            return failure(QStringLiteral("usage: baud 9600|19200|38400|57600"));
        command.value = *rate;
    } else if (verb == QLatin1String("serial")) {
        command.kind = ControlCommand::Serial;
        if (words.size() != 2)
            return failure(QStringLiteral("usage: serial <text>"));
        command.bytes = words[1].toLatin1();
    } else if (verb == QLatin1String("usb") && words.size() == 2
               && (words[1] == QLatin1String("plug") || words[1] == QLatin1String("unplug")
                   || words[1] == QLatin1String("replug"))) {
        command.kind = words[1] == QLatin1String("plug")     ? ControlCommand::UsbPlug
                       : words[1] == QLatin1String("unplug") ? ControlCommand::UsbUnplug
                                                             : ControlCommand::UsbReplug;
    } else if (verb == QLatin1String("autoread")) {
        command.kind = ControlCommand::AutoRead;
        // The text as typed after the verb, blanks inside it kept.
        const QString text = line.trimmed().mid(verb.size()).trimmed();
        if (text.isEmpty())
            return failure(QStringLiteral("usage: autoread <text>"));
        command.bytes = text.toLatin1().replace("\\r", "\r").replace("\\n", "\n");
    } else if (verb == QLatin1String("loader") && words.size() > 1) {
        command.kind = ControlCommand::Loader;
        command.text = words.mid(1).join(QLatin1Char(' '));
    } else if (verb == QLatin1String("airtime")) {
        command.kind = ControlCommand::AirTime;
        if (words.size() != 2 || (words[1] != QLatin1String("on") && words[1] != QLatin1String("off")))
            return failure(QStringLiteral("usage: airtime on|off"));
        command.value = words[1] == QLatin1String("on") ? 1 : 0;
    } else if (verb == QLatin1String("state") && words.size() == 1) {
        command.kind = ControlCommand::State;
    } else if (verb == QLatin1String("quit") && words.size() == 1) {
        command.kind = ControlCommand::Quit;
    } else {
        return failure(QStringLiteral("unknown command: ") + words.join(QLatin1Char(' ')));
    }
    return {command, {}};
}

QString controlHelp()
{
    return QStringLiteral(
        "Control lines on standard input (each answered on standard output with\n"
        "\"ok <line>\" or \"error <text>\"):\n"
        "  fault status <status> <code> [count]  the next count answers (default 1)\n"
        "                                        carry this status byte and error code\n"
        "                                        and the command is not carried out\n"
        "  fault badcheck [count]                the next count answers get a wrong\n"
        "                                        frame check\n"
        "  fault stray <hex bytes>               these bytes go out before the next answer\n"
        "  fault gap <ms>                        a pause of ms milliseconds in the middle\n"
        "                                        of the next answer\n"
        "  fault silent [count]                  no answer to the next count requests\n"
        "                                        (they are lost: not carried out)\n"
        "  fault keeprate [count]                the next count baud commands are answered\n"
        "                                        but the reader keeps its rate\n"
        "  fault clear                           forget all faults\n"
        "  send <hex bytes>                      write these raw bytes now\n"
        "  frame <code> <status> [hex payload]   write a well-formed frame now\n"
        "  baud <rate>                           set the reader's own rate now\n"
        "  serial <text>                         set the serial number (1 to 8 characters)\n"
        "  state                                 print \"state: <summary>\", then \"ok state\"\n"
        "  tag add <tag>                         put a tag in the field, after the others\n"
        "  tag remove <id>                       take out the tags with this UID or address\n"
        "  tag clear                             empty the field\n"
        "  tag defaults                          the default tags, and only those\n"
        "  tag list                              print \"tag: <tag>\" per tag, nearest first\n"
        "  tag memory <id> empty|cc|ndef [URI]   fill the memory of this ISO/IEC 15693 tag:\n"
        "                                        zeros / a Type 5 capability container and\n"
        "                                        no message / one with a URI record\n"
        "                                        (https://example.com unless given)\n"
        "  tag lock|unlock <id> <LIST>           lock or free these blocks of the tag\n"
        "  airtime on|off                        answers wait for the request to cross the\n"
        "                                        line and the tags' air time (on at start\n"
        "                                        unless --no-air-time)\n"
        "  usb plug | usb unplug                 plug the USB reader (--usb) in or out\n"
        "  usb replug                            the USB reader vanishes and enumerates\n"
        "                                        again as what it is (application or\n"
        "                                        boot loader)\n"
        "  autoread <text>                       the USB reader sends this text record\n"
        "                                        (\\r and \\n stand for line ends)\n"
        "  loader refuse|drop|silent [count]     the boot loader refuses the next count\n"
        "                                        packets / stores them but loses the\n"
        "                                        answers / loses the next count commands\n"
        "  loader deaf|nakcapture [count]        the next count resets: the loader\n"
        "                                        ignores \"A\" / answers it 0A 3F 0D\n"
        "  loader late <ms> [count]              the answers to the next count packets\n"
        "                                        leave ms late\n"
        "  loader random <refuse %> <drop %> [seed]  refuse packets / lose answers by\n"
        "                                        chance\n"
        "  loader boot <ms>                      the application starts ms after the go\n"
        "                                        command, losing what comes meanwhile\n"
        "  loader clear                          forget the loader's faults\n"
        "  loader state                          print \"loader: <summary>\" (mode, packets,\n"
        "                                        image size and SHA-256, starts)\n"
        "  quit                                  exit, removing the port entry\n"
        "Bytes, status and code are hexadecimal (\"01 08 00\", \"0x02\"); counts,\n"
        "milliseconds and rates are decimal; a count of 0 cancels that fault.\n"
        "Lines that are blank or start with # are ignored.\n"
        "\n"
        "A tag is one line, in a --tags file as in \"tag add\":\n"
        "  iso15693 UID [kind=KIND] [blocks=N] [size=4|8] [afi=HH] [dsfid=HH] [ic=HH]\n"
        "           [memory=empty|cc|ndef] [uri=URI]\n"
        "           [afilock] [dsfidlock] [lock=LIST] [data=V,V,...]\n"
        "  tagit ADDRESS [mfr=HH] [version=HHHH] [lock=LIST] [data=V,V,...]\n"
        "  iso14443a UID\n"
        "UID and ADDRESS in hexadecimal as the host shows them (16, 8, and 8, 14 or\n"
        "20 digits); LIST such as 0,3-5; data= the blocks from block 0 on, in\n"
        "hexadecimal as the host shows them, over what memory= put there. Defaults:\n"
        "28 blocks of 4 bytes, 00. KIND gives blocks, size and IC reference:\n"
        "iso-28x4, iso-64x4, iso-80x4, iso-8x8, iso-32x8. memory= fills the memory\n"
        "as \"tag memory\" does; uri= gives the URI of memory=ndef and implies it.\n");
}

} // namespace vexa::sim
