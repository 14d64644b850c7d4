// vexa-sim - tags written as one line of text: the lines of a --tags file,
// of "tag add" and of "tag list".
//
//   iso15693 UID [kind=KIND] [blocks=N] [size=4|8] [afi=HH] [dsfid=HH] [ic=HH]
//                [memory=empty|cc|ndef] [uri=URI]
//                [afilock] [dsfidlock] [lock=LIST] [data=V,V,...]
//   tagit ADDRESS [mfr=HH] [version=HHHH] [lock=LIST] [data=V,V,...]
//   iso14443a UID
//
// UID and ADDRESS are hexadecimal as the host shows them, most significant
// digit first: 16 digits for ISO/IEC 15693, 8 for Tag-it, 8, 14 or 20 (4, 7
// or 10 bytes) for ISO/IEC 14443-A. An ISO/IEC 15693 tag has 28 blocks of
// 4 bytes unless told (1 to 256 blocks of 4 or 8 bytes); AFI, DSFID and IC
// reference default to 00, Tag-it manufacturer and version to 0. LIST is
// block numbers and ranges, "0,3-5". KIND (tagmemory.h) stands for the
// block count, block size and IC reference that the other words do not
// give. memory= fills the memory (tagmemory.h); uri= is the URI of an ndef
// memory and implies it. data= gives the blocks from block 0 on as the
// host shows them (up to 8 or 16 hexadecimal digits each), over the
// memory's; the blocks given by neither hold 0. Words may come in any
// order; the family names and hexadecimal digits take either case.
#pragma once

#include <optional>
#include <QString>
#include <QStringList>

#include "tags.h"

namespace vexa::sim {

class TagCollection;

struct TagParse
{
    std::optional<Tag> tag;
    QString error; // set when tag is empty
};

TagParse parseTagLine(const QString &line);

// The line that gives this tag as it is now (memory, locks and all):
// parseTagLine() of it gives the same tag. Data stop at the last block that
// is not 0.
QString tagLine(const Tag &tag);

// "0,3-5" to the block numbers, each below `count`.
std::optional<std::vector<int>> blockList(const QString &text, int count);

// Changes the tag with blocks whose id is `id` as the control lines ask:
// "memory empty|cc|ndef [URI]", "lock LIST", "unlock LIST". The reason
// when it cannot, and then the tag is as it was.
QString changeTag(TagCollection &field, const QString &id, const QString &change);

// The field of a simulator started without --tags or --no-tags.
QStringList defaultTagLines();
void addDefaultTags(TagCollection &field);

// Adds the tags of a file: one tag a line; blank lines and lines starting
// with # are skipped. On the first bad line, false with "FILE:LINE: why".
bool loadTagFile(const QString &path, TagCollection &field, QString *error);
// The same for the text of such a file; `name` stands for the path in errors.
bool loadTagText(const QByteArray &text, const QString &name, TagCollection &field, QString *error);

} // namespace vexa::sim
