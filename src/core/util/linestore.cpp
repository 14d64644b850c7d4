// VexaHost - the lines of a pane that shows the newest line first.
#include "linestore.h"

#include <algorithm>

namespace vexa {

LineStore::LineStore(qsizetype lineCap, qsizetype charCap)
    : m_lineCap(std::max<qsizetype>(1, lineCap)), m_charCap(std::max<qsizetype>(1, charCap)),
      // Dropping a chunk gives up at most about an eighth of what a cap keeps.
      m_chunkLines(std::clamp<qsizetype>(m_lineCap / 8, 1, 4096)),
      m_chunkChars(std::max<qsizetype>(1, m_charCap / 8))
{
}

void LineStore::addOnTop(const QList<StyledLine> &lines)
{
    // Stored oldest first: the bottom line of the block goes in first.
    for (qsizetype i = lines.size() - 1; i >= 0; --i)
        append(lines[i].text, lines[i].style);
    enforceCaps();
}

void LineStore::addOnTop(const QString &text, LineStyle style)
{
    append(text, style);
    enforceCaps();
}

void LineStore::clear()
{
    m_chunks.clear();
    m_kept = m_dropped = m_chars = m_everChars = m_everLines = m_widest = 0;
}

void LineStore::append(QStringView text, LineStyle style)
{
    text = text.first(std::min(text.size(), kMaxLineLength));
    if (m_chunks.empty() || qsizetype(m_chunks.back().ends.size()) == m_chunkLines
        || m_chunks.back().text.size() >= m_chunkChars) {
        if (!m_chunks.empty())
            m_chunks.back().text.squeeze(); // full: give back the growth reserve
        Chunk chunk;
        chunk.charBase = m_everChars;
        chunk.lineBase = m_everLines;
        chunk.ends.reserve(size_t(m_chunkLines));
        m_chunks.push_back(std::move(chunk));
    }
    Chunk &chunk = m_chunks.back();
    const qsizetype start = chunk.text.size();
    chunk.text.append(text);
    for (qsizetype i = start; i < chunk.text.size(); ++i) {
        const QChar c = chunk.text.at(i);
        if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            chunk.text[i] = u' ';
    }
    chunk.ends.push_back(uint32_t(chunk.text.size()) | (style == LineStyle::Heading ? kHeadingBit : 0u));
    ++m_kept;
    ++m_everLines;
    m_chars += text.size() + 1;
    m_everChars += text.size() + 1;
    m_widest = std::max(m_widest, text.size());
}

void LineStore::enforceCaps()
{
    while (m_chunks.size() > 1 && (m_kept > m_lineCap || m_chars > m_charCap)) {
        const Chunk &oldest = m_chunks.front();
        const qsizetype lines = qsizetype(oldest.ends.size());
        m_kept -= lines;
        m_dropped += lines;
        m_chars -= oldest.text.size() + lines;
        m_chunks.pop_front();
    }
}

QString LineStore::dropNote() const
{
    return QStringLiteral("    ... %1 older lines dropped: the pane keeps at most %2 lines.")
        .arg(m_dropped)
        .arg(m_lineCap);
}

std::pair<const LineStore::Chunk *, qsizetype> LineStore::locate(qsizetype index) const
{
    const qsizetype serial = m_chunks.front().lineBase + (m_kept - 1 - index);
    const auto next = std::partition_point(m_chunks.begin(), m_chunks.end(),
                                           [&](const Chunk &c) { return c.lineBase <= serial; });
    const Chunk &chunk = *std::prev(next);
    return {&chunk, serial - chunk.lineBase};
}

qsizetype LineStore::startIn(const Chunk &chunk, qsizetype slot)
{
    return slot == 0 ? 0 : endIn(chunk, slot - 1);
}

qsizetype LineStore::olderChars(const Chunk &chunk, qsizetype slot) const
{
    return chunk.charBase - m_chunks.front().charBase + startIn(chunk, slot) + slot;
}

StyledLine LineStore::line(qsizetype index) const
{
    if (index < 0 || index >= count())
        return {};
    if (index == m_kept)
        return {dropNote(), LineStyle::Detail};
    const auto [chunk, slot] = locate(index);
    const qsizetype start = startIn(*chunk, slot);
    return {chunk->text.mid(start, endIn(*chunk, slot) - start),
            (chunk->ends[size_t(slot)] & kHeadingBit) ? LineStyle::Heading : LineStyle::Detail};
}

qsizetype LineStore::length(qsizetype index) const
{
    if (index < 0 || index >= count())
        return 0;
    if (index == m_kept)
        return dropNote().size();
    const auto [chunk, slot] = locate(index);
    return endIn(*chunk, slot) - startIn(*chunk, slot);
}

QStringList LineStore::lines() const
{
    QStringList result;
    result.reserve(count());
    for (qsizetype i = 0; i < count(); ++i)
        result << text(i);
    return result;
}

qsizetype LineStore::characterCount() const
{
    if (count() == 0)
        return 0;
    // Each kept line brings a separator; the last line shown has none.
    return m_dropped > 0 ? m_chars + dropNote().size() : m_chars - 1;
}

qsizetype LineStore::offsetOfLine(qsizetype index) const
{
    if (index <= 0)
        return 0;
    if (index >= m_kept)
        return m_chars;
    const auto [chunk, slot] = locate(index);
    const qsizetype ownChars = endIn(*chunk, slot) - startIn(*chunk, slot) + 1;
    return m_chars - olderChars(*chunk, slot) - ownChars;
}

qsizetype LineStore::lineAtOffset(qsizetype offset) const
{
    if (count() == 0 || offset <= 0)
        return 0;
    if (offset >= m_chars)
        return count() - 1; // the drop note, or the end of the last line
    // Counted from the bottom, the offset falls in the newest line whose
    // older lines hold fewer than `fromBottom` characters.
    const qsizetype fromBottom = m_chars - offset;
    const qsizetype base = m_chunks.front().charBase;
    auto chunkIt = std::partition_point(m_chunks.begin(), m_chunks.end(),
                                        [&](const Chunk &c) { return c.charBase - base < fromBottom; });
    const Chunk &chunk = *std::prev(chunkIt);
    qsizetype lo = 0, hi = qsizetype(chunk.ends.size()); // first slot whose older chars reach fromBottom
    while (lo < hi) {
        const qsizetype mid = (lo + hi) / 2;
        if (olderChars(chunk, mid) < fromBottom)
            lo = mid + 1;
        else
            hi = mid;
    }
    const qsizetype fromOldest = chunk.lineBase - m_chunks.front().lineBase + lo - 1;
    return m_kept - 1 - fromOldest;
}

QString LineStore::text(qsizetype fromLine, qsizetype fromColumn, qsizetype toLine, qsizetype toColumn) const
{
    QString result;
    if (count() == 0)
        return result;
    fromLine = std::clamp<qsizetype>(fromLine, 0, count() - 1);
    toLine = std::clamp<qsizetype>(toLine, 0, count() - 1);
    for (qsizetype i = fromLine; i <= toLine; ++i) {
        const QString lineText = text(i);
        const qsizetype from = i == fromLine ? std::clamp<qsizetype>(fromColumn, 0, lineText.size()) : 0;
        const qsizetype to = i == toLine ? std::clamp<qsizetype>(toColumn, from, lineText.size()) : lineText.size();
        result += QStringView(lineText).sliced(from, to - from);
        if (i != toLine)
            result += u'\n';
    }
    return result;
}

} // namespace vexa
