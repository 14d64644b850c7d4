// VexaHost - command and response frames of the reader wire protocol.
#include "frame.h"

#include <algorithm>
#include <cstring>

namespace vexa {

void writeHeader(uint8_t *frame, int n, uint8_t flags, uint8_t code)
{
    frame[0] = kStartByte;
    frame[1] = uint8_t(n & 0xFF);
    frame[2] = uint8_t((n >> 8) & 0xFF);
    frame[3] = kTypeByte;
    frame[4] = flags;
    frame[5] = code;
}

void buildSimpleCommand(CommandBuffer &buffer, uint8_t flags, uint8_t code)
{
    writeHeader(buffer.data(), 8, flags, code);
    writeFrameCheck(buffer.data(), 8);
}

std::array<uint8_t, kAddressFieldSize> addressField(const QString &serialNumber)
{
    std::array<uint8_t, kAddressFieldSize> field{};
    const QByteArray text = serialNumber.toLatin1();
    // The last byte always stays zero: it is the text's terminator when the
    // serial number has the full seven characters.
    const int n = std::min<int>(int(text.size()), kAddressFieldSize - 1);
    std::memcpy(field.data(), text.constData(), size_t(n));
    return field;
}

QByteArray wireFrame(const CommandBuffer &buffer, int length, bool addressed,
                     const QString &serialNumber)
{
    int n = std::clamp(length, 0, kCommandBufferSize);
    if (n < 8)
        return QByteArray(reinterpret_cast<const char *>(buffer.data()), n);

    // Room for the address field beyond the 200 bytes of the stored frame.
    std::array<uint8_t, kCommandBufferSize + kAddressFieldSize> copy{};
    std::memcpy(copy.data(), buffer.data(), size_t(n));
    copy[4] = uint8_t((copy[4] & 0x1F) | 0x80);

    if (addressed) {
        std::memmove(copy.data() + 6 + kAddressFieldSize, copy.data() + 6, size_t(n - 6));
        const auto field = addressField(serialNumber);
        std::memcpy(copy.data() + 6, field.data(), field.size());
        n += kAddressFieldSize;
        copy[1] = uint8_t(n & 0xFF);
        copy[2] = uint8_t((n >> 8) & 0xFF);
        copy[4] |= 0x20;
    }
    writeFrameCheck(copy.data(), n);
    return QByteArray(reinterpret_cast<const char *>(copy.data()), n);
}

QString hexBytes(const uint8_t *bytes, int count)
{
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(count * 3);
    for (int i = 0; i < count; ++i) {
        text += QLatin1Char(' ');
        text += QLatin1Char(digits[bytes[i] >> 4]);
        text += QLatin1Char(digits[bytes[i] & 0x0F]);
    }
    return text;
}

} // namespace vexa
