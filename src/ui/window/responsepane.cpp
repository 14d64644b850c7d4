// VexaHost - the "Reader Response" pane and the message view.
#include "responsepane.h"

#include <algorithm>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

namespace vexa {

namespace {

// What assistive technology sees: one read-only multi-line text, with the
// caret and selection of the pane. The text goes out through the text
// interface, by offsets, never as one value: a full pane holds tens of
// megabytes.
class LinePaneAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit LinePaneAccessible(LinePane *pane) : QAccessibleWidget(pane, QAccessible::EditableText) {}

    LinePane *pane() const { return static_cast<LinePane *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.editable = false;
        s.multiLine = true;
        s.selectableText = true;
        s.focusable = true;
        return s;
    }

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (selectionIndex != 0 || !pane()->hasSelection())
            return;
        const qsizetype a = pane()->offsetOf(pane()->anchorPosition());
        const qsizetype b = pane()->offsetOf(pane()->cursorPosition());
        *startOffset = int(std::min(a, b));
        *endOffset = int(std::max(a, b));
    }
    int selectionCount() const override { return pane()->hasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int selectionIndex) override
    {
        if (selectionIndex == 0)
            pane()->select(pane()->cursorPosition(), pane()->cursorPosition());
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override
    {
        if (selectionIndex == 0)
            pane()->select(pane()->positionAt(qsizetype(startOffset)), pane()->positionAt(qsizetype(endOffset)));
    }
    int cursorPosition() const override { return int(pane()->offsetOf(pane()->cursorPosition())); }
    void setCursorPosition(int position) override
    {
        const LinePane::Position p = pane()->positionAt(qsizetype(position));
        pane()->select(p, p);
    }
    QString text(int startOffset, int endOffset) const override
    {
        const LinePane::Position from = pane()->positionAt(qsizetype(startOffset));
        const LinePane::Position to = pane()->positionAt(qsizetype(endOffset));
        return pane()->store().text(from.line, from.column, to.line, to.column);
    }
    int characterCount() const override { return int(pane()->store().characterCount()); }
    QRect characterRect(int offset) const override
    {
        const LinePane::Position p = pane()->positionAt(qsizetype(offset));
        QRect r = pane()->lineRect(p.line);
        if (r.isEmpty())
            return {};
        const QFontMetrics metrics(pane()->lineFont(pane()->store().style(p.line)));
        const QString line = pane()->store().text(p.line);
        r.setLeft(r.left() + metrics.horizontalAdvance(line.left(p.column)));
        r.setWidth(std::max(1, metrics.horizontalAdvance(p.column < line.size() ? line.at(p.column) : QChar(u' '))));
        return QRect(pane()->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        const QPoint local = pane()->viewport()->mapFromGlobal(point);
        if (!pane()->viewport()->rect().contains(local))
            return -1;
        return int(pane()->offsetOf(pane()->positionAt(local)));
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        pane()->select(pane()->positionAt(qsizetype(startIndex)), pane()->positionAt(qsizetype(endIndex)));
    }
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        // One run per line: its font and colour.
        const LinePane::Position p = pane()->positionAt(qsizetype(offset));
        *startOffset = int(pane()->store().offsetOfLine(p.line));
        *endOffset = int(*startOffset + pane()->store().length(p.line));
        const LineStyle style = pane()->store().style(p.line);
        return QStringLiteral("font-weight:%1;font-style:%2;color:%3;")
            .arg(style == LineStyle::Heading ? QStringLiteral("bold") : QStringLiteral("normal"),
                 style == LineStyle::Heading ? QStringLiteral("italic") : QStringLiteral("normal"),
                 pane()->textColour().name());
    }
};

QAccessibleInterface *linePaneAccessible(const QString &, QObject *object)
{
    if (auto *pane = qobject_cast<LinePane *>(object))
        return new LinePaneAccessible(pane);
    return nullptr;
}

} // namespace

LinePane::LinePane(int fontPixels, QWidget *parent) : QAbstractScrollArea(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(linePaneAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    m_detailFont = QFont(QStringLiteral("Courier New"));
    m_detailFont.setStyleHint(QFont::TypeWriter);
    m_detailFont.setPixelSize(fontPixels);
    setFont(m_detailFont);
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    updateMetrics();
}

void LinePane::setCaps(qsizetype lineCap, qsizetype charCap)
{
    m_store = LineStore(lineCap, charCap);
    clear();
}

QFont LinePane::lineFont(LineStyle style) const
{
    return style == LineStyle::Heading ? m_headingFont : m_detailFont;
}

QColor LinePane::textColour() const
{
    return m_textColour.isValid() ? m_textColour : palette().color(QPalette::Text);
}

void LinePane::setTextColour(const QColor &colour)
{
    m_textColour = colour;
    viewport()->update();
}

void LinePane::updateMetrics()
{
    m_detailFont = font();
    m_headingFont = m_detailFont;
    m_headingFont.setBold(true);
    m_headingFont.setItalic(true);
    const QFontMetricsF detail(m_detailFont), heading(m_headingFont);
    m_lineHeight = std::max(1, int(std::ceil(std::max(detail.lineSpacing(), heading.lineSpacing()))));
    m_ascent = int(std::ceil(std::max(detail.ascent(), heading.ascent())));
    m_widestAdvance = std::max({detail.horizontalAdvance(u'M'), heading.horizontalAdvance(u'M'), 1.0});
    updateScrollBars();
    viewport()->update();
}

qsizetype LinePane::visibleRows() const
{
    return std::max(1, viewport()->height() / m_lineHeight);
}

void LinePane::updateScrollBars() const
{
    const qsizetype rows = visibleRows();
    QScrollBar *v = verticalScrollBar();
    v->setRange(0, int(std::max<qsizetype>(0, m_store.count() - rows)));
    v->setPageStep(int(rows));
    v->setSingleStep(1);
    QScrollBar *h = horizontalScrollBar();
    const int width = int(std::ceil(qreal(m_store.widestLine() + 1) * m_widestAdvance)) + 2 * kMargin;
    h->setRange(0, std::max(0, width - viewport()->width()));
    h->setPageStep(viewport()->width());
    h->setSingleStep(int(std::ceil(m_widestAdvance)));
}

void LinePane::addLine(const QString &text, LineStyle style)
{
    addLines({StyledLine{text, style}});
}

void LinePane::addLines(const QList<StyledLine> &lines)
{
    if (lines.isEmpty())
        return;
    const bool hadLines = m_store.count() > 0;
    const qsizetype droppedBefore = m_store.droppedLines();
    m_blockStarts.push_back(droppedBefore + m_store.keptLines());
    m_store.addOnTop(lines);
    while (m_blockStarts.size() > 1 && m_blockStarts[1] <= m_store.droppedLines())
        m_blockStarts.pop_front();
    QString addedText;
    if (QAccessible::isActive()) {
        addedText = m_store.text(0, 0, lines.size() - 1, LineStore::kMaxLineLength);
        if (hadLines)
            addedText += u'\n';
    }
    linesAdded(lines.size(), droppedBefore, addedText);
}

void LinePane::linesAdded(qsizetype added, qsizetype droppedBefore, const QString &addedText)
{
    // What the operator is looking at or has selected stays put: the new
    // lines push it down, as they push down the text itself.
    const bool atTop = verticalScrollBar()->value() == 0 && m_pendingShift == 0;
    if (hasSelection() || m_cursor != Position{}) {
        m_anchor.line += added;
        m_cursor.line += added;
        if (m_store.droppedLines() != droppedBefore) {
            m_anchor = clamp(m_anchor);
            m_cursor = clamp(m_cursor);
        }
    }
    if (!atTop)
        m_pendingShift += added;
    scheduleLayout();
    if (QAccessible::isActive()) {
        QAccessibleTextInsertEvent event(this, 0, addedText);
        QAccessible::updateAccessibility(&event);
    }
}

void LinePane::scheduleLayout()
{
    if (m_layoutPending)
        return;
    m_layoutPending = true;
    QMetaObject::invokeMethod(this, [this] { flushLayout(); }, Qt::QueuedConnection);
}

void LinePane::flushLayout() const
{
    if (!m_layoutPending)
        return;
    m_layoutPending = false;
    const int value = verticalScrollBar()->value();
    updateScrollBars();
    if (m_pendingShift > 0)
        verticalScrollBar()->setValue(int(std::min<qsizetype>(value + m_pendingShift, verticalScrollBar()->maximum())));
    m_pendingShift = 0;
    viewport()->update();
}

void LinePane::clear()
{
    QString removed;
    if (QAccessible::isActive())
        removed = m_store.text(0, 0, m_store.count() - 1, LineStore::kMaxLineLength);
    const bool hadSelection = hasSelection();
    m_store.clear();
    m_blockStarts.clear();
    m_anchor = m_cursor = Position{};
    m_dragging = false;
    m_layoutPending = false;
    m_pendingShift = 0;
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
    if (QAccessible::isActive() && !removed.isEmpty()) {
        QAccessibleTextRemoveEvent event(this, 0, removed);
        QAccessible::updateAccessibility(&event);
    }
    if (hadSelection)
        emit selectionChanged();
}

QStringList LinePane::linesAsWritten() const
{
    const qsizetype dropped = m_store.droppedLines();
    const qsizetype stored = dropped + m_store.keptLines();
    QStringList written;
    written.reserve(m_store.count());
    if (dropped > 0)
        written << m_store.text(m_store.keptLines()); // the note, below the oldest line
    for (size_t b = 0; b < m_blockStarts.size(); ++b) {
        // The oldest block may have lost its bottom lines to the caps.
        const qsizetype bottom = std::max(m_blockStarts[b], dropped);
        const qsizetype end = b + 1 < m_blockStarts.size() ? m_blockStarts[b + 1] : stored;
        for (qsizetype n = end - 1; n >= bottom; --n)
            written << m_store.text(stored - 1 - n); // line 0 is the last one stored
    }
    return written;
}

QString LinePane::selectedText() const
{
    const Position from = std::min(m_anchor, m_cursor), to = std::max(m_anchor, m_cursor);
    return from == to ? QString() : m_store.text(from.line, from.column, to.line, to.column);
}

LinePane::Position LinePane::clamp(Position position) const
{
    if (m_store.count() == 0)
        return {};
    position.line = std::clamp<qsizetype>(position.line, 0, m_store.count() - 1);
    position.column = std::clamp<qsizetype>(position.column, 0, m_store.length(position.line));
    return position;
}

void LinePane::select(Position anchor, Position cursor)
{
    flushLayout();
    const Position oldAnchor = m_anchor, oldCursor = m_cursor;
    m_anchor = clamp(anchor);
    m_cursor = clamp(cursor);
    ensureVisible(m_cursor);
    viewport()->update();
    if (m_anchor != oldAnchor || m_cursor != oldCursor)
        announceSelection();
}

void LinePane::selectAll()
{
    if (m_store.count() == 0)
        return;
    const qsizetype last = m_store.count() - 1;
    select({0, 0}, {last, m_store.length(last)});
}

void LinePane::copy() const
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(selectedText());
}

void LinePane::announceSelection()
{
    emit selectionChanged();
    if (!QAccessible::isActive())
        return;
    const qsizetype a = offsetOf(m_anchor), c = offsetOf(m_cursor);
    QAccessibleTextSelectionEvent selection(this, int(std::min(a, c)), int(std::max(a, c)));
    QAccessible::updateAccessibility(&selection);
    QAccessibleTextCursorEvent cursor(this, int(c));
    QAccessible::updateAccessibility(&cursor);
}

qsizetype LinePane::offsetOf(Position position) const
{
    position = clamp(position);
    return m_store.offsetOfLine(position.line) + position.column;
}

LinePane::Position LinePane::positionAt(qsizetype offset) const
{
    const qsizetype line = m_store.lineAtOffset(offset);
    return clamp({line, offset - m_store.offsetOfLine(line)});
}

qreal LinePane::columnX(const QString &text, LineStyle style, qsizetype column) const
{
    return QFontMetricsF(lineFont(style)).horizontalAdvance(text.left(column));
}

LinePane::Position LinePane::positionAt(const QPoint &point) const
{
    flushLayout();
    if (m_store.count() == 0)
        return {};
    const qsizetype row = verticalScrollBar()->value() + (point.y() < 0 ? -1 : point.y() / m_lineHeight);
    const qsizetype line = std::clamp<qsizetype>(row, 0, m_store.count() - 1);
    const StyledLine styled = m_store.line(line);
    const QFontMetricsF metrics(lineFont(styled.style));
    const qreal x = point.x() + horizontalScrollBar()->value() - kMargin;
    qreal left = 0;
    qsizetype column = 0;
    for (; column < styled.text.size(); ++column) {
        const qreal advance = metrics.horizontalAdvance(styled.text.at(column));
        if (x < left + advance / 2)
            break;
        left += advance;
    }
    return {line, column};
}

QRect LinePane::lineRect(qsizetype line) const
{
    flushLayout();
    const qsizetype row = line - verticalScrollBar()->value();
    if (line < 0 || line >= m_store.count() || row < 0 || row > visibleRows())
        return {};
    return QRect(kMargin - horizontalScrollBar()->value(), int(row) * m_lineHeight,
                 viewport()->width() + horizontalScrollBar()->value(), m_lineHeight);
}

void LinePane::ensureVisible(Position position)
{
    QScrollBar *v = verticalScrollBar();
    const qsizetype rows = visibleRows();
    if (position.line < v->value())
        v->setValue(int(position.line));
    else if (position.line >= v->value() + rows)
        v->setValue(int(position.line - rows + 1));
    QScrollBar *h = horizontalScrollBar();
    const StyledLine styled = m_store.line(position.line);
    const int x = int(columnX(styled.text, styled.style, position.column)) + kMargin;
    if (x - kMargin < h->value())
        h->setValue(x - kMargin);
    else if (x + kMargin > h->value() + viewport()->width())
        h->setValue(x + kMargin - viewport()->width());
}

void LinePane::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const QColor colour = textColour();
    const QColor highlight = palette().color(QPalette::Highlight);
    const QColor highlighted = palette().color(QPalette::HighlightedText);
    const Position from = std::min(m_anchor, m_cursor), to = std::max(m_anchor, m_cursor);
    const qsizetype first = verticalScrollBar()->value();
    const qsizetype last = std::min(m_store.count(), first + visibleRows() + 1);
    const qreal left = kMargin - horizontalScrollBar()->value();
    for (qsizetype line = first; line < last; ++line) {
        const StyledLine styled = m_store.line(line);
        const int top = int(line - first) * m_lineHeight;
        painter.setFont(lineFont(styled.style));
        painter.setPen(colour);
        painter.drawText(QPointF(left, top + m_ascent), styled.text);
        if (from != to && line >= from.line && line <= to.line) {
            const qsizetype start = line == from.line ? from.column : 0;
            const qsizetype end = line == to.line ? to.column : styled.text.size();
            const qreal x0 = left + columnX(styled.text, styled.style, start);
            qreal x1 = left + columnX(styled.text, styled.style, end);
            if (line != to.line)
                x1 += m_widestAdvance / 2; // the line break is selected too
            const QRectF band(x0, top, x1 - x0, m_lineHeight);
            painter.fillRect(band, highlight);
            painter.save();
            painter.setClipRect(band);
            painter.setPen(highlighted);
            painter.drawText(QPointF(left, top + m_ascent), styled.text);
            painter.restore();
        }
        if (hasFocus() && line == m_cursor.line) {
            const qreal x = left + columnX(styled.text, styled.style, m_cursor.column);
            painter.setPen(colour);
            painter.drawLine(QPointF(x, top), QPointF(x, top + m_lineHeight - 1));
        }
    }
}

void LinePane::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    m_layoutPending = true;
    flushLayout();
}

void LinePane::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateMetrics();
    else if (event->type() == QEvent::PaletteChange)
        viewport()->update();
}

void LinePane::moveCursor(Position to, bool keepAnchor)
{
    to = clamp(to);
    select(keepAnchor ? m_anchor : to, to);
}

bool LinePane::handleMovementKey(QKeyEvent *event)
{
    struct Move
    {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey extend;
        int kind;
    };
    enum { Left, Right, Up, Down, PageUp, PageDown, LineStart, LineEnd, Top, Bottom };
    static const Move moves[] = {
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, Left},
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, Right},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, Up},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, Down},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, PageUp},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, PageDown},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, LineStart},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, LineEnd},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, Top},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, Bottom},
    };
    for (const Move &m : moves) {
        const bool extend = event->matches(m.extend);
        if (!extend && !event->matches(m.move))
            continue;
        if (m_store.count() == 0)
            return true;
        Position p = m_cursor;
        const qsizetype page = visibleRows();
        const qsizetype last = m_store.count() - 1;
        switch (m.kind) {
        case Left:
            if (p.column > 0)
                --p.column;
            else if (p.line > 0)
                p = {p.line - 1, m_store.length(p.line - 1)};
            break;
        case Right:
            if (p.column < m_store.length(p.line))
                ++p.column;
            else if (p.line < last)
                p = {p.line + 1, 0};
            break;
        case Up: p.line = std::max<qsizetype>(0, p.line - 1); break;
        case Down: p.line = std::min(last, p.line + 1); break;
        case PageUp: p.line = std::max<qsizetype>(0, p.line - page); break;
        case PageDown: p.line = std::min(last, p.line + page); break;
        case LineStart: p.column = 0; break;
        case LineEnd: p.column = m_store.length(p.line); break;
        case Top: p = {}; break;
        case Bottom: p = {last, m_store.length(last)}; break;
        }
        moveCursor(p, extend);
        return true;
    }
    return false;
}

void LinePane::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copy();
        event->accept();
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        event->accept();
    } else if (handleMovementKey(event)) {
        event->accept();
    } else {
        // Return, Enter and everything else go on to the window.
        event->ignore();
    }
}

void LinePane::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    const Position p = positionAt(event->position().toPoint());
    select(event->modifiers() & Qt::ShiftModifier ? m_anchor : p, p);
    m_dragging = true;
}

void LinePane::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging)
        return QAbstractScrollArea::mouseMoveEvent(event);
    // positionAt() reaches the line above or below the viewport, and
    // select() scrolls to it, so dragging past an edge scrolls on.
    select(m_anchor, positionAt(event->position().toPoint()));
}

void LinePane::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_dragging)
        return QAbstractScrollArea::mouseReleaseEvent(event);
    m_dragging = false;
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && hasSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void LinePane::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mouseDoubleClickEvent(event);
    // The word (or run of the same kind of character) under the pointer.
    const Position p = positionAt(event->position().toPoint());
    const QString text = m_store.text(p.line);
    if (text.isEmpty())
        return;
    const qsizetype at = std::min(p.column, text.size() - 1);
    const auto kind = [&](qsizetype i) {
        const QChar c = text.at(i);
        return c.isLetterOrNumber() || c == u'_' ? 0 : c.isSpace() ? 1 : 2;
    };
    qsizetype start = at, end = at + 1;
    while (start > 0 && kind(start - 1) == kind(at))
        --start;
    while (end < text.size() && kind(end) == kind(at))
        ++end;
    select({p.line, start}, {p.line, end});
    m_dragging = false;
}

void LinePane::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *copyAction = menu.addAction(tr("&Copy"), this, &LinePane::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    QAction *allAction = menu.addAction(tr("Select &All"), this, &LinePane::selectAll);
    allAction->setShortcut(QKeySequence::SelectAll);
    allAction->setEnabled(m_store.count() > 0);
    menu.exec(event->globalPos());
}

void LinePane::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void LinePane::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

ResponsePane::ResponsePane(QWidget *parent) : LinePane(12, parent)
{
    setTextColour(QColor(0, 0, 255));
}

QList<StyledLine> ResponsePane::reportLines(const Report &report, const QString &clockText)
{
    QList<StyledLine> block;
    for (const ReportLine &line : vexa::reportLines(report, clockText))
        block.append({line.text, line.heading ? LineStyle::Heading : LineStyle::Detail});
    return block;
}

void ResponsePane::writeHeading(const QString &text, const QString &clockText)
{
    addLine(clockText + QStringLiteral(" -  ") + text, LineStyle::Heading);
}

void ResponsePane::writeReport(const Report &report, const QString &clockText)
{
    addLines(reportLines(report, clockText));
}

} // namespace vexa
