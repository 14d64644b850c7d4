// VexaHost test helpers: frames written as hexadecimal text, and answer
// frames built around a payload.
#pragma once

#include <cstdint>
#include <QByteArray>

#include "core/wire/frame.h"
#include "core/wire/framecheck.h"
#include <QString>

namespace vexa::test {

// Hex text such as "01 08 00 10" to bytes.
inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The traced form of a frame body with its frame check appended.
inline QString withCheck(const QString &body)
{
    QByteArray bytes = QByteArray::fromHex(body.toLatin1());
    const uint16_t check = computeFrameCheck(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()));
    bytes.append(char(check & 0xFF));
    bytes.append(char(check >> 8));
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// A sound answer frame: status, command code and payload, check included.
inline QByteArray answerFrame(uint8_t status, uint8_t code, const QByteArray &payload = {})
{
    QByteArray f(8 + payload.size(), '\0');
    auto *b = reinterpret_cast<uint8_t *>(f.data());
    writeHeader(b, int(f.size()), 0x10, code);
    b[4] = status;
    std::copy(payload.begin(), payload.end(), f.begin() + 6);
    writeFrameCheck(b, int(f.size()));
    return f;
}

// The last two of the n bytes are the frame check over the bytes before them.
inline bool frameCheckHolds(const uint8_t *bytes, int n)
{
    const uint16_t check = computeFrameCheck(bytes, n - 2);
    return n >= 2 && bytes[n - 2] == (check & 0xFF) && bytes[n - 1] == (check >> 8);
}

} // namespace vexa::test
