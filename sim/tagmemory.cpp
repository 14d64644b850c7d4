// vexa-sim - what an ISO/IEC 15693 tag is built as and what its memory holds.
#include "tagmemory.h"

namespace vexa::sim {

namespace {

constexpr Iso15693Kind kKinds[] = {
    {"iso-28x4", 28, 4, 0x01}, {"iso-64x4", 64, 4, 0x02}, {"iso-80x4", 80, 4, 0x03},
    {"iso-8x8", 8, 8, 0x07},   {"iso-32x8", 32, 8, 0x08},
};

constexpr uint8_t kCcMagic = 0xE1;
constexpr uint8_t kCcVersionReadWrite = 0x40; // mapping 1.0, read and write open
// MLEN is one byte counting 8-byte units: a 4-byte container covers this much.
constexpr int kMaxCcMemory = 255 * 8;
constexpr uint8_t kNdefTlv = 0x03;
constexpr uint8_t kTerminatorTlv = 0xFE;

// The prefixes of the URI record type that a phone expands, by code. A URI
// that starts with none of them is stored whole with code 0.
const struct
{
    uint8_t code;
    const char *prefix;
} kUriPrefixes[] = {
    {0x01, "http://www."}, {0x02, "https://www."}, {0x03, "http://"},
    {0x04, "https://"},    {0x05, "tel:"},         {0x06, "mailto:"},
};

QByteArray tlv(uint8_t type, const QByteArray &value)
{
    QByteArray bytes(1, char(type));
    if (value.size() < 0xFF) {
        bytes.append(char(value.size()));
    } else {
        bytes.append(char(0xFF));
        bytes.append(char(value.size() >> 8));
        bytes.append(char(value.size() & 0xFF));
    }
    return bytes + value;
}

} // namespace

std::optional<Iso15693Kind> iso15693Kind(const QString &name)
{
    for (const Iso15693Kind &kind : kKinds)
        if (name.compare(QLatin1String(kind.name), Qt::CaseInsensitive) == 0)
            return kind;
    return std::nullopt;
}

QStringList iso15693KindNames()
{
    QStringList names;
    for (const Iso15693Kind &kind : kKinds)
        names << QLatin1String(kind.name);
    return names;
}

std::optional<MemoryContent> memoryContent(const QString &name)
{
    const QString lower = name.toLower();
    if (lower == QLatin1String("empty"))
        return MemoryContent::Empty;
    if (lower == QLatin1String("cc"))
        return MemoryContent::CapabilityContainer;
    if (lower == QLatin1String("ndef"))
        return MemoryContent::Ndef;
    return std::nullopt;
}

QString defaultNdefUri()
{
    return QStringLiteral("https://example.com");
}

QByteArray memoryBytes(const Iso15693Tag &tag)
{
    QByteArray bytes;
    for (uint64_t value : tag.blocks)
        bytes.append(lowFirst(value, tag.blockSize));
    return bytes;
}

void setMemoryBytes(Iso15693Tag &tag, const QByteArray &bytes)
{
    for (int b = 0; b < tag.blockCount(); ++b) {
        uint64_t value = 0;
        for (int i = tag.blockSize - 1; i >= 0; --i) {
            const qsizetype at = qsizetype(b) * tag.blockSize + i;
            value = (value << 8) | (at < bytes.size() ? uint8_t(bytes.at(at)) : 0);
        }
        tag.blocks[size_t(b)] = value;
    }
}

QByteArray ndefUriMessage(const QString &uri)
{
    QByteArray rest = uri.toUtf8();
    uint8_t code = 0;
    qsizetype taken = 0;
    for (const auto &entry : kUriPrefixes) {
        const QByteArray prefix(entry.prefix);
        if (prefix.size() > taken && rest.startsWith(prefix)) {
            code = entry.code;
            taken = prefix.size();
        }
    }
    const QByteArray payload = char(code) + rest.mid(taken);
    const bool shortRecord = payload.size() <= 0xFF;
    // Message begin, message end, short record when it fits, TNF 1 (well known).
    QByteArray record(1, char(shortRecord ? 0xD1 : 0xC1));
    record.append(char(1)); // type length
    if (shortRecord) {
        record.append(char(payload.size()));
    } else {
        for (int shift = 24; shift >= 0; shift -= 8)
            record.append(char((payload.size() >> shift) & 0xFF));
    }
    record.append('U');
    return record + payload;
}

QString fillMemory(Iso15693Tag &tag, MemoryContent content, const QString &uri)
{
    const int size = tag.blockCount() * tag.blockSize;
    QByteArray bytes;
    if (content != MemoryContent::Empty) {
        if (size > kMaxCcMemory)
            return QStringLiteral("a capability container of 4 bytes covers at most %1 bytes, the tag holds %2")
                .arg(kMaxCcMemory)
                .arg(size);
        bytes.append(char(kCcMagic));
        bytes.append(char(kCcVersionReadWrite));
        bytes.append(char(size / 8));
        bytes.append('\0');
        const QByteArray message =
            content == MemoryContent::Ndef ? ndefUriMessage(uri.isEmpty() ? defaultNdefUri() : uri) : QByteArray();
        bytes.append(tlv(kNdefTlv, message));
        bytes.append(char(kTerminatorTlv));
        if (bytes.size() > size)
            return QStringLiteral("the capability container and NDEF message take %1 bytes, the tag holds %2")
                .arg(bytes.size())
                .arg(size);
    }
    bytes.append(QByteArray(size - bytes.size(), '\0'));
    setMemoryBytes(tag, bytes);
    return {};
}

} // namespace vexa::sim
