// VexaHost - a tag's whole memory as a value: the dump file (JSON that the
// Proxmark3 client also reads and writes, raw .bin), comparing a tag with a
// dump, and the plan of a restore. Pure: bytes in, bytes out; the caller
// reads and replaces files (core/util/regularfile.h) and talks to the tag.
//
// Byte order. A block's bytes are kept in tag memory order: byte 0 first,
// which is the first data byte of a block write on the wire and the first
// byte a read returns. The value a page shows (and the operator types) is
// the same bytes last first: shown "11223344" is memory 44 33 22 11.
// A UID is kept as shown (ISO/IEC 15693 "E0..." first, a Tag-it address as
// its 8 digits); the JSON file holds it the other way round, as the wire
// carries it.
//
// JSON dump (FileType "15693 v4"; "15693 v5" past 255 blocks; "Tag-it"):
//   Created              "VexaHost"
//   FileType             see above
//   Card.uid             8 bytes (Tag-it: 4), low byte first
//   Card.dsfid, .afi, .ic  1 byte each, absent when not read
//   Card.dsfidlock, .afilock  1 byte (00 or 01), absent when not known
//   Card.bytesperpage    1 byte
//   Card.pagescount      1 byte ("15693 v5": 2, low first)
//   Card.locks           one byte per block (01 locked), absent unless every
//                        block's lock state is known
//   blocks.N             block N, bytesperpage bytes in memory order; absent
//                        when the block could not be read
//   VexaHost.family      "ISO/IEC 15693" or "Tag-it"
//   VexaHost.unread.N    why block N could not be read
//   VexaHost.locks.N     true or false: the lock states known, when
//                        Card.locks cannot hold them
// Bytes are hexadecimal text, two digits each, no separator.
#pragma once

#include <cstdint>
#include <optional>
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace vexa::tagdump {

enum class Family { Iso15693, Tagit };

QString familyName(Family family);

// ISO/IEC 15693 numbers blocks in one byte and gives the block size in five bits.
constexpr int kMaxIsoBlocks = 256;
constexpr int kMaxBlockSize = 32;
constexpr int kTagitBlocks = 8;
constexpr int kTagitBlockSize = 4;

struct Block
{
    QByteArray data;            // memory order; empty when not read
    QString unread;             // why not, when data is empty
    std::optional<bool> locked; // unset: not known

    bool isRead() const { return !data.isEmpty(); }
    bool operator==(const Block &) const = default;
};

struct TagDump
{
    Family family = Family::Iso15693;
    QByteArray uid; // as shown; empty when not known
    std::optional<uint8_t> dsfid;
    std::optional<uint8_t> afi;
    std::optional<uint8_t> icReference;
    std::optional<bool> dsfidLocked;
    std::optional<bool> afiLocked;
    int blockSize = 4;
    QList<Block> blocks; // block N at index N

    bool operator==(const TagDump &) const = default;
};

// Why a dump value cannot stand for a tag (sizes out of the family's range,
// a read block of the wrong length), or an empty text.
QString checkDump(const TagDump &dump);

// Hexadecimal of a UID as shown; the shown value of a block in memory order.
QString uidText(const QByteArray &uid);
QString shownValue(const QByteArray &memory);

// ----- Files

struct Encoded
{
    QByteArray bytes;
    QString refusal; // set: nothing was encoded
};

struct Decoded
{
    TagDump dump;
    QString error; // set: names the field and why; dump is empty
};

Encoded toJson(const TagDump &dump);
// Reads our files and the Proxmark3 client's ISO/IEC 15693 dumps ("15693",
// "15693 v2" to "v5").
Decoded fromJson(const QByteArray &bytes);

// The memory bytes in block order; refused while any block is unread.
Encoded toBin(const TagDump &dump);
// A .bin holds no UID, system information or lock states.
Decoded fromBin(const QByteArray &bytes, int blockSize, Family family = Family::Iso15693);

// ----- Comparing a tag with a dump

struct BlockDifference
{
    int block = 0;
    QByteArray tag;
    QByteArray dump;

    bool operator==(const BlockDifference &) const = default;
};

struct Comparison
{
    QString layout; // how family, block size or count differ; empty when alike
    QList<BlockDifference> differing;
    QList<int> unreadOnTag;
    QList<int> unreadInDump;
    bool uidDiffers = false; // told, not part of equality: a copy on another tag is equal

    bool equal() const { return layout.isEmpty() && differing.isEmpty() && unreadOnTag.isEmpty() && unreadInDump.isEmpty(); }
};

Comparison compare(const TagDump &tag, const TagDump &dump);

// ----- Restoring a dump to a tag

struct RestoreOptions
{
    bool anyUid = false;
    bool locks = false;
    bool afi = false;
    bool dsfid = false;
};

struct BlockWrite
{
    int block = 0;
    QByteArray data; // memory order

    bool operator==(const BlockWrite &) const = default;
};

struct RestorePlan
{
    enum class Refusal { None, Invalid, FamilyDiffers, LayoutDiffers, UidDiffers };
    Refusal refusal = Refusal::None;
    QString reason; // the refusal's text

    QList<BlockWrite> writes;    // in block order, only those that differ
    QList<int> skippedLocked;    // differ, but the tag's block is locked
    QList<int> unreadInDump;     // the dump holds no value: left as they are
    QList<int> locks;            // to lock after the writes; never one whose write failed
    std::optional<uint8_t> afi;  // to write
    std::optional<uint8_t> dsfid;
    bool lockAfi = false;
    bool lockDsfid = false;
    QStringList notes;           // asked for but not planned, and why

    bool nothingToDo() const
    {
        return writes.isEmpty() && locks.isEmpty() && !afi && !dsfid && !lockAfi && !lockDsfid;
    }
};

// `tag` is what the tag holds now (its blocks, lock states, AFI and DSFID as
// read); nothing in the plan has been done yet.
RestorePlan planRestore(const TagDump &dump, const TagDump &tag, const RestoreOptions &options);

} // namespace vexa::tagdump
