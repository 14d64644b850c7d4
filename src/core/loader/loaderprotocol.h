// VexaHost - the boot loader's wire format, both framings.
//
// Serial (text) framing, every command between a line feed and a carriage
// return:
//   capture   41                       "A", alone, repeated until answered
//   write     0A 57 s s d0 d0 ... d127 d127 0D   261 bytes: "W", the sequence
//             number and 128 data bytes as upper-case hexadecimal digits,
//             high nibble first; past the end of the file each data byte is FF
//   go        0A 47 0D                 leave the loader, start the application
// USB (report) framing, one 64-byte output report per command:
//   capture   64 x 41
//   write     57 seq d0 ... d61        "S" (53) instead of "W" in the packet
//             that reaches the end of the file; FF fills the rest of it
//   go        47 then 63 x 00
// Replies, both framings: 0A 21 0D acknowledges, 0A 3F 0D refuses.
// The sequence number starts at 0 and steps (mod 256) per acknowledged packet.
#pragma once

#include <cstdint>
#include <QByteArray>
#include <QByteArrayView>

namespace vexa {

namespace loader {
constexpr char kLineFeed = 0x0A;
constexpr char kCarriageReturn = 0x0D;
constexpr char kCapture = 'A';
constexpr char kWrite = 'W';
constexpr char kWriteLast = 'S';
constexpr char kGo = 'G';
constexpr char kAck = '!';
constexpr char kNak = '?';
constexpr int kSerialDataBytes = 128;
constexpr int kSerialPacketBytes = 261;
constexpr int kUsbDataBytes = 62;
constexpr int kUsbReportBytes = 64;
constexpr uint8_t kFill = 0xFF;
} // namespace loader

enum class LoaderFraming { Serial, Usb };

// File bytes one packet carries.
int packetDataBytes(LoaderFraming framing);

// The write packet that carries image[offset ...], numbered `sequence`.
QByteArray serialWritePacket(uint8_t sequence, QByteArrayView image, qsizetype offset);
QByteArray usbWritePacket(uint8_t sequence, QByteArrayView image, qsizetype offset);
QByteArray writePacket(LoaderFraming framing, uint8_t sequence, QByteArrayView image, qsizetype offset);

QByteArray goCommand(LoaderFraming framing);
// The USB capture probe: a report filled with the capture character.
QByteArray usbCaptureReport();

enum class LoaderReply { None, Ack, Nak, Unknown };

// What the loader said. A reply is its last three bytes, so bytes that came
// before it on the line (an answer of the application just before a reset)
// do not hide it; anything else is Unknown, and nothing at all None.
LoaderReply parseSerialReply(QByteArrayView packet);
// A USB reply report holds the reply somewhere in it.
LoaderReply parseUsbReply(QByteArrayView report);

// What the loader holds after a whole image went through: the file padded
// with FF to a whole number of packets.
QByteArray paddedImage(QByteArrayView image, LoaderFraming framing);

} // namespace vexa
