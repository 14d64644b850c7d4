// VexaHost - hexadecimal text typed by the operator.
//
// Both conversions reject the whole text at its first character that is not
// a hexadecimal digit; the caller then tells the operator
// kInvalidHexMessage and sends nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <QString>

namespace vexa {

inline const QString kInvalidHexMessage =
    QStringLiteral("Provided data is not a valid hexadecimal number, please re-enter.");

// Most significant digit first; empty text gives 0; digits beyond the eighth
// shift the older ones out of the 32-bit value.
std::optional<uint32_t> hexTextToValue(const QString &text);

// Two digits per byte from dest[0], first digit in the high nibble; an odd
// last digit fills only the high nibble (low nibble 0). Bytes past the text
// keep their values. Digits that would land beyond `size` bytes are ignored.
bool hexTextToBytes(const QString &text, uint8_t *dest, int size);

} // namespace vexa
