// VexaHost - gathering response bytes and judging a block.
//
// A block is every byte received since the send, ended by a 100 ms silence.
// It is accepted only when it is exactly one response frame from its first
// byte: byte 1 (the length's low byte) equals the byte count and the frame
// check holds over all of it.
#pragma once

#include <array>
#include <cstdint>

#include "frameview.h"

namespace vexa {

constexpr int kReceiveBufferSize = 8192;

class ReceiveBuffer
{
public:
    // Holds at most `capacity` bytes (kReceiveBufferSize at the most).
    explicit ReceiveBuffer(int capacity = kReceiveBufferSize);

    // Appends what fits; bytes beyond the buffer are dropped and counted.
    void append(const uint8_t *bytes, int count);
    void clear() { m_count = 0; m_dropped = 0; }

    const uint8_t *data() const { return m_bytes.data(); }
    int count() const { return m_count; }
    int dropped() const { return m_dropped; }
    FrameView viewFrom(int position) const { return FrameView(m_bytes.data() + position, m_count - position); }
    // The whole block, from its first byte, is one response frame and not a
    // byte of it was dropped: what was kept may pass the check and still
    // not be what the reader sent.
    bool holdsOneFrame() const;

private:
    std::array<uint8_t, kReceiveBufferSize> m_bytes{};
    int m_capacity;
    int m_count = 0;
    int m_dropped = 0;
};

// Index of the first start byte 0x01, or -1.
int findStartByte(const uint8_t *bytes, int count);

// The whole block, from its first byte, is one response frame.
bool blockCheck(const uint8_t *bytes, int count);

// The frame's whole 16-bit length field equals `length` and its frame check
// over `length` bytes is right.
bool responseCheck(const FrameView &frame, int length);

enum class ResponseFamily { Management, Tagit, Iso15693, Iso14443 };
enum class TagPage { Iso15693, Iso14443, Tagit };

// Codes 0xE0 and above always go to reader management; tag codes go to the
// family of the page visible when the response is evaluated.
ResponseFamily routeResponse(uint8_t code, TagPage visiblePage);

} // namespace vexa
