// vexa-sim - request frames out of the host's 16-byte output reports.
#include "usbcollector.h"

#include <algorithm>

namespace vexa::sim {

UsbRequestCollector::Output UsbRequestCollector::feed(const UsbReport &report)
{
    const QByteArray bytes(reinterpret_cast<const char *>(report.data()), kUsbReportSize);
    Output out;
    if (m_expected == 0) {
        const int length = report[1] | report[2] << 8;
        if (report[0] != 0x01 || length < kMinFrame || length > kMaxFrame) {
            out.discarded = bytes;
            return out;
        }
        m_expected = length;
    }
    m_pending += bytes.left(std::min<qsizetype>(kUsbReportSize, m_expected - m_pending.size()));
    if (m_pending.size() == m_expected) {
        out.frame = m_pending;
        clear();
    }
    return out;
}

} // namespace vexa::sim
