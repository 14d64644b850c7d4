// vexa-sim - the tags in the reader's field and which of them a command
// reaches.
//
// A command that names a tag (ISO/IEC 15693 with the UID flag 0x10 and the
// UID, least significant byte first, before the parameters; Tag-it with the
// flag 0x10 and the 4-byte tag address) reaches that tag or, when it is not
// in the field, draws status 2, code 0x01. A command that names none reaches
// the first tag of its family in the field's order, the one nearest the
// antenna: a reader talks to the first tag that answers. Inventories and the
// Tag-it SID reads ask every tag of the family, in the field's order; the
// ISO/IEC 14443-A "Read UID" (0x40) reports the first card:
//   40 Read UID      00          0, UID length L, L UID bytes as sent
// Tag commands of no family get status 2, code 0x02. An answer that would
// not fit one frame is refused with status 2, code 0x04.
#pragma once

#include <vector>
#include <QString>

#include "tags.h"

namespace vexa::sim {

class TagCollection : public TagField
{
public:
    static constexpr int kMaxTags = 16;

    std::optional<Answer> answer(const TagRequest &request) override;
    int airTimeUs(const TagRequest &request) const override;

    // Puts a tag in the field, last; the reason when it cannot be (field
    // full, a tag of that family with that id already there).
    QString add(const Tag &tag);
    // Takes out every tag whose tagId() is `id` (any case); how many.
    int remove(const QString &id);
    void clear() { m_tags.clear(); }
    const std::vector<Tag> &tags() const { return m_tags; }
    // The first ISO/IEC 15693 or Tag-it tag whose tagId() is `id` (any
    // case): the tags with blocks; nullptr when there is none.
    Tag *withBlocks(const QString &id);

private:
    Answer iso15693(const TagRequest &request);
    Answer tagit(const TagRequest &request);
    Answer iso14443() const;
    template <typename T>
    T *first();

    std::vector<Tag> m_tags;
};

} // namespace vexa::sim
