// VexaHost - the lines of a pane that shows the newest line first.
//
// Lines go in at the top and are kept, with their style, in append order in
// chunks of contiguous UTF-16 text, so adding a line costs the same however
// many the store already holds, and a line costs its characters plus four
// bytes. Caps on the number of lines and characters bound the memory: past
// them the oldest chunk (at the bottom) is dropped whole, and a note below the
// last kept line says how many lines went. Whatever shows the lines (a pane on
// screen, a printed report) reads them back as styled lines from here.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include <QList>
#include <QString>
#include <QStringList>

namespace vexa {

enum class LineStyle : uint8_t {
    Detail,  // plain
    Heading, // bold italic
};

struct StyledLine
{
    QString text;
    LineStyle style = LineStyle::Detail;

    bool operator==(const StyledLine &) const = default;
};

class LineStore
{
public:
    static constexpr qsizetype kDefaultLineCap = 1'000'000;
    // UTF-16 units, 128 MiB of text: bounds a pane of long lines (frames in
    // the message view) as the line cap bounds one of short lines.
    static constexpr qsizetype kDefaultCharCap = 64 * 1024 * 1024;
    // Longer lines are cut; keeps a chunk's offsets inside 31 bits.
    static constexpr qsizetype kMaxLineLength = 65535;

    explicit LineStore(qsizetype lineCap = kDefaultLineCap, qsizetype charCap = kDefaultCharCap);

    // Puts `lines` on top; the first of them becomes line 0. Line breaks
    // inside a text become blanks, so one entry is always one line.
    void addOnTop(const QList<StyledLine> &lines);
    void addOnTop(const QString &text, LineStyle style = LineStyle::Detail);
    void clear();

    // Lines as shown, the drop note included; index 0 is the newest.
    qsizetype count() const { return m_kept + (m_dropped > 0 ? 1 : 0); }
    qsizetype keptLines() const { return m_kept; }
    qsizetype droppedLines() const { return m_dropped; }
    qsizetype lineCap() const { return m_lineCap; }
    StyledLine line(qsizetype index) const;
    QString text(qsizetype index) const { return line(index).text; }
    LineStyle style(qsizetype index) const { return line(index).style; }
    qsizetype length(qsizetype index) const;
    // Length of the longest line stored since the last clear().
    qsizetype widestLine() const { return m_widest; }
    QStringList lines() const;

    // The store as one text: lines top to bottom joined by '\n'. Offsets
    // count UTF-16 units in that text.
    qsizetype characterCount() const;
    qsizetype offsetOfLine(qsizetype index) const;
    qsizetype lineAtOffset(qsizetype offset) const;
    // Text from (fromLine, fromColumn) up to, not including, (toLine, toColumn).
    QString text(qsizetype fromLine, qsizetype fromColumn, qsizetype toLine, qsizetype toColumn) const;

private:
    struct Chunk
    {
        QString text;               // its lines, oldest first, back to back
        std::vector<uint32_t> ends; // end of each line in `text`; top bit: heading
        qsizetype charBase = 0;     // characters (line + separator) stored before it, ever
        qsizetype lineBase = 0;     // lines stored before it, ever
    };
    static constexpr uint32_t kHeadingBit = 0x8000'0000u;

    void append(QStringView text, LineStyle style);
    void enforceCaps();
    QString dropNote() const;
    // Chunk and slot of display line `index` (< m_kept).
    std::pair<const Chunk *, qsizetype> locate(qsizetype index) const;
    static qsizetype startIn(const Chunk &chunk, qsizetype slot);
    static qsizetype endIn(const Chunk &chunk, qsizetype slot) { return qsizetype(chunk.ends[size_t(slot)] & ~kHeadingBit); }
    // Characters (with separators) of kept lines older than `slot` of `chunk`.
    qsizetype olderChars(const Chunk &chunk, qsizetype slot) const;

    qsizetype m_lineCap;
    qsizetype m_charCap;
    qsizetype m_chunkLines;
    qsizetype m_chunkChars;
    std::deque<Chunk> m_chunks;
    qsizetype m_kept = 0;
    qsizetype m_dropped = 0;
    qsizetype m_chars = 0;     // kept lines' characters, one separator each
    qsizetype m_everChars = 0; // the same over every line stored since clear()
    qsizetype m_everLines = 0;
    qsizetype m_widest = 0;
};

} // namespace vexa
