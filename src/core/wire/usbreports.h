// VexaHost - frames over USB HID: 16-byte reports both ways.
//
// Output: a command frame is cut into consecutive 16-byte reports, the last
// one padded with zero bytes.
//
// Input: the first report of a response frame starts with the start byte
// 0x01 and carries the length's low byte at [1]:
//
//   report 1:  01 LL .. .. .. .. .. .. .. .. .. .. .. .. .. ..   (16 taken)
//   report 2:  .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. ..   (16 taken)
//   report n:  .. .. .. .. .. .. .. .. 00 00 00 00 00 00 00 00   (LL mod 16 taken)
//
// The bytes still expected are only set from a report that begins a frame
// while nothing of the current block has been gathered; after a frame they
// keep the size of its last piece, so a report that does not begin a frame
// contributes that many bytes and ends a block that the link then rejects.
//
// Auto-read text: each report brings up to 16 characters (up to its first
// zero byte). A line is complete when more than 25 characters have been
// gathered; it keeps its first 25. A text of 25 characters or fewer is cut
// back to its first 16. Twenty poll ticks without a report drop the text.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <QByteArray>
#include <QList>
#include <QString>

namespace vexa {

constexpr int kUsbReportSize = 16;
// readData's buffer: the library may copy a longer report than the 16 bytes
// taken from it.
constexpr int kUsbReadBufferSize = 1024;

using UsbReport = std::array<uint8_t, kUsbReportSize>;

// The frame as output reports; an empty frame gives none.
QList<UsbReport> toUsbReports(const QByteArray &frame);

// One report's contribution to the current block.
struct UsbPiece
{
    int take = 0;          // bytes from the report's start to append
    bool frameEnds = false; // the last piece: restart the 100 ms timer, stop reading this tick
};

class UsbFrameAssembler
{
public:
    // `gathered` is the number of bytes of the current block received so far.
    UsbPiece take(const UsbReport &report, int gathered);
    int remaining() const { return m_remaining; }
    void reset() { m_remaining = 0; }

private:
    int m_remaining = 0;
};

class AutoReadAssembler
{
public:
    static constexpr int kLineLength = 25;
    static constexpr int kFirstPart = 16;
    static constexpr int kIdleTicks = 20;

    // Adds one report's characters; a completed line is returned.
    std::optional<QString> addReport(const UsbReport &report);
    // One poll tick has passed (after its reports).
    void tick();
    void clear() { m_text.clear(); }

    const QString &text() const { return m_text; }
    int idleCount() const { return m_idleCount; }

private:
    QString m_text;
    int m_idleCount = 0;
};

// The operator's text for a failed load of the USB library, by the system's
// error code. `detail` (the loader's own message) is added for codes that
// have no text of their own.
QString usbErrorText(uint32_t code, const QString &detail = {});

// Codes of the error table.
namespace usberr {
constexpr uint32_t CouldNotWrite = 29;
constexpr uint32_t CouldNotRead = 30;
constexpr uint32_t ModuleNotFound = 126;
constexpr uint32_t CouldNotOpen = 0xE0000001u;
constexpr uint32_t NoCapabilities = 0xE0000002u;
} // namespace usberr

} // namespace vexa
