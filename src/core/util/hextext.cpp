// VexaHost - hexadecimal text typed by the operator.
#include "hextext.h"

namespace vexa {

namespace {
int digitValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}
} // namespace

std::optional<uint32_t> hexTextToValue(const QString &text)
{
    uint32_t value = 0;
    for (QChar c : text) {
        const int d = digitValue(c);
        if (d < 0)
            return std::nullopt;
        value = value * 16 + uint32_t(d);
    }
    return value;
}

bool hexTextToBytes(const QString &text, uint8_t *dest, int size)
{
    for (QChar c : text)
        if (digitValue(c) < 0)
            return false;
    for (int i = 0; i < text.size(); ++i) {
        const int byte = i / 2;
        if (byte >= size)
            break;
        const int d = digitValue(text[i]);
        if (i % 2 == 0)
            dest[byte] = uint8_t(d << 4);
        else
            dest[byte] = uint8_t(dest[byte] | d);
    }
    return true;
}

} // namespace vexa
