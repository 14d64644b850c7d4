// VexaHost - the "Reader Response" pane and the message view.
//
// Both show the newest line first. The response pane takes whole reports:
// a time-stamped heading in bold italics, the detail lines under it and an
// optional empty separator line; the message view takes single lines at its
// top. The lines live in a LineStore and the pane paints only the rows in
// sight, so a report costs the same however long Repeat has been running.
#pragma once

#include <deque>

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QStringList>

#include "core/util/linestore.h"
#include "core/wire/report.h"

namespace vexa {

class LinePane : public QAbstractScrollArea
{
    Q_OBJECT
public:
    // A place in the text: line (0 = top) and column in that line.
    struct Position
    {
        qsizetype line = 0;
        qsizetype column = 0;
        auto operator<=>(const Position &) const = default;
    };

    explicit LinePane(int fontPixels, QWidget *parent = nullptr);

    // Puts one line, or a block of lines (the first topmost), at the top.
    void addLine(const QString &text, LineStyle style = LineStyle::Detail);
    void addLines(const QList<StyledLine> &lines);
    void clear();
    QStringList lines() const { return m_store.lines(); }
    // The lines in the order they were written: the drop note, then each
    // block that addLines() put on top, the oldest block first, each block
    // top to bottom as it reads in the pane.
    QStringList linesAsWritten() const;
    const LineStore &store() const { return m_store; }
    // Replaces the caps (and empties the pane); LineStore has the defaults.
    void setCaps(qsizetype lineCap, qsizetype charCap = LineStore::kDefaultCharCap);

    // How a line is drawn; printing uses the same.
    QFont lineFont(LineStyle style) const;
    QColor textColour() const;
    void setTextColour(const QColor &colour);

    bool hasSelection() const { return m_anchor != m_cursor; }
    QString selectedText() const;
    Position cursorPosition() const { return m_cursor; }
    Position anchorPosition() const { return m_anchor; }
    void select(Position anchor, Position cursor);
    void selectAll();
    void copy() const;

    // Character offsets in the whole text (lines joined by '\n'), for
    // assistive technology.
    qsizetype offsetOf(Position position) const;
    Position positionAt(qsizetype offset) const;
    // The line and column under a point of the viewport.
    Position positionAt(const QPoint &point) const;
    QRect lineRect(qsizetype line) const;

signals:
    void selectionChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void linesAdded(qsizetype added, qsizetype droppedBefore, const QString &addedText);
    void updateMetrics();
    void updateScrollBars() const;
    // Scroll bars follow new lines once per turn of the event loop: every
    // change of their range costs a queued call of the scroll area's own.
    void scheduleLayout();
    void flushLayout() const;
    qsizetype visibleRows() const;
    qreal columnX(const QString &text, LineStyle style, qsizetype column) const;
    Position clamp(Position position) const;
    void moveCursor(Position to, bool keepAnchor);
    void ensureVisible(Position position);
    bool handleMovementKey(QKeyEvent *event);
    void announceSelection();

    LineStore m_store;
    // Where each block starts, oldest first, counted in lines stored since
    // the last clear() (the store's dropped and kept lines together; a block
    // starts at its bottom line). Blocks the store dropped whole are gone.
    std::deque<qsizetype> m_blockStarts;
    QFont m_detailFont;
    QFont m_headingFont;
    QColor m_textColour; // invalid: the palette's text colour
    int m_lineHeight = 1;
    int m_ascent = 0;
    qreal m_widestAdvance = 1; // per character, monospaced fonts
    Position m_anchor;
    Position m_cursor;
    bool m_dragging = false;
    mutable bool m_layoutPending = false;
    mutable qsizetype m_pendingShift = 0; // lines to scroll down by when not at the top
    static constexpr int kMargin = 3;
};

class ResponsePane : public LinePane
{
    Q_OBJECT
public:
    explicit ResponsePane(QWidget *parent = nullptr);

    // The heading-line writer's time stamp is the clock text " hh:nn:ss ".
    void writeReport(const Report &report, const QString &clockText);
    // A heading on its own: " hh:nn:ss  -  text".
    void writeHeading(const QString &text, const QString &clockText);
    // The lines a report adds, top to bottom.
    static QList<StyledLine> reportLines(const Report &report, const QString &clockText);
};

} // namespace vexa
