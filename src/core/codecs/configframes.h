// VexaHost - the reader-configuration commands: Wiegand output, encryption
// options, feedback, RF transmitter, baud rate, and the one-shot LED and
// buzzer. Each builder writes a whole frame into the command buffer from
// byte 0 (header, parameters, frame check) and returns its length.
//
//   0xED set configuration, flags 0x40:
//     01 0A 00 10 40 ED <sub> <value> <check>             (10 bytes)
//       sub 03 RF off, 04 RF on, 07 feedback (08 audio | 04 LED),
//       0E..11 baud 9600, 19200, 38400, 57600 (value 0)
//     01 0B 00 10 40 ED <sub> <format> <afi> <check>      (11 bytes)
//       sub 09 ISO 14443-A, 0A ISO 15693, 0B Tag-it, 0C Wiegand off;
//       the AFI byte only for 0A with the AFI option on, else 0
//   0xEC set encryption, flags 0x40:
//     01 11 00 10 40 EC <options> <key 8 bytes> <check>   (17 bytes)
//       options bit 0 user key, bit 1 plain text; key in the order typed
//   0xEE activate LED:   01 0C 00 10 40 EE 00 <colour> <time lo> <time hi> <check>
//   0xEF activate audio: 01 0B 00 10 40 EF 00 <time lo> <time hi> <check>
//       colour 1 red, 2 green, 3 amber; time in units of 5 ms
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <QString>
#include <QStringList>

#include "core/codecs/readeroptions.h"
#include "core/wire/frame.h"

namespace vexa {

constexpr uint8_t kConfigFlags = 0x40;

// One item of the Wiegand mode list and what it sends.
struct WiegandMode
{
    const char *caption;
    uint8_t subCommand;
    uint8_t format;
};

// The mode list by index; index 0 is "Off".
const std::array<WiegandMode, 10> &wiegandModes();
QStringList wiegandModeCaptions();
// The ISO 15693 modes (1 to 6) and "no item selected" show the ISO options.
bool wiegandModeShowsIsoOptions(int modeIndex);

// A mode index outside the list (no item selected) sends "Off".
int buildWiegandCommand(CommandBuffer &buffer, int modeIndex, const ReaderOptions &options);

// Eight key bytes in the order typed; all zero with the reader's default key.
using DesKey = std::array<uint8_t, 8>;
int buildEncryptionCommand(CommandBuffer &buffer, bool userKey, const DesKey &key, bool plainText);

int buildFeedbackCommand(CommandBuffer &buffer, bool audioOn, bool ledOn);
int buildRfCommand(CommandBuffer &buffer, bool on);

// The four rates the reader knows, in menu order.
constexpr std::array<int, 4> kReaderBaudRates = {9600, 19200, 38400, 57600};
// The menu item for a rate: its own for the first three, "57600" otherwise.
int baudItemRate(int rate);
// False (nothing written) for a rate the reader does not have.
std::optional<int> buildBaudRateCommand(CommandBuffer &buffer, int rate);

enum class LedColour : uint8_t { Red = 1, Green = 2, Amber = 3 };
// The on-time in milliseconds travels as its fifth, truncated toward zero;
// only the low 16 bits of that fifth are sent.
int buildActivateLedCommand(CommandBuffer &buffer, LedColour colour, int timeMs);
int buildActivateAudioCommand(CommandBuffer &buffer, int timeMs);

// A decimal integer as the operator types it: an optional sign and digits,
// blanks around it allowed; nothing for anything else or a value beyond
// 32 bits.
std::optional<int> decimalTextToInt(const QString &text);
// The message for a time text that is not a whole number.
QString invalidIntegerMessage(const QString &text);

} // namespace vexa
