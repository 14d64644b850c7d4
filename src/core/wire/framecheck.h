// VexaHost - the two check bytes that end every frame, both ways:
//   n-2    XOR of bytes 0..n-3
//   n-1    that XOR ^ 0xFF
// Header-only and free of Qt: the simulator computes the check with this same
// code and shares nothing else of the host's.
#pragma once

#include <cstdint>

namespace vexa {

// Low byte = XOR of the bytes, high byte = that XOR ^ 0xFF. Empty range: 0xFF00.
inline uint16_t computeFrameCheck(const uint8_t *bytes, int count)
{
    uint8_t x = 0;
    for (int i = 0; i < count; ++i)
        x ^= bytes[i];
    return uint16_t(x | (uint16_t(x ^ 0xFF) << 8));
}

// Zeroes bytes n-2 and n-1, then stores the check over the n bytes there.
inline void writeFrameCheck(uint8_t *frame, int n)
{
    if (n < 2)
        return;
    frame[n - 2] = 0;
    frame[n - 1] = 0;
    const uint16_t check = computeFrameCheck(frame, n);
    frame[n - 2] = uint8_t(check & 0xFF);
    frame[n - 1] = uint8_t(check >> 8);
}

} // namespace vexa
