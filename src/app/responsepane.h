// VexaHost - the "Reader Response" pane and the message view.
//
// Both show the newest line first. The response pane takes whole reports:
// an optional empty separator line, a time-stamped heading in bold italics,
// and detail lines under the heading; the message view takes single lines
// at its top.
#pragma once

#include <QStringList>
#include <QTextEdit>

#include "link/report.h"

namespace vexa {

class LinePane : public QTextEdit
{
    Q_OBJECT
public:
    LinePane(int fontPixels, QWidget *parent = nullptr);

    // Inserts `text` as line `index` (0 = top); lines below move down.
    void insertLine(int index, const QString &text, bool emphasised = false);
    QStringList lines() const;
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
};

} // namespace vexa
