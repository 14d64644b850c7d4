// vexa-sim - the tags in the reader's field.
#include "tagcollection.h"

#include <algorithm>

#include "airtime.h"

namespace vexa::sim {

namespace {

constexpr uint8_t kReadUid = 0x40;
constexpr int kMaxPayload = 255 - 8;
constexpr int kMaxSidRecords = (kMaxPayload - 1) / tagit::kSidRecordSize;

uint64_t valueAt(const QByteArray &bytes, int count)
{
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | uint8_t(bytes.at(i));
    return value;
}

Answer notFound()
{
    return readerError(kNoTransponder);
}

} // namespace

std::optional<Answer> emptyFieldAnswer(uint8_t code)
{
    switch (code) {
    case iso15693::kInventory: return Answer{0, QByteArray(2, '\0')}; // no error, no tag
    case tagit::kReadMultiBlockSid:
    case tagit::kReadBlockSid:
    case tagit::kInventory: return Answer{0, QByteArray(1, '\0')};
    default: return std::nullopt;
    }
}

QString tagId(const Tag &tag)
{
    if (const auto *iso = std::get_if<Iso15693Tag>(&tag))
        return QString::asprintf("%016llX", static_cast<unsigned long long>(iso->uid));
    if (const auto *tagit = std::get_if<TagitTag>(&tag))
        return QString::asprintf("%08X", tagit->address);
    return QString::fromLatin1(std::get<Iso14443Card>(tag).uid.toHex().toUpper());
}

template <typename T>
T *TagCollection::first()
{
    for (Tag &tag : m_tags)
        if (auto *found = std::get_if<T>(&tag))
            return found;
    return nullptr;
}

QString TagCollection::add(const Tag &tag)
{
    if (int(m_tags.size()) >= kMaxTags)
        return QStringLiteral("the field holds %1 tags already").arg(kMaxTags);
    const QString id = tagId(tag);
    for (const Tag &other : m_tags)
        if (other.index() == tag.index() && tagId(other) == id)
            return QStringLiteral("a tag with the id %1 is in the field already").arg(id);
    m_tags.push_back(tag);
    return {};
}

int TagCollection::remove(const QString &id)
{
    const auto before = m_tags.size();
    std::erase_if(m_tags, [&](const Tag &tag) { return tagId(tag).compare(id, Qt::CaseInsensitive) == 0; });
    return int(before - m_tags.size());
}

Tag *TagCollection::withBlocks(const QString &id)
{
    for (Tag &tag : m_tags)
        if (!std::holds_alternative<Iso14443Card>(tag) && tagId(tag).compare(id, Qt::CaseInsensitive) == 0)
            return &tag;
    return nullptr;
}

int TagCollection::airTimeUs(const TagRequest &request) const
{
    return sim::airTimeUs(request, m_tags);
}

std::optional<Answer> TagCollection::answer(const TagRequest &request)
{
    Answer answer;
    if (iso15693::handles(request.code))
        answer = iso15693(request);
    else if (tagit::handles(request.code))
        answer = tagit(request);
    else if (request.code == kReadUid)
        answer = iso14443();
    else
        answer = readerError(kNotSupported);
    if (answer.payload.size() > kMaxPayload)
        return readerError(kUndefinedError);
    return answer;
}

Answer TagCollection::iso15693(const TagRequest &request)
{
    const QByteArray &p = request.parameters;
    if (request.code == iso15693::kInventory) {
        const uint8_t afi = p.isEmpty() ? 0 : uint8_t(p.at(0));
        QByteArray uids;
        int count = 0;
        for (const Tag &tag : m_tags) {
            const auto *iso = std::get_if<Iso15693Tag>(&tag);
            if (iso && iso->answersAfi(afi)) {
                uids.append(lowFirst(iso->uid, iso15693::kUidSize));
                ++count;
            }
        }
        return {0, QByteArray(1, '\0') + char(count) + uids};
    }

    if (!(request.flags & iso15693::kUidFlag)) {
        auto *tag = first<Iso15693Tag>();
        return tag ? iso15693::execute(*tag, request.code, p) : notFound();
    }
    if (p.size() < iso15693::kUidSize)
        return readerError(kUndefinedError);
    const uint64_t uid = valueAt(p, iso15693::kUidSize);
    for (Tag &tag : m_tags) {
        auto *iso = std::get_if<Iso15693Tag>(&tag);
        if (iso && iso->uid == uid)
            return iso15693::execute(*iso, request.code, p.mid(iso15693::kUidSize));
    }
    return notFound();
}

Answer TagCollection::tagit(const TagRequest &request)
{
    const QByteArray &p = request.parameters;
    if (tagit::reachesOneTag(request.code)) {
        if (!(request.flags & tagit::kAddressFlag)) {
            auto *tag = first<TagitTag>();
            return tag ? tagit::execute(*tag, request.code, p) : notFound();
        }
        if (p.size() < tagit::kAddressSize)
            return readerError(kUndefinedError);
        const auto address = uint32_t(valueAt(p, tagit::kAddressSize));
        for (Tag &tag : m_tags) {
            auto *tagit = std::get_if<TagitTag>(&tag);
            if (tagit && tagit->address == address)
                return tagit::execute(*tagit, request.code, p.mid(tagit::kAddressSize));
        }
        return notFound();
    }

    std::vector<const TagitTag *> tags;
    for (const Tag &tag : m_tags)
        if (const auto *tagit = std::get_if<TagitTag>(&tag))
            tags.push_back(tagit);
    if (tags.empty())
        return *emptyFieldAnswer(request.code);

    QByteArray records;
    int count = 0;
    if (request.code == tagit::kInventory) {
        for (const TagitTag *tag : tags)
            records.append(lowFirst(tag->address, tagit::kAddressSize));
        count = int(tags.size());
    } else {
        // Block SID: one block; multi-block SID: first block and count.
        if (p.size() < (request.code == tagit::kReadBlockSid ? 1 : 2))
            return readerError(kUndefinedError);
        const int firstBlock = uint8_t(p.at(0));
        const int blocks = request.code == tagit::kReadBlockSid ? 1 : uint8_t(p.at(1));
        if (firstBlock + blocks > TagitTag::kBlocks)
            return tagError(kBlockNotAvailable);
        // Every tag, block by block, as many records as one answer holds.
        for (const TagitTag *tag : tags)
            for (int b = firstBlock; b < firstBlock + blocks && count < kMaxSidRecords; ++b, ++count)
                records.append(tagit::sidRecord(*tag, b));
    }
    return {0, char(count) + records};
}

Answer TagCollection::iso14443() const
{
    for (const Tag &tag : m_tags)
        if (const auto *card = std::get_if<Iso14443Card>(&tag))
            return {0, QByteArray(1, '\0') + char(card->uid.size()) + card->uid};
    return notFound();
}

} // namespace vexa::sim
