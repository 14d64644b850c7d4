// VexaHost - pieces shared by the tag-family codecs.
//
// A codec turns the texts and values read from a page's controls into a
// command frame, or into a refusal that names the message for the operator
// and the field to put the focus on. Nothing here knows about widgets.
#pragma once

#include <cstdint>
#include <optional>
#include <QList>
#include <QString>
#include <QVariantMap>
#include <utility>

#include "core/wire/frame.h"
#include "core/wire/frameview.h"

namespace vexa {

// Why a command is not sent. `index` tells apart fields of one kind (the
// Tag-it data fields, the rows of the ISO write grid).
template <typename Field>
struct Refusal
{
    QString message;
    Field field{};
    int index = 0;

    bool operator==(const Refusal &) const = default;
};

// Outcome of building a frame: its length, or why nothing was built. On a
// refusal the command buffer may hold a partial frame and must not be sent.
template <typename Field>
struct Built
{
    int length = 0;
    std::optional<Refusal<Field>> refusal;

    bool ok() const { return !refusal.has_value(); }
};

// Writes the parameters of a command frame from byte 6 on; finish() writes
// the header and the frame check around them. Bytes that would not fit in
// the command buffer (with room for the check) are dropped, so no content of
// any field can run past it; the codecs refuse such inputs before building.
class FrameWriter
{
public:
    explicit FrameWriter(CommandBuffer &buffer) : m_buffer(buffer) {}

    void put(uint8_t byte)
    {
        if (m_pos < kCommandBufferSize - 2)
            m_buffer[size_t(m_pos)] = byte;
        ++m_pos;
    }
    // Low byte first, as every multi-byte number travels.
    void putU32(uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            put(uint8_t(value >> (8 * i)));
    }
    bool overflowed() const { return m_pos > kCommandBufferSize - 2; }

    // Returns the frame length n (parameters + 8).
    int finish(uint8_t flags, uint8_t code)
    {
        const int n = overflowed() ? kCommandBufferSize : m_pos + 2;
        writeHeader(m_buffer.data(), n, flags, code);
        writeFrameCheck(m_buffer.data(), n);
        return n;
    }

private:
    CommandBuffer &m_buffer;
    int m_pos = 6;
};

// The decimal number in a field: plain digits only (no sign, no blanks).
// Values too large for an int saturate at INT_MAX, so range checks still hold.
std::optional<int> decimalText(const QString &text);

// Where the payload of a response ends: the frame check bytes and anything
// past the received bytes do not belong to it. Used to keep counted records
// inside the frame.
int payloadEnd(const FrameView &frame);

// Upper-case hexadecimal of `count` bytes read from `first` up to `first +
// count - 1`, most significant (highest offset) first: the form of a value
// that travels low byte first.
QString hexLowFirst(const FrameView &frame, int first, int count);

// A tag an answer names, by its UID or address as the report shows it, and
// the blocks the answer read from it (number, value as the report shows it).
struct TagSighting
{
    QString id;
    QList<std::pair<int, QString>> blocks;

    bool operator==(const TagSighting &) const = default;
};

// One block of a read answer among a report's decoded fields ("blocks"):
// its number and its value in hexadecimal as the report writes it.
inline QVariantMap blockValue(int block, const QString &value)
{
    return {{QStringLiteral("block"), block}, {QStringLiteral("value"), value}};
}

namespace tagtext {
inline const QString kIndent = QStringLiteral("    ");
inline const QString kLocked = QStringLiteral(" Locked");
inline const QString kUnlocked = QStringLiteral(" Unlocked");
inline const QString kAddressRequired = QStringLiteral("Address field is required!");
inline const QString kLockBlocksQuestion = QStringLiteral("Locked blocks can not be 'Unlocked', continue?");
inline const QString kBlockNumberNotNumber = QStringLiteral("Block number must be a decimal number.");
inline const QString kNumBlocksNotNumber = QStringLiteral("Number of blocks must be a decimal number.");
} // namespace tagtext

} // namespace vexa
