// VexaHost - the capability container, the TLVs and where a message goes
// in a Type 5 tag's memory (layouts in ndef.h).
#include "ndef.h"

#include <algorithm>

namespace vexa::ndef {

namespace {

constexpr uint8_t kNullTlv = 0x00;
constexpr uint8_t kNdefTlv = 0x03;
constexpr uint8_t kTerminatorTlv = 0xFE;
constexpr int kMaxTlvLength = 0xFFFE;
constexpr uint8_t kMultipleBlockRead = 0x01;

uint8_t at(const QByteArray &bytes, int i)
{
    return uint8_t(bytes[i]);
}

QString hexByte(uint8_t b)
{
    return QString::asprintf("%02X", b);
}

// The first TLV that is an NDEF message or the terminator, after NULL and
// proprietary ones. `lengthBytes` 0 for a terminator.
struct TlvWalk
{
    int offset = -1;
    uint8_t tag = 0;
    int lengthBytes = 0;
    int length = 0;
    QString problem;
};

TlvWalk walkTlvs(const QByteArray &memory, int from, int end)
{
    TlvWalk w;
    int p = from;
    while (p < end) {
        const uint8_t tag = at(memory, p);
        if (tag == kNullTlv) {
            ++p;
            continue;
        }
        if (tag == kTerminatorTlv) {
            w.offset = p;
            w.tag = tag;
            return w;
        }
        if (p + 1 >= end) {
            w.problem = QStringLiteral("The TLV at byte %1 has no length byte before the end of the data area.").arg(p);
            return w;
        }
        int length = at(memory, p + 1);
        int lengthBytes = 1;
        if (length == 0xFF) {
            if (p + 3 >= end) {
                w.problem = QStringLiteral("The TLV at byte %1 has its three-byte length cut by the end of the data area.")
                                .arg(p);
                return w;
            }
            length = at(memory, p + 2) << 8 | at(memory, p + 3);
            lengthBytes = 3;
        }
        if (tag == kNdefTlv) {
            w.offset = p;
            w.tag = tag;
            w.lengthBytes = lengthBytes;
            w.length = length;
            return w;
        }
        // Proprietary TLVs (FD) and any others a tag may hold: the length
        // says where the next begins.
        p += 1 + lengthBytes + length;
    }
    w.problem = QStringLiteral("No NDEF message TLV before the end of the data area (byte %1).").arg(end);
    return w;
}

} // namespace

namespace {

QByteArray reversed(const QByteArray &bytes)
{
    QByteArray r = bytes;
    std::reverse(r.begin(), r.end());
    return r;
}

} // namespace

QString blockValueText(const QByteArray &blockBytes)
{
    return QString::fromLatin1(reversed(blockBytes).toHex().toUpper());
}

std::optional<QByteArray> blockBytes(const QString &valueText, int blockSize)
{
    if (valueText.size() != 2 * blockSize)
        return std::nullopt;
    for (QChar c : valueText)
        if (!(c.isDigit() && c.unicode() < 128) && !QStringLiteral("abcdefABCDEF").contains(c))
            return std::nullopt;
    return reversed(QByteArray::fromHex(valueText.toLatin1()));
}

QByteArray CapabilityContainer::bytes() const
{
    QByteArray b(size, '\0');
    b[0] = char(magic);
    b[1] = char((majorVersion & 3) << 6 | (minorVersion & 3) << 4 | (readAccess & 3) << 2 | (writeAccess & 3));
    b[3] = char(features);
    if (size == 8) {
        b[6] = char(mlen >> 8);
        b[7] = char(mlen);
    } else {
        b[2] = char(mlen);
    }
    return b;
}

CcResult parseCapabilityContainer(const QByteArray &memory)
{
    CcResult r;
    if (memory.size() < 4) {
        r.problem = QStringLiteral("The memory is too short for a capability container (%1 bytes).").arg(memory.size());
        return r;
    }
    const uint8_t magic = at(memory, 0);
    if (magic != 0xE1 && magic != 0xE2) {
        r.problem = QStringLiteral("No capability container: byte 0 is %1, not E1 or E2.").arg(hexByte(magic));
        return r;
    }
    CapabilityContainer cc;
    cc.magic = magic;
    const uint8_t access = at(memory, 1);
    cc.majorVersion = access >> 6;
    cc.minorVersion = access >> 4 & 3;
    cc.readAccess = access >> 2 & 3;
    cc.writeAccess = access & 3;
    cc.features = at(memory, 3);
    if (cc.majorVersion != 1) {
        r.problem = QStringLiteral("The capability container is of version %1.%2; only version 1 is read.")
                        .arg(cc.majorVersion)
                        .arg(cc.minorVersion);
        return r;
    }
    cc.mlen = at(memory, 2);
    if (cc.mlen == 0) {
        if (memory.size() < 8) {
            r.problem = QStringLiteral("The memory ends inside the 8-byte capability container.");
            return r;
        }
        cc.size = 8;
        cc.mlen = at(memory, 6) << 8 | at(memory, 7);
        if (cc.mlen == 0) {
            r.problem = QStringLiteral("The capability container gives a data area of 0 bytes.");
            return r;
        }
    }
    r.cc = cc;
    return r;
}

CapabilityContainer format(int blockCount, int blockSize)
{
    CapabilityContainer cc;
    const int total = std::max(0, blockCount * blockSize);
    cc.magic = blockCount > 256 ? 0xE2 : 0xE1;
    cc.features = kMultipleBlockRead;
    // MLEN counts the whole memory, the CC included, as phones and tag
    // makers write it; past what one byte holds, the 8-byte CC carries it.
    cc.mlen = std::min(0xFFFF, total / 8);
    if (cc.mlen > 0xFF)
        cc.size = 8;
    return cc;
}

int readableEnd(const CapabilityContainer &cc, int memorySize)
{
    return int(std::min<qint64>(memorySize, qint64(cc.size) + 8 * qint64(cc.mlen)));
}

int writableEnd(const CapabilityContainer &cc, int memorySize)
{
    return int(std::min<qint64>(memorySize, std::max<qint64>(cc.size, 8 * qint64(cc.mlen))));
}

TagContent readTag(const QByteArray &memory)
{
    TagContent t;
    const CcResult cc = parseCapabilityContainer(memory);
    if (!cc.cc) {
        t.problem = cc.problem;
        return t;
    }
    t.cc = cc.cc;
    const int end = readableEnd(*cc.cc, int(memory.size()));
    const TlvWalk w = walkTlvs(memory, cc.cc->size, end);
    if (!w.problem.isEmpty()) {
        t.problem = w.problem;
        return t;
    }
    if (w.tag == kTerminatorTlv) {
        t.problem = QStringLiteral("No NDEF message: the terminator TLV at byte %1 comes first.").arg(w.offset);
        return t;
    }
    t.tlvOffset = w.offset;
    t.length = w.length;
    const int start = w.offset + 1 + w.lengthBytes;
    t.present = std::clamp(end - start, 0, w.length);
    if (t.present < w.length) {
        t.problem = QStringLiteral("The NDEF message at byte %1 claims %2 bytes, but the data area ends after %3 of them.")
                        .arg(w.offset)
                        .arg(w.length)
                        .arg(t.present);
        return t;
    }
    t.message = decodeMessage(memory.mid(start, w.length));
    return t;
}

Encoded wrapTlv(const QByteArray &message)
{
    if (message.size() > kMaxTlvLength)
        return {{}, QStringLiteral("The NDEF message takes %1 bytes; a TLV holds at most %2.")
                        .arg(message.size())
                        .arg(kMaxTlvLength)};
    QByteArray tlv(1, char(kNdefTlv));
    if (message.size() < 0xFF) {
        tlv += char(message.size());
    } else {
        tlv += char(0xFF);
        tlv += char(message.size() >> 8);
        tlv += char(message.size() & 0xFF);
    }
    return {tlv + message, {}};
}

Layout layout(const TagLayout &tag, const QByteArray &message)
{
    const auto refuse = [](const QString &why) { return Layout{{}, {}, why}; };
    if (tag.blockSize < 1 || tag.blockSize > 32 || tag.blockCount < 1 || tag.blockCount > 65536)
        return refuse(QStringLiteral("A tag of %1 blocks of %2 bytes cannot hold an NDEF message.")
                          .arg(tag.blockCount)
                          .arg(tag.blockSize));
    const int total = tag.blockCount * tag.blockSize;
    if (tag.memory.size() != total)
        return refuse(QStringLiteral("%1 bytes of memory were read; the tag has %2.").arg(tag.memory.size()).arg(total));
    if (tag.locked.size() != tag.blockCount)
        return refuse(QStringLiteral("The lock states of %1 blocks were read; the tag has %2.")
                          .arg(tag.locked.size())
                          .arg(tag.blockCount));

    CapabilityContainer cc;
    int start = 0;
    if (tag.format) {
        cc = format(tag.blockCount, tag.blockSize);
        start = cc.size;
    } else {
        const CcResult parsed = parseCapabilityContainer(tag.memory);
        if (!parsed.cc)
            return refuse(parsed.problem + QStringLiteral(" Format the tag to write one."));
        cc = *parsed.cc;
        if (cc.writeAccess != 0)
            return refuse(QStringLiteral("The capability container does not allow writing (write access %1).")
                              .arg(cc.writeAccess));
        // Keep the NULL and proprietary TLVs a tag holds before its message.
        const TlvWalk w = walkTlvs(tag.memory, cc.size, readableEnd(cc, total));
        start = w.offset >= 0 ? w.offset : cc.size;
    }
    const int end = writableEnd(cc, total);

    const Encoded tlv = wrapTlv(message);
    if (!tlv.refusal.isEmpty())
        return refuse(tlv.refusal);
    if (start + tlv.bytes.size() > end)
        return refuse(QStringLiteral("The NDEF message takes %1 bytes with its TLV header; the tag holds %2 from byte %3.")
                          .arg(tlv.bytes.size())
                          .arg(std::max(0, end - start))
                          .arg(start));
    QByteArray placed = tlv.bytes;
    if (start + placed.size() < end)
        placed += char(kTerminatorTlv);
    Layout l;
    l.memory = tag.memory;
    if (tag.format)
        l.memory.replace(0, cc.size, cc.bytes());
    l.memory.replace(start, placed.size(), placed);

    for (int b = 0; b < tag.blockCount; ++b) {
        const QByteArray now = l.memory.mid(b * tag.blockSize, tag.blockSize);
        if (now == tag.memory.mid(b * tag.blockSize, tag.blockSize))
            continue;
        if (tag.locked[b]) {
            return refuse(QStringLiteral("Block %1 is locked; the NDEF message needs to change it.").arg(b));
        }
        l.writes.append({b, now});
    }
    return l;
}

} // namespace vexa::ndef
