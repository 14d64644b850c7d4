// vexa-sim - frames in the reader application's 16-byte USB reports.
#include "usbframes.h"

#include <algorithm>
#include <cstring>

namespace vexa::sim {

QList<ReaderReport> cutIntoReports(const QByteArray &bytes)
{
    QList<ReaderReport> reports;
    const qsizetype count = (bytes.size() + kReaderReportSize - 1) / kReaderReportSize;
    reports.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        ReaderReport report{};
        const QByteArray piece = bytes.mid(i * kReaderReportSize, kReaderReportSize);
        std::memcpy(report.data(), piece.constData(), size_t(piece.size()));
        reports.append(report);
    }
    return reports;
}

UsbRequestCollector::Output UsbRequestCollector::feed(const ReaderReport &report)
{
    const QByteArray bytes(reinterpret_cast<const char *>(report.data()), kReaderReportSize);
    Output out;
    if (m_expected == 0) {
        const int length = report[1] | report[2] << 8;
        if (report[0] != 0x01 || length < kMinFrame || length > kMaxFrame) {
            out.discarded = bytes;
            return out;
        }
        m_expected = length;
    }
    m_pending += bytes.left(std::min<qsizetype>(kReaderReportSize, m_expected - m_pending.size()));
    if (m_pending.size() == m_expected) {
        out.frame = m_pending;
        clear();
    }
    return out;
}

} // namespace vexa::sim
