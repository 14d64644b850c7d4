// VexaHost - bounded read access to one response frame in the receive buffer.
//
// Reports read their payload at fixed offsets whatever the frame's length.
// A FrameView makes every byte past the received bytes read as 0, so a short
// answer can never make a report read stale or foreign memory.
#pragma once

#include <cstdint>
#include <QByteArray>

namespace vexa {

class FrameView
{
public:
    FrameView() = default;
    FrameView(const uint8_t *bytes, int available) : m_bytes(bytes), m_size(available < 0 ? 0 : available) {}
    explicit FrameView(const QByteArray &bytes)
        : FrameView(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size())) {}

    uint8_t operator[](int i) const { return (i >= 0 && i < m_size) ? m_bytes[i] : 0; }
    // Bytes received from the frame's start on (may run past the frame itself).
    int available() const { return m_size; }
    const uint8_t *data() const { return m_bytes; }

    uint8_t lengthLow() const { return (*this)[1]; }
    uint8_t status() const { return (*this)[4]; }
    uint8_t code() const { return (*this)[5]; }
    uint16_t u16(int i) const { return uint16_t((*this)[i] | ((*this)[i + 1] << 8)); }
    uint32_t u32(int i) const
    {
        return uint32_t((*this)[i]) | (uint32_t((*this)[i + 1]) << 8) | (uint32_t((*this)[i + 2]) << 16)
            | (uint32_t((*this)[i + 3]) << 24);
    }

private:
    const uint8_t *m_bytes = nullptr;
    int m_size = 0;
};

} // namespace vexa
