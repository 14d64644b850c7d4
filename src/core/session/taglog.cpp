// VexaHost - the tag log (see taglog.h).
#include "taglog.h"

#include <algorithm>

#include "core/codecs/iso14443.h"
#include "core/codecs/iso15693.h"
#include "core/codecs/tagit.h"

namespace vexa {

namespace {

qint64 secondOf(qint64 ms)
{
    // Floor, so times before the epoch still fall in their own second.
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

int slotOf(qint64 second)
{
    const int slot = int(second % TagLog::kRateSeconds);
    return slot < 0 ? slot + TagLog::kRateSeconds : slot;
}

void countRead(TagLog::Row &row, qint64 nowMs)
{
    const qint64 second = secondOf(nowMs);
    if (second > row.newestSecond) {
        // Seconds without a read since the newest counted one read zero.
        const qint64 gap = std::min<qint64>(second - row.newestSecond, TagLog::kRateSeconds);
        for (qint64 s = second - gap + 1; s <= second; ++s)
            row.perSecond[size_t(slotOf(s))] = 0;
        row.newestSecond = second;
    }
    // A clock set back counts in the newest second rather than in one the
    // ring has already reused.
    quint32 &slot = row.perSecond[size_t(slotOf(row.newestSecond))];
    if (slot < UINT32_MAX)
        ++slot;
}

void keepBlocks(TagLog::Row &row, const QList<std::pair<int, QString>> &blocks)
{
    for (const auto &[number, value] : blocks) {
        auto at = std::lower_bound(row.blocks.begin(), row.blocks.end(), number,
                                   [](const std::pair<int, QString> &b, int n) { return b.first < n; });
        if (at != row.blocks.end() && at->first == number)
            at->second = value;
        else
            row.blocks.insert(at, {number, value});
    }
}

} // namespace

QString tagFamilyName(ResponseFamily family)
{
    switch (family) {
    case ResponseFamily::Iso15693: return QStringLiteral("ISO/IEC 15693");
    case ResponseFamily::Tagit: return QStringLiteral("Tag-it");
    case ResponseFamily::Iso14443: return QStringLiteral("ISO/IEC 14443-A");
    case ResponseFamily::Management: break;
    }
    return {};
}

QList<TagSighting> tagsNamed(ResponseFamily family, const FrameView &answer, const FrameView &request,
                             int isoBlockLength)
{
    switch (family) {
    case ResponseFamily::Iso15693: return iso15693::tagsNamed(answer, request, isoBlockLength);
    case ResponseFamily::Tagit: return tagit::tagsNamed(answer, request);
    case ResponseFamily::Iso14443: return iso14443::tagsNamed(answer);
    case ResponseFamily::Management: break;
    }
    return {};
}

TagLog::TagLog(int cap, QObject *parent) : QObject(parent), m_cap(std::max(cap, 1)) {}

int TagLog::familyIndex(ResponseFamily family)
{
    switch (family) {
    case ResponseFamily::Iso15693: return 0;
    case ResponseFamily::Tagit: return 1;
    case ResponseFamily::Iso14443: return 2;
    case ResponseFamily::Management: break;
    }
    return -1;
}

void TagLog::record(ResponseFamily family, const QList<TagSighting> &tags, qint64 nowMs)
{
    const int f = familyIndex(family);
    if (f < 0)
        return;
    QList<qint64> counted; // one read per tag and answer
    for (const TagSighting &sighting : tags) {
        if (sighting.id.isEmpty())
            continue;
        Row &row = rowFor(family, sighting.id, nowMs);
        keepBlocks(row, sighting.blocks);
        if (counted.contains(row.id))
            continue;
        counted.append(row.id);
        row.lastSeenMs = nowMs;
        ++row.reads;
        ++m_reads[size_t(f)];
        countRead(row, nowMs);
        if (!std::exchange(row.changed, true))
            m_changed.push_back(row.id);
    }
    // Nobody took the changes (no view open) while rows came and went:
    // forget those of dropped rows, so the list stays within the cap.
    if (m_changed.size() > 2 * size_t(m_cap)) {
        const qint64 first = m_firstId;
        std::erase_if(m_changed, [first](qint64 id) { return id < first; });
    }
}

TagLog::Row &TagLog::rowFor(ResponseFamily family, const QString &tag, qint64 nowMs)
{
    const int f = familyIndex(family);
    QHash<QString, qint64> &ids = m_ids[size_t(f)];
    const auto found = ids.constFind(tag);
    if (found != ids.cend())
        return m_rows[size_t(*found - m_firstId)];
    if (count() >= m_cap)
        dropOldest();
    Row row;
    row.id = endId();
    row.family = family;
    row.tag = tag;
    row.firstSeenMs = row.lastSeenMs = nowMs;
    row.newestSecond = secondOf(nowMs);
    ids.insert(tag, row.id);
    ++m_tags[size_t(f)];
    m_rows.push_back(std::move(row));
    return m_rows.back();
}

void TagLog::dropOldest()
{
    const Row &oldest = m_rows.front();
    const size_t f = size_t(familyIndex(oldest.family));
    m_ids[f].remove(oldest.tag);
    --m_tags[f];
    m_reads[f] -= oldest.reads;
    m_rows.pop_front();
    ++m_firstId;
    ++m_dropped;
}

void TagLog::clear()
{
    m_firstId = endId();
    m_rows.clear();
    m_dropped = 0;
    for (auto &ids : m_ids)
        ids.clear();
    m_tags.fill(0);
    m_reads.fill(0);
    m_changed.clear();
    emit cleared();
}

const TagLog::Row *TagLog::rowById(qint64 id) const
{
    if (id < m_firstId || id >= endId())
        return nullptr;
    return &m_rows[size_t(id - m_firstId)];
}

qint64 TagLog::idOf(ResponseFamily family, const QString &tag) const
{
    const int f = familyIndex(family);
    return f < 0 ? 0 : m_ids[size_t(f)].value(tag, 0);
}

int TagLog::tagCount(ResponseFamily family) const
{
    const int f = familyIndex(family);
    return f < 0 ? count() : m_tags[size_t(f)];
}

qint64 TagLog::readCount(ResponseFamily family) const
{
    const int f = familyIndex(family);
    if (f >= 0)
        return m_reads[size_t(f)];
    return m_reads[0] + m_reads[1] + m_reads[2];
}

QString TagLog::dropNote() const
{
    if (m_dropped == 0)
        return {};
    return QStringLiteral("... %1 older tags dropped: the log keeps at most %2 tags.").arg(m_dropped).arg(m_cap);
}

double TagLog::readsPerSecond(const Row &row, qint64 nowMs)
{
    const qint64 now = secondOf(nowMs);
    const qint64 span = std::clamp<qint64>(now - secondOf(row.firstSeenMs) + 1, 1, kRateSeconds);
    qint64 reads = 0;
    for (qint64 s = now - span + 1; s <= now; ++s)
        if (s <= row.newestSecond && s > row.newestSecond - kRateSeconds)
            reads += row.perSecond[size_t(slotOf(s))];
    return double(reads) / double(span);
}

QString TagLog::blocksText(const Row &row)
{
    QStringList parts;
    parts.reserve(row.blocks.size());
    for (const auto &[number, value] : row.blocks)
        parts << QStringLiteral("%1: %2").arg(number).arg(value);
    return parts.join(QStringLiteral(", "));
}

std::vector<qint64> TagLog::takeChanged()
{
    std::vector<qint64> changed;
    changed.swap(m_changed);
    for (qint64 id : changed)
        if (id >= m_firstId && id < endId())
            m_rows[size_t(id - m_firstId)].changed = false;
    return changed;
}

} // namespace vexa
