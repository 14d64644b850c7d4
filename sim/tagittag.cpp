// vexa-sim - one Tag-it tag answering the reader's commands.
//
// Parameters as they follow the tag address (or byte 6 without one),
// answers as payload from frame byte 6; values low byte first:
//   05 Read Tag Version     -                  address, manufacturer,
//                                              version (2), 8 blocks, 4 bytes
//   07 Read Block           block              value, lock flag, block
//   03 Write Block          block, value       -
//   04 Lock Block           block              -
//   06 Write and Lock       block, value       -
//   0A Read Multi-block     first, N           0, N, N x (lock flag, block, value)
//   08 Write Multi-block    first, N, N values -
//   09 Lock Multi-block     first, N           -
// The SID reads (0B, 0C) and the inventory (0D) ask every tag at once; the
// field answers them with sidRecord() and the addresses. A range past block 7
// gives 0x10, a write to a locked block 0x12, locking a locked block 0x11.
// A refused command changes nothing, multi-block commands included.
#include "tags.h"

namespace vexa::sim::tagit {

namespace {

uint32_t valueAt(const QByteArray &bytes, int first)
{
    return uint32_t(uint8_t(bytes.at(first))) | uint32_t(uint8_t(bytes.at(first + 1))) << 8
        | uint32_t(uint8_t(bytes.at(first + 2))) << 16 | uint32_t(uint8_t(bytes.at(first + 3))) << 24;
}

Answer ok(const QByteArray &payload = {})
{
    return {0, payload};
}

bool inRange(int first, int count)
{
    return first + count <= TagitTag::kBlocks;
}

bool anyLocked(const TagitTag &tag, int first, int count)
{
    for (int b = first; b < first + count; ++b)
        if (tag.locked[size_t(b)])
            return true;
    return false;
}

Answer version(const TagitTag &tag)
{
    QByteArray payload = lowFirst(tag.address, 4);
    payload.append(char(tag.manufacturer));
    payload.append(lowFirst(tag.version, 2));
    payload.append(char(TagitTag::kBlocks));
    payload.append(char(4));
    return ok(payload);
}

Answer readBlock(const TagitTag &tag, int block)
{
    if (!inRange(block, 1))
        return tagError(kBlockNotAvailable);
    QByteArray payload = lowFirst(tag.blocks[size_t(block)], 4);
    payload.append(char(tag.locked[size_t(block)] ? 1 : 0));
    payload.append(char(block));
    return ok(payload);
}

// Write Block, Write and Lock Block and Write Multi-block: values from p[at].
Answer write(TagitTag &tag, int first, int count, const QByteArray &p, int at, bool lock)
{
    if (!inRange(first, count))
        return tagError(kBlockNotAvailable);
    if (anyLocked(tag, first, count))
        return tagError(kBlockLocked);
    for (int i = 0; i < count; ++i) {
        tag.blocks[size_t(first + i)] = valueAt(p, at + 4 * i);
        if (lock)
            tag.locked[size_t(first + i)] = 1;
    }
    return ok();
}

Answer lock(TagitTag &tag, int first, int count)
{
    if (!inRange(first, count))
        return tagError(kBlockNotAvailable);
    if (anyLocked(tag, first, count))
        return tagError(kBlockAlreadyLocked);
    for (int b = first; b < first + count; ++b)
        tag.locked[size_t(b)] = 1;
    return ok();
}

Answer readMultiBlock(const TagitTag &tag, int first, int count)
{
    if (!inRange(first, count))
        return tagError(kBlockNotAvailable);
    QByteArray payload;
    payload.append('\0');
    payload.append(char(count));
    for (int b = first; b < first + count; ++b) {
        payload.append(char(tag.locked[size_t(b)] ? 1 : 0));
        payload.append(char(b));
        payload.append(lowFirst(tag.blocks[size_t(b)], 4));
    }
    return ok(payload);
}

int minimumParameters(uint8_t code)
{
    switch (code) {
    case 0x07: case 0x04: return 1;
    case 0x0A: case 0x08: case 0x09: return 2;
    case 0x03: case 0x06: return 5;
    default: return 0;
    }
}

} // namespace

bool handles(uint8_t code)
{
    return code >= 0x03 && code <= 0x0D;
}

bool reachesOneTag(uint8_t code)
{
    return handles(code) && code != kReadMultiBlockSid && code != kReadBlockSid && code != kInventory;
}

Answer execute(TagitTag &tag, uint8_t code, const QByteArray &p)
{
    if (p.size() < minimumParameters(code))
        return readerError(kUndefinedError);
    const int block = p.isEmpty() ? 0 : uint8_t(p.at(0));
    const int count = p.size() < 2 ? 0 : uint8_t(p.at(1));
    switch (code) {
    case 0x05: return version(tag);
    case 0x07: return readBlock(tag, block);
    case 0x03: return write(tag, block, 1, p, 1, false);
    case 0x06: return write(tag, block, 1, p, 1, true);
    case 0x04: return lock(tag, block, 1);
    case 0x0A: return readMultiBlock(tag, block, count);
    case 0x08:
        if (p.size() < 2 + 4 * count)
            return readerError(kUndefinedError);
        return write(tag, block, count, p, 2, false);
    case 0x09: return lock(tag, block, count);
    default: return readerError(kNotSupported);
    }
}

QByteArray sidRecord(const TagitTag &tag, int block)
{
    QByteArray record = lowFirst(tag.address, 4);
    record.append(char(tag.locked[size_t(block)] ? 1 : 0));
    record.append(char(block));
    record.append(lowFirst(tag.blocks[size_t(block)], 4));
    return record;
}

} // namespace vexa::sim::tagit
