// vexa-sim - cutting the byte stream from the host into request frames.
#include "frameassembler.h"

namespace vexa::sim {

FrameAssembler::Output FrameAssembler::feed(const QByteArray &bytes, qint64 nowMs)
{
    Output out;
    if (!m_pending.isEmpty() && nowMs - m_lastMs >= kSilenceMs)
        out.discarded = clear();
    m_lastMs = nowMs;
    m_pending.append(bytes);

    for (;;) {
        const qsizetype start = m_pending.indexOf(char(0x01));
        if (start < 0) {
            out.discarded.append(m_pending);
            m_pending.clear();
            break;
        }
        out.discarded.append(m_pending.left(start));
        m_pending.remove(0, start);
        if (m_pending.size() < 3)
            break;
        const int length = uint8_t(m_pending.at(1)) | (uint8_t(m_pending.at(2)) << 8);
        if (length < kMinFrame || length > kMaxFrame) {
            out.discarded.append(m_pending.at(0));
            m_pending.remove(0, 1);
            continue;
        }
        if (m_pending.size() < length)
            break;
        out.frames.append(m_pending.left(length));
        m_pending.remove(0, length);
    }
    return out;
}

QByteArray FrameAssembler::clear()
{
    QByteArray dropped;
    dropped.swap(m_pending);
    return dropped;
}

} // namespace vexa::sim
