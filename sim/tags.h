// vexa-sim - the transponders that can lie in the reader's field, and what
// one transponder does with a command meant for it.
//
// Values are kept as the host shows them: a block of an ISO/IEC 15693 tag or
// a Tag-it tag is a number whose low byte travels first, a UID or tag address
// likewise. Which tag a command reaches, and the commands that ask the whole
// field (inventories, SID reads, the ISO/IEC 14443-A UID), are the field's
// business (tagcollection.h).
#pragma once

#include <array>
#include <cstdint>
#include <variant>
#include <vector>
#include <QByteArray>
#include <QString>

#include "tagfield.h"

namespace vexa::sim {

// Tag error codes sent with status 1, from the ISO/IEC 15693 error list;
// Tag-it tags report their failures with the same codes.
enum TagError : uint8_t {
    kOptionNotSupported = 0x03,
    kBlockNotAvailable = 0x10,
    kBlockAlreadyLocked = 0x11,
    kBlockLocked = 0x12,
};

struct Iso15693Tag
{
    static constexpr int kMaxBlocks = 256; // the block number is one byte

    uint64_t uid = 0;  // as shown, most significant byte (0xE0) first
    int blockSize = 4; // bytes: 4 or 8
    std::vector<uint64_t> blocks;
    std::vector<uint8_t> locked; // per block, nonzero = locked
    uint8_t afi = 0;
    uint8_t dsfid = 0;
    uint8_t icReference = 0;
    bool afiLocked = false;
    bool dsfidLocked = false;

    Iso15693Tag() = default;
    Iso15693Tag(uint64_t uid, int blockCount, int blockSize);
    int blockCount() const { return int(blocks.size()); }
    // The AFI rule of an inventory: 0 asks every tag; a family nibble or a
    // subfamily nibble of 0 stands for any.
    bool answersAfi(uint8_t requested) const;
};

struct TagitTag
{
    static constexpr int kBlocks = 8;

    uint32_t address = 0;
    uint8_t manufacturer = 0;
    uint16_t version = 0;
    std::array<uint32_t, kBlocks> blocks{};
    std::array<uint8_t, kBlocks> locked{};
};

struct Iso14443Card
{
    QByteArray uid; // 4, 7 or 10 bytes in the order the card sends them
};

using Tag = std::variant<Iso15693Tag, TagitTag, Iso14443Card>;

// The UID or tag address as the host shows it: the id of `tag remove`.
QString tagId(const Tag &tag);

inline Answer tagError(uint8_t code)
{
    return {1, QByteArray(1, char(code))};
}

inline Answer readerError(uint8_t code)
{
    return {2, QByteArray(1, char(code))};
}

// `count` bytes of `value`, low byte first.
QByteArray lowFirst(uint64_t value, int count);

namespace iso15693 {

constexpr uint8_t kInventory = 0x01;
constexpr uint8_t kUidFlag = 0x10; // request flags: a UID precedes the parameters
constexpr int kUidSize = 8;

// The commands of an ISO/IEC 15693 tag (Inventory included).
bool handles(uint8_t code);
// Carries out a command meant for `tag`; `parameters` follow the UID.
Answer execute(Iso15693Tag &tag, uint8_t code, const QByteArray &parameters);

} // namespace iso15693

namespace tagit {

constexpr uint8_t kReadMultiBlockSid = 0x0B;
constexpr uint8_t kReadBlockSid = 0x0C;
constexpr uint8_t kInventory = 0x0D;
constexpr uint8_t kAddressFlag = 0x10; // request flags: a tag address precedes the parameters
constexpr int kAddressSize = 4;
constexpr int kSidRecordSize = 10;

bool handles(uint8_t code);
// The commands that reach one tag and may name it by its address (not the
// SID reads and the inventory, which ask every tag).
bool reachesOneTag(uint8_t code);
Answer execute(TagitTag &tag, uint8_t code, const QByteArray &parameters);
// One record of a SID read: address, lock flag, block number, value.
QByteArray sidRecord(const TagitTag &tag, int block);

} // namespace tagit

} // namespace vexa::sim
