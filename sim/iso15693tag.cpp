// vexa-sim - one ISO/IEC 15693 tag answering the reader's commands.
//
// Parameters as they follow the UID (or byte 6 without one), answers as
// payload from frame byte 6; values low byte first:
//   20 View One Block      block          value (4 or 8 bytes), lock flag, block
//   23 View Many Blocks    first, N       0, N, N x (block, value of 4 bytes)
//   2B Get system info     -              flags 0F, UID (8), DSFID, AFI,
//                                         blocks - 1, block size - 1, IC ref
//   21 Program One Block   block, value   -    (the value as wide as a block)
//   24 Program Many Blocks first, N, N values of 4 bytes    -
//   27 Program AFI  afi   29 Program DSFID  dsfid   22 Lock One Block  block
//   28 Lock AFI           2A Lock DSFID                     -
//   2C View Lock Status    first, N       0, first, N, N lock flags
// The multi-block frames carry 4-byte values, so a tag with 8-byte blocks
// refuses 23 and 24 (0x03), as it refuses a Program One Block value that is
// not as wide as its blocks. A range past the last block gives 0x10, a write
// to a locked block, AFI or DSFID 0x12, locking what is locked 0x11. A
// refused command changes nothing, multi-block writes included.
#include "tags.h"

namespace vexa::sim {

Iso15693Tag::Iso15693Tag(uint64_t id, int count, int size)
    : uid(id), blockSize(size), blocks(size_t(count), 0), locked(size_t(count), 0)
{
}

bool Iso15693Tag::answersAfi(uint8_t requested) const
{
    const int family = requested >> 4;
    const int subfamily = requested & 0x0F;
    return (family == 0 || family == afi >> 4) && (subfamily == 0 || subfamily == (afi & 0x0F));
}

QByteArray lowFirst(uint64_t value, int count)
{
    QByteArray bytes(count, '\0');
    for (int i = 0; i < count; ++i)
        bytes[i] = char((value >> (8 * i)) & 0xFF);
    return bytes;
}

namespace iso15693 {

namespace {

constexpr int kMultiBlockValue = 4;

uint64_t valueAt(const QByteArray &bytes, int first, int count)
{
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | uint8_t(bytes.at(first + i));
    return value;
}

Answer ok(const QByteArray &payload = {})
{
    return {0, payload};
}

Answer tooShort()
{
    return readerError(kUndefinedError);
}

// Blocks first .. first + count - 1 all exist.
bool inRange(const Iso15693Tag &tag, int first, int count)
{
    return first + count <= tag.blockCount();
}

bool anyLocked(const Iso15693Tag &tag, int first, int count)
{
    for (int b = first; b < first + count; ++b)
        if (tag.locked[size_t(b)])
            return true;
    return false;
}

Answer viewOneBlock(const Iso15693Tag &tag, const QByteArray &p)
{
    const int block = uint8_t(p.at(0));
    if (!inRange(tag, block, 1))
        return tagError(kBlockNotAvailable);
    QByteArray payload = lowFirst(tag.blocks[size_t(block)], tag.blockSize);
    payload.append(char(tag.locked[size_t(block)] ? 1 : 0));
    payload.append(char(block));
    return ok(payload);
}

Answer viewManyBlocks(const Iso15693Tag &tag, const QByteArray &p)
{
    const int first = uint8_t(p.at(0));
    const int count = uint8_t(p.at(1));
    if (!inRange(tag, first, count))
        return tagError(kBlockNotAvailable);
    if (tag.blockSize != kMultiBlockValue)
        return tagError(kOptionNotSupported);
    QByteArray payload;
    payload.append('\0');
    payload.append(char(count));
    for (int b = first; b < first + count; ++b) {
        payload.append(char(b));
        payload.append(lowFirst(tag.blocks[size_t(b)], kMultiBlockValue));
    }
    return ok(payload);
}

Answer systemInformation(const Iso15693Tag &tag)
{
    QByteArray payload;
    payload.append(char(0x0F)); // DSFID, AFI, memory size and IC reference follow
    payload.append(lowFirst(tag.uid, kUidSize));
    payload.append(char(tag.dsfid));
    payload.append(char(tag.afi));
    payload.append(char(tag.blockCount() - 1));
    payload.append(char(tag.blockSize - 1));
    payload.append(char(tag.icReference));
    return ok(payload);
}

Answer programOneBlock(Iso15693Tag &tag, const QByteArray &p)
{
    if (p.size() < 2)
        return tooShort();
    const int block = uint8_t(p.at(0));
    if (!inRange(tag, block, 1))
        return tagError(kBlockNotAvailable);
    if (p.size() - 1 != tag.blockSize)
        return tagError(kOptionNotSupported);
    if (tag.locked[size_t(block)])
        return tagError(kBlockLocked);
    tag.blocks[size_t(block)] = valueAt(p, 1, tag.blockSize);
    return ok();
}

Answer programManyBlocks(Iso15693Tag &tag, const QByteArray &p)
{
    const int first = uint8_t(p.at(0));
    const int count = uint8_t(p.at(1));
    if (p.size() < 2 + kMultiBlockValue * count)
        return tooShort();
    if (!inRange(tag, first, count))
        return tagError(kBlockNotAvailable);
    if (tag.blockSize != kMultiBlockValue)
        return tagError(kOptionNotSupported);
    if (anyLocked(tag, first, count))
        return tagError(kBlockLocked);
    for (int i = 0; i < count; ++i)
        tag.blocks[size_t(first + i)] = valueAt(p, 2 + kMultiBlockValue * i, kMultiBlockValue);
    return ok();
}

Answer lockOneBlock(Iso15693Tag &tag, const QByteArray &p)
{
    const int block = uint8_t(p.at(0));
    if (!inRange(tag, block, 1))
        return tagError(kBlockNotAvailable);
    if (tag.locked[size_t(block)])
        return tagError(kBlockAlreadyLocked);
    tag.locked[size_t(block)] = 1;
    return ok();
}

Answer writeByte(uint8_t &field, bool locked, const QByteArray &p)
{
    if (locked)
        return tagError(kBlockLocked);
    field = uint8_t(p.at(0));
    return ok();
}

Answer lockByte(bool &locked)
{
    if (locked)
        return tagError(kBlockAlreadyLocked);
    locked = true;
    return ok();
}

Answer lockStatus(const Iso15693Tag &tag, const QByteArray &p)
{
    const int first = uint8_t(p.at(0));
    const int count = uint8_t(p.at(1));
    if (!inRange(tag, first, count))
        return tagError(kBlockNotAvailable);
    QByteArray payload;
    payload.append('\0');
    payload.append(char(first));
    payload.append(char(count));
    for (int b = first; b < first + count; ++b)
        payload.append(char(tag.locked[size_t(b)] ? 1 : 0));
    return ok(payload);
}

// Parameter bytes a command needs at the least.
int minimumParameters(uint8_t code)
{
    switch (code) {
    case 0x20: case 0x21: case 0x22: case 0x27: case 0x29: return 1;
    case 0x23: case 0x24: case 0x2C: return 2;
    default: return 0;
    }
}

} // namespace

bool handles(uint8_t code)
{
    return code == kInventory || (code >= 0x20 && code <= 0x24) || (code >= 0x27 && code <= 0x2C);
}

Answer execute(Iso15693Tag &tag, uint8_t code, const QByteArray &p)
{
    if (p.size() < minimumParameters(code))
        return tooShort();
    switch (code) {
    case 0x20: return viewOneBlock(tag, p);
    case 0x23: return viewManyBlocks(tag, p);
    case 0x2B: return systemInformation(tag);
    case 0x21: return programOneBlock(tag, p);
    case 0x24: return programManyBlocks(tag, p);
    case 0x27: return writeByte(tag.afi, tag.afiLocked, p);
    case 0x29: return writeByte(tag.dsfid, tag.dsfidLocked, p);
    case 0x22: return lockOneBlock(tag, p);
    case 0x28: return lockByte(tag.afiLocked);
    case 0x2A: return lockByte(tag.dsfidLocked);
    case 0x2C: return lockStatus(tag, p);
    default: return readerError(kNotSupported);
    }
}

} // namespace iso15693

} // namespace vexa::sim
