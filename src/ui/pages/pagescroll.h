// VexaHost - a tab page whose command list and option groups scroll.
//
// At the main window's design size and smaller, a command with many fields
// (eight Tag-it data blocks, the ISO write grid) would otherwise squeeze
// every field and caption to a few pixels. In a scroll area each keeps its
// natural height and the page scrolls instead.
#pragma once

#include <QScrollArea>

namespace vexa {

class PageScrollArea : public QScrollArea
{
    Q_OBJECT
public:
    // Fills `page` with a scroll area holding `content` (which has a layout).
    static PageScrollArea *wrap(QWidget *page, QWidget *content);

    // Never narrower than the widest group of the content, shown or hidden,
    // plus the scroll bar: captions are never clipped, and the page keeps
    // its width when another command shows other groups.
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

private:
    explicit PageScrollArea(QWidget *parent);
    int neededWidth() const;
};

} // namespace vexa
