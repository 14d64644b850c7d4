// VexaHost - gathering response bytes and judging a block.
#include "reception.h"

#include <algorithm>
#include <cstring>

#include "frame.h"

namespace vexa {

ReceiveBuffer::ReceiveBuffer(int capacity) : m_capacity(std::clamp(capacity, 0, kReceiveBufferSize)) {}

void ReceiveBuffer::append(const uint8_t *bytes, int count)
{
    if (count <= 0)
        return;
    const int room = m_capacity - m_count;
    const int taken = std::min(room, count);
    if (taken > 0)
        std::memcpy(m_bytes.data() + m_count, bytes, size_t(taken));
    m_count += taken;
    m_dropped += count - taken;
}

bool ReceiveBuffer::holdsOneFrame() const
{
    return m_dropped == 0 && blockCheck(m_bytes.data(), m_count);
}

int findStartByte(const uint8_t *bytes, int count)
{
    for (int i = 0; i < count; ++i)
        if (bytes[i] == kStartByte)
            return i;
    return -1;
}

bool blockCheck(const uint8_t *bytes, int count)
{
    if (count < 3 || count > 255 || bytes[1] != count)
        return false;
    const uint16_t check = computeFrameCheck(bytes, count - 2);
    return bytes[count - 2] == (check & 0xFF) && bytes[count - 1] == (check >> 8);
}

bool responseCheck(const FrameView &frame, int length)
{
    if (length < 3 || length > frame.available() || frame.u16(1) != length)
        return false;
    const uint16_t check = computeFrameCheck(frame.data(), length - 2);
    return frame[length - 2] == (check & 0xFF) && frame[length - 1] == (check >> 8);
}

ResponseFamily routeResponse(uint8_t code, TagPage visiblePage)
{
    if (code >= kFirstManagementCode)
        return ResponseFamily::Management;
    switch (visiblePage) {
    case TagPage::Tagit: return ResponseFamily::Tagit;
    case TagPage::Iso15693: return ResponseFamily::Iso15693;
    case TagPage::Iso14443: break;
    }
    return ResponseFamily::Iso14443;
}

} // namespace vexa
