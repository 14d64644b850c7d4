// vexa-sim - the frame bytes as the reader handles them (see readermodel.h
// for the whole layout). The simulator keeps its own reading of the wire so
// that a fault in the host's frame code shows up against it instead of being
// mirrored; only the check bytes (core/wire/framecheck.h) are computed by shared
// code.
//
// Included by the simulator's .cpp files only: the names would clash with
// the host's in a test that uses both.
#pragma once

#include <array>
#include <cstdint>
#include <QByteArray>
#include <QString>

namespace vexa::sim {

constexpr uint8_t kStartByte = 0x01;
constexpr uint8_t kTypeByte = 0x10;
constexpr int kMinimumFrame = 8; // header, command code, two check bytes
constexpr int kAddressFieldSize = 8;
constexpr uint8_t kAddressedFlag = 0x20;
// Command codes from here up are reader management; below, tag commands.
constexpr uint8_t kFirstManagementCode = 0xE0;

// A reply frame of n = 8 + payload bytes: 01, n low, n high, 10, status,
// command code, payload, check.
QByteArray replyFrame(uint8_t status, uint8_t code, const QByteArray &payload);

// Bytes 1..2, low byte first; 0 for a frame too short to have them.
int lengthField(const QByteArray &frame);

// The address field a host sends to this reader: the serial number's
// characters (at most 7), then zero bytes.
std::array<uint8_t, kAddressFieldSize> addressFieldFor(const QByteArray &serialNumber);

// " %02X" per byte, as the trace shows bytes.
QString traceHex(const QByteArray &bytes);

} // namespace vexa::sim
