// vexa-sim - request frames out of the host's 16-byte output reports.
//
// A frame begins at the start of a report with the start byte 0x01; its
// 16-bit length field (bytes 1 and 2, low byte first) says how many bytes of
// this and the following reports belong to it; the rest of its last report
// is padding. A report that neither begins nor continues a frame is noise.
#pragma once

#include <QByteArray>

#include "link/usbreports.h"

namespace vexa::sim {

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

    Output feed(const UsbReport &report);
    void clear() { m_pending.clear(); m_expected = 0; }

private:
    QByteArray m_pending;
    int m_expected = 0;
};

} // namespace vexa::sim
