// VexaHost - NDEF messages on ISO/IEC 15693 tags (NFC Forum Type 5).
//
// Memory order: byte 0 of block 0 first, then byte 1 ... of block 0, then
// block 1; the first data byte of a block write on the wire is the block's
// byte 0. A block's value as the codecs carry it (reports, the Tag Log,
// typed data) is hexadecimal with the high byte first, which is that order
// reversed: value "12345678" is memory 78 56 34 12.
//
// Capability container (CC), at memory byte 0:
//   0  E1 (block numbers of one byte) or E2 (two-byte block numbers)
//   1  version (bits 7-6 major, 5-4 minor), read access (3-2), write
//      access (1-0): 0 always, 1 reserved, 2 proprietary, 3 never
//   2  MLEN: data area in units of 8 bytes; 00 means the 8-byte form
//   3  features: bit 0 multiple block read, bit 3 lock block, bit 4 special
//      frame
//   8-byte form only: 4-5 reserved, 6-7 MLEN, high byte first
// Then TLVs: 00 NULL (no length), 03 NDEF message, FD proprietary, FE
// terminator (no length); a length is one byte, or FF and two bytes (high
// first) for 255 and more.
//
// Record: header (MB 80, ME 40, CF 20, SR 10, IL 08, TNF bits 2-0), type
// length, payload length (1 byte with SR, else 4, high first), ID length
// (with IL), type, ID, payload.
#pragma once

#include <optional>
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace vexa::ndef {

// A block's value text (high byte first) from its bytes in memory order,
// and back; nothing unless the text is exactly 2 * blockSize hexadecimal
// digits (a short value is not guessed at).
QString blockValueText(const QByteArray &blockBytes);
std::optional<QByteArray> blockBytes(const QString &valueText, int blockSize);

struct CapabilityContainer
{
    uint8_t magic = 0xE1;
    int majorVersion = 1;
    int minorVersion = 0;
    int readAccess = 0;
    int writeAccess = 0;
    int mlen = 0; // in units of 8 bytes
    uint8_t features = 0;
    int size = 4; // 4 or 8 bytes

    QByteArray bytes() const;
};

struct CcResult
{
    std::optional<CapabilityContainer> cc;
    QString problem; // why there is none
};
CcResult parseCapabilityContainer(const QByteArray &memory);
// The CC for a tag of `blockCount` blocks of `blockSize` bytes, version
// 1.0, read and write always, multiple block read; MLEN is the whole memory
// / 8, so that writableEnd() is the end of the memory.
CapabilityContainer format(int blockCount, int blockSize);

// MLEN is written by some as the whole memory / 8, by others (and by our
// own earlier releases) as the area after the CC / 8.
// The last memory byte (exclusive) that messages may be read from: MLEN
// taken as counting from the end of the CC, bounded by the memory, which
// reads either form.
int readableEnd(const CapabilityContainer &cc, int memorySize);
// The last memory byte (exclusive) that a message may be written to, the
// one measure of the room: MLEN taken as counting from byte 0, bounded by
// the memory, so what is written lies in the area by either form.
int writableEnd(const CapabilityContainer &cc, int memorySize);

// TNF values.
enum Tnf : uint8_t { Empty = 0, WellKnown = 1, Mime = 2, AbsoluteUri = 3, External = 4, Unknown = 5,
                     Unchanged = 6, Reserved = 7 };

struct Record
{
    uint8_t tnf = Empty;
    bool first = false; // MB
    bool last = false;  // ME
    int chunks = 1;     // more than 1: the payload was joined from chunks
    QByteArray type;
    QByteArray id;
    QByteArray payload;
    QList<Record> nested; // a smart poster's records
    QString text;         // a URI record's URI, a text record's text
    QString language;     // a text record's language code
    bool utf16 = false;   // a text record in UTF-16
    QString problem;      // the payload does not read as its type says
};

struct Message
{
    QList<Record> records;
    QString problem; // where and why decoding stopped; records before it stand
};
Message decodeMessage(const QByteArray &bytes);

// The NDEF message of a tag's memory.
struct TagContent
{
    std::optional<CapabilityContainer> cc;
    int tlvOffset = -1;  // memory byte of the NDEF TLV's 03
    int length = 0;      // as the TLV says
    int present = 0;     // bytes of it inside the memory
    Message message;
    QString problem; // no message, and why
    bool found() const { return tlvOffset >= 0 && problem.isEmpty(); }
};
TagContent readTag(const QByteArray &memory);

// The URI a "U" payload stands for; a prefix code past the table gives
// nothing.
std::optional<QString> uriFromPayload(const QByteArray &payload);

struct Encoded
{
    QByteArray bytes;
    QString refusal;
};
// One-record messages: a URI with its longest known prefix abbreviated,
// or a UTF-8 text with its language code (1 to 63 ASCII letters, digits
// and hyphens).
Encoded encodeUri(const QString &uri);
Encoded encodeText(const QString &text, const QString &language);
// A message as an NDEF TLV (one- or three-byte length), no terminator.
Encoded wrapTlv(const QByteArray &message);

struct TagLayout
{
    int blockSize = 4;
    int blockCount = 0;
    QList<bool> locked; // one per block
    QByteArray memory;  // as read, blockSize * blockCount bytes
    bool format = false;
};

struct BlockWrite
{
    int block = 0;
    QByteArray bytes; // memory order
};

struct Layout
{
    QByteArray memory;         // the memory after the writes
    QList<BlockWrite> writes;  // only blocks whose bytes change, in order
    QString refusal;           // nothing may be written
};
// Places `message` (an NDEF message, not yet a TLV) on the tag: after the
// CC (a new one when formatting), where the first NDEF or terminator TLV
// stood, followed by a terminator when one fits.
Layout layout(const TagLayout &tag, const QByteArray &message);

// The words every front end shows: one line per record, nested records
// indented, then what went wrong.
QStringList messageLines(const Message &message);
QStringList tagLines(const TagContent &content);
// The same as fields for --json.
QVariantMap messageFields(const Message &message);
QVariantMap tagFields(const TagContent &content);

} // namespace vexa::ndef
