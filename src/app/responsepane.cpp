// VexaHost - the "Reader Response" pane and the message view.
#include "responsepane.h"

#include <QTextBlock>
#include <QTextCursor>

namespace vexa {

LinePane::LinePane(int fontPixels, QWidget *parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setLineWrapMode(QTextEdit::NoWrap);
    setAcceptRichText(false);
    setTabChangesFocus(true);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(fontPixels);
    setFont(font);
    document()->setDefaultFont(font);
    // Lines only ever go in at the top; undo history would just grow.
    document()->setUndoRedoEnabled(false);
}

void LinePane::insertLine(int index, const QString &text, bool emphasised)
{
    QTextDocument *doc = document();
    QTextCursor cursor(doc);
    QTextCharFormat format;
    format.setForeground(textColor());
    format.setFontWeight(emphasised ? QFont::Bold : QFont::Normal);
    format.setFontItalic(emphasised);

    if (index < doc->blockCount()) {
        cursor.setPosition(doc->findBlockByNumber(index).position());
        cursor.insertText(text, format);
        cursor.insertBlock();
    } else {
        // Past the end: the new line becomes the last one.
        cursor.movePosition(QTextCursor::End);
        cursor.insertBlock();
        cursor.insertText(text, format);
    }
}

QStringList LinePane::lines() const
{
    QStringList result;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
        result << block.text();
    // The document always ends in one empty block of its own.
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

ResponsePane::ResponsePane(QWidget *parent) : LinePane(12, parent)
{
    setTextColor(QColor(0, 0, 255));
}

void ResponsePane::writeHeading(const QString &text, const QString &clockText)
{
    insertLine(0, clockText + QStringLiteral(" -  ") + text, true);
}

void ResponsePane::writeReport(const Report &report, const QString &clockText)
{
    if (report.separator)
        insertLine(0, QString());
    if (report.heading)
        writeHeading(*report.heading, clockText);
    for (int i = 0; i < report.lines.size(); ++i)
        insertLine(1 + i, report.lines[i]);
}

} // namespace vexa
