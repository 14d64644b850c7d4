// vexa-sim - frames in the reader application's 16-byte USB reports.
//
// Host -> reader (output reports): a frame begins at the start of a report
// with the start byte 0x01; its 16-bit length field (bytes 1 and 2, low byte
// first) says how many bytes of this and the following reports belong to it;
// the rest of its last report is padding. A report that neither begins nor
// continues a frame is noise.
//
// Reader -> host (input reports): the bytes are cut into consecutive reports
// of 16, the last one padded with zero bytes:
//
//   report 1:  01 LL LH 10 .. .. .. .. .. .. .. .. .. .. .. ..   (bytes 0..15)
//   report 2:  .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. ..   (bytes 16..31)
//   report n:  .. .. .. .. .. 00 00 00 00 00 00 00 00 00 00 00   (the rest, then zeros)
//
// The simulator cuts and joins reports with this code of its own, never
// with the host's, so that the two sides check each other.
#pragma once

#include <array>
#include <cstdint>
#include <QByteArray>
#include <QList>

namespace vexa::sim {

constexpr int kReaderReportSize = 16;
using ReaderReport = std::array<uint8_t, kReaderReportSize>;

// The bytes as input reports; no bytes give no report.
QList<ReaderReport> cutIntoReports(const QByteArray &bytes);

class UsbRequestCollector
{
public:
    static constexpr int kMinFrame = 8;
    static constexpr int kMaxFrame = 256;

    struct Output
    {
        QByteArray frame;     // a whole request frame, or empty
        QByteArray discarded; // a report that was noise
    };

    Output feed(const ReaderReport &report);
    void clear() { m_pending.clear(); m_expected = 0; }

private:
    QByteArray m_pending;
    int m_expected = 0;
};

} // namespace vexa::sim
