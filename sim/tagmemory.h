// vexa-sim - what an ISO/IEC 15693 tag is built as and what its memory holds
// when it comes into the field.
//
// Kinds give the block count, block size and IC reference of common tag
// families under neutral names:
//   iso-28x4  28 blocks of 4 bytes, IC reference 01
//   iso-64x4  64 blocks of 4 bytes, IC reference 02
//   iso-80x4  80 blocks of 4 bytes, IC reference 03
//   iso-8x8    8 blocks of 8 bytes, IC reference 07
//   iso-32x8  32 blocks of 8 bytes, IC reference 08
//
// Contents, in the tag's memory order (byte 0 of block 0 first: the first
// data byte of a block write on the wire, the low byte of a block's value):
//   empty  every byte 0
//   cc     an NFC Forum Type 5 capability container, E1 40 MLEN 00 with MLEN
//          the memory size / 8, then an empty NDEF message TLV 03 00 and the
//          terminator TLV FE
//   ndef   the capability container, then an NDEF message TLV holding one
//          URI record (https://example.com unless told), then FE
// A content covers the whole memory; locks stay as they were.
#pragma once

#include <optional>
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "tags.h"

namespace vexa::sim {

struct Iso15693Kind
{
    const char *name;
    int blocks;
    int blockSize;
    uint8_t icReference;
};

std::optional<Iso15693Kind> iso15693Kind(const QString &name);
QStringList iso15693KindNames();

enum class MemoryContent { Empty, CapabilityContainer, Ndef };

std::optional<MemoryContent> memoryContent(const QString &name);
QString defaultNdefUri();

// The tag's memory as bytes in memory order, and back.
QByteArray memoryBytes(const Iso15693Tag &tag);
void setMemoryBytes(Iso15693Tag &tag, const QByteArray &bytes);

// One NDEF message of one URI record, the shortest standard prefix taken
// out of the URI.
QByteArray ndefUriMessage(const QString &uri);

// Fills the tag's memory with `content` (`uri` for Ndef, empty for the
// default); the reason when it does not fit the tag.
QString fillMemory(Iso15693Tag &tag, MemoryContent content, const QString &uri = {});

} // namespace vexa::sim
