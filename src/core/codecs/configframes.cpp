// VexaHost - the reader-configuration commands.
#include "configframes.h"

#include <algorithm>

#include "core/codecs/management.h"

namespace vexa {

namespace {

constexpr uint8_t kRfOff = 0x03;
constexpr uint8_t kRfOn = 0x04;
constexpr uint8_t kFeedback = 0x07;
constexpr uint8_t kWiegandIso15693 = 0x0A;
constexpr uint8_t kWiegandOff = 0x0C;
constexpr uint8_t kFirstBaud = 0x0E;
constexpr uint8_t kFeedbackAudio = 0x08;
constexpr uint8_t kFeedbackLed = 0x04;

int finish(CommandBuffer &buffer, int n)
{
    writeFrameCheck(buffer.data(), n);
    return n;
}

int setConfiguration(CommandBuffer &buffer, uint8_t sub, uint8_t value)
{
    constexpr int n = 10;
    writeHeader(buffer.data(), n, kConfigFlags, mgmt::SetConfig);
    buffer[6] = sub;
    buffer[7] = value;
    return finish(buffer, n);
}

void writeTime(CommandBuffer &buffer, int at, int timeMs)
{
    const auto units = uint16_t(timeMs / 5); // truncates toward zero; low 16 bits
    buffer[size_t(at)] = uint8_t(units & 0xFF);
    buffer[size_t(at + 1)] = uint8_t(units >> 8);
}

} // namespace

const std::array<WiegandMode, 10> &wiegandModes()
{
    static const std::array<WiegandMode, 10> modes = {{
        {"Off", kWiegandOff, 0x00},
        {"ISO 15693 Card Data", kWiegandIso15693, 0x01},
        {"ISO 15693 UID 26-Bit", kWiegandIso15693, 0x00},
        {"ISO 15693 UID 32-Bit", kWiegandIso15693, 0x02},
        {"ISO 15693 UID 36-Bit", kWiegandIso15693, 0x03},
        {"ISO 15693 UID 64-Bit", kWiegandIso15693, 0x04},
        {"ISO 15693 UID 64-Bit No Par", kWiegandIso15693, 0x08},
        {"ISO 14443-A UID 32-Bit", 0x09, 0x02},
        {"Tag-it UID 26-Bit", 0x0B, 0x00},
        {"Tag-it Encrypted Data", 0x0B, 0x01},
    }};
    return modes;
}

QStringList wiegandModeCaptions()
{
    QStringList captions;
    for (const WiegandMode &mode : wiegandModes())
        captions << QString::fromLatin1(mode.caption);
    return captions;
}

bool wiegandModeShowsIsoOptions(int modeIndex)
{
    return modeIndex < 7 && modeIndex != 0;
}

int buildWiegandCommand(CommandBuffer &buffer, int modeIndex, const ReaderOptions &options)
{
    const bool listed = modeIndex >= 0 && modeIndex < int(wiegandModes().size());
    const WiegandMode &mode = wiegandModes()[listed ? size_t(modeIndex) : 0];
    constexpr int n = 11;
    writeHeader(buffer.data(), n, kConfigFlags, mgmt::SetConfig);
    buffer[6] = mode.subCommand;
    buffer[7] = mode.format;
    buffer[8] = (mode.subCommand == kWiegandIso15693 && options.useAfi) ? options.afiByte() : 0;
    return finish(buffer, n);
}

int buildEncryptionCommand(CommandBuffer &buffer, bool userKey, const DesKey &key, bool plainText)
{
    constexpr int n = 17;
    writeHeader(buffer.data(), n, kConfigFlags, mgmt::SetEncryption);
    uint8_t options = 0;
    if (userKey)
        options |= 0x01;
    if (plainText)
        options |= 0x02;
    buffer[6] = options;
    for (size_t i = 0; i < key.size(); ++i)
        buffer[7 + i] = userKey ? key[i] : 0;
    return finish(buffer, n);
}

int buildFeedbackCommand(CommandBuffer &buffer, bool audioOn, bool ledOn)
{
    uint8_t bits = 0;
    if (audioOn)
        bits |= kFeedbackAudio;
    if (ledOn)
        bits |= kFeedbackLed;
    return setConfiguration(buffer, kFeedback, bits);
}

int buildRfCommand(CommandBuffer &buffer, bool on)
{
    return setConfiguration(buffer, on ? kRfOn : kRfOff, 0);
}

int baudItemRate(int rate)
{
    if (rate == 9600 || rate == 19200 || rate == 38400)
        return rate;
    return 57600;
}

std::optional<int> buildBaudRateCommand(CommandBuffer &buffer, int rate)
{
    const auto it = std::find(kReaderBaudRates.begin(), kReaderBaudRates.end(), rate);
    if (it == kReaderBaudRates.end())
        return std::nullopt;
    return setConfiguration(buffer, uint8_t(kFirstBaud + (it - kReaderBaudRates.begin())), 0);
}

int buildActivateLedCommand(CommandBuffer &buffer, LedColour colour, int timeMs)
{
    constexpr int n = 12;
    writeHeader(buffer.data(), n, kConfigFlags, mgmt::ActivateLed);
    buffer[6] = 0;
    buffer[7] = uint8_t(colour);
    writeTime(buffer, 8, timeMs);
    return finish(buffer, n);
}

int buildActivateAudioCommand(CommandBuffer &buffer, int timeMs)
{
    constexpr int n = 11;
    writeHeader(buffer.data(), n, kConfigFlags, mgmt::ActivateAudio);
    buffer[6] = 0;
    writeTime(buffer, 7, timeMs);
    return finish(buffer, n);
}

std::optional<int> decimalTextToInt(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    int i = (t[0] == QLatin1Char('+') || t[0] == QLatin1Char('-')) ? 1 : 0;
    if (i == t.size())
        return std::nullopt;
    for (int k = i; k < t.size(); ++k)
        if (t[k] < QLatin1Char('0') || t[k] > QLatin1Char('9'))
            return std::nullopt;
    bool ok = false;
    const int value = t.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

QString invalidIntegerMessage(const QString &text)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

} // namespace vexa
