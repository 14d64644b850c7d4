// VexaHost - reader-management commands (codes 0xE0 and above) and the
// reports of their answers.
//
// Requests without parameters: 01 08 00 10 <flags> <code> <check lo> <check hi>.
// Answers (payload from byte 6):
//   0xE0 version:  6 minor, 7 major, 8 image (7 firmware, 0 boot loader),
//                  9 bit 7 card encoding edition, bits 0-6 generation (1 = VexaIII),
//                  10..17 serial number text (ends at the first zero byte)
//   0xE3 loader:   6 minor, 7 major, 8 boot-loader interface (1 com port),
//                  9 firmware interface (1 com, 2 USB, else USB virtual com),
//                  10 ASIC (1 TI 6700, 2 Melexis 90121, else TI 7960)
//   0xE7 setup:    6 Wiegand (0x40 UID, 0x80 data, else off), 7 bit 0 RF,
//                  bit 2 LED, bit 3 audio, mask 0x70 family, 8 baud code,
//                  9 AFI, 10 encryption (0 default key, 2 plain, else user)
//   0xEB info:     6..13 serial number text, 14..15 lifetime, 16..17 version x100
#pragma once

#include <optional>
#include <QString>

#include "core/wire/report.h"

namespace vexa {

namespace mgmt {
constexpr uint8_t GetVersion = 0xE0;
constexpr uint8_t GetLoaderInfo = 0xE3;
constexpr uint8_t Reset = 0xE5;
constexpr uint8_t Diagnostics = 0xE6;
constexpr uint8_t ReadSetup = 0xE7;
constexpr uint8_t ReadInfo = 0xEB;
constexpr uint8_t SetEncryption = 0xEC;
constexpr uint8_t SetConfig = 0xED;
constexpr uint8_t ActivateLed = 0xEE;
constexpr uint8_t ActivateAudio = 0xEF;
constexpr uint8_t Test = 0x26;
} // namespace mgmt

// Flags values the builders write (bits 0-4 reach the reader).
constexpr uint8_t flagsFor(uint8_t code)
{
    return (code == mgmt::ReadSetup || code == mgmt::Reset) ? 0x40 : 0x00;
}

// The 16 AFI family names by the high nibble of an AFI byte.
QString afiFamilyName(uint8_t afi);

// What a management answer changes in the host besides the pane.
struct ManagementOutcome
{
    Report report;
    std::optional<bool> audioOn;
    std::optional<bool> ledOn;
    std::optional<int> bootLoaderComType;
};

ManagementOutcome reportManagementResponse(const FrameView &frame);

} // namespace vexa
