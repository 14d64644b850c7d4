// vexa-sim - the frame bytes as the reader handles them.
#include "wire.h"

#include <algorithm>
#include <cstring>

#include "core/wire/framecheck.h"

namespace vexa::sim {

QByteArray replyFrame(uint8_t status, uint8_t code, const QByteArray &payload)
{
    const int n = kMinimumFrame + int(payload.size());
    QByteArray frame(n, '\0');
    auto *bytes = reinterpret_cast<uint8_t *>(frame.data());
    bytes[0] = kStartByte;
    bytes[1] = uint8_t(n & 0xFF);
    bytes[2] = uint8_t(n >> 8);
    bytes[3] = kTypeByte;
    bytes[4] = status;
    bytes[5] = code;
    std::memcpy(bytes + 6, payload.constData(), size_t(payload.size()));
    writeFrameCheck(bytes, n);
    return frame;
}

int lengthField(const QByteArray &frame)
{
    if (frame.size() < 3)
        return 0;
    return uint8_t(frame[1]) | uint8_t(frame[2]) << 8;
}

std::array<uint8_t, kAddressFieldSize> addressFieldFor(const QByteArray &serialNumber)
{
    std::array<uint8_t, kAddressFieldSize> field{};
    // The eighth byte stays zero: the text's end when the number has seven
    // characters.
    const qsizetype n = std::min<qsizetype>(serialNumber.size(), kAddressFieldSize - 1);
    std::memcpy(field.data(), serialNumber.constData(), size_t(n));
    return field;
}

QString traceHex(const QByteArray &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto byte = uint8_t(c);
        text += QLatin1Char(' ');
        text += QLatin1Char(digits[byte >> 4]);
        text += QLatin1Char(digits[byte & 0x0F]);
    }
    return text;
}

} // namespace vexa::sim
