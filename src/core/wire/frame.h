// VexaHost - command and response frames of the reader wire protocol.
//
// Command frame (n bytes, host -> reader):
//   0      start byte 0x01
//   1..2   n, low byte first
//   3      type byte 0x10
//   4      flags: bits 0-4 from the builder, bit 5 = address field present,
//          bit 6 = 0, bit 7 = 1
//   5      command code (0xE0 and above: reader management)
//   6..    parameters (addressed: 8-byte address field first, then parameters)
//   n-2    frame check low  = XOR of bytes 0..n-3
//   n-1    frame check high = low XOR 0xFF
//
// Response frame (reader -> host): same framing, byte 4 is the status
// (0 ok, 1 tag error, 2 reader error), byte 5 the command code answered,
// payload from byte 6. Only the low byte of the length field counts.
#pragma once

#include <array>
#include <cstdint>
#include <QByteArray>
#include <QString>

#include "core/wire/framecheck.h"

namespace vexa {

constexpr int kCommandBufferSize = 200;
constexpr int kAddressFieldSize = 8;
constexpr uint8_t kStartByte = 0x01;
constexpr uint8_t kTypeByte = 0x10;
constexpr uint8_t kFirstManagementCode = 0xE0;

using CommandBuffer = std::array<uint8_t, kCommandBufferSize>;

// Writes start byte, length, type byte, flags and command code (bytes 0..5).
void writeHeader(uint8_t *frame, int n, uint8_t flags, uint8_t code);

// Builds a whole parameterless frame (n = 8) with its frame check.
void buildSimpleCommand(CommandBuffer &buffer, uint8_t flags, uint8_t code);

// The 8 bytes of the address field for a serial number text: its characters,
// then zero bytes (the text's terminator and padding). Longer texts are cut.
std::array<uint8_t, kAddressFieldSize> addressField(const QString &serialNumber);

// The bytes that go on the wire for the stored frame: flags rewritten and, in
// addressed mode, the address field inserted with length and check updated.
// The stored frame itself is never changed, so every re-send is identical.
QByteArray wireFrame(const CommandBuffer &buffer, int length, bool addressed,
                     const QString &serialNumber);

// " %02X" per byte, the form used in the message view.
QString hexBytes(const uint8_t *bytes, int count);
inline QString hexBytes(const QByteArray &bytes)
{
    return hexBytes(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()));
}

} // namespace vexa
