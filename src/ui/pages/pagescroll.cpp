// VexaHost - a tab page whose command list and option groups scroll.
#include "pagescroll.h"

#include <QLayout>
#include <QScrollBar>
#include <QVBoxLayout>

namespace vexa {

PageScrollArea::PageScrollArea(QWidget *parent) : QScrollArea(parent)
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

PageScrollArea *PageScrollArea::wrap(QWidget *page, QWidget *content)
{
    auto *area = new PageScrollArea(page);
    area->setWidget(content);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(area);
    return area;
}

int PageScrollArea::neededWidth() const
{
    QWidget *content = widget();
    if (!content)
        return 0;
    int widest = 0;
    const auto children = content->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *child : children)
        widest = std::max({widest, child->sizeHint().width(), child->minimumSizeHint().width()});
    int width = widest;
    if (const QLayout *layout = content->layout()) {
        const QMargins m = layout->contentsMargins();
        width += m.left() + m.right();
    }
    return width + verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
}

QSize PageScrollArea::minimumSizeHint() const
{
    return {neededWidth(), 6 * fontMetrics().height()};
}

QSize PageScrollArea::sizeHint() const
{
    const int height = widget() ? widget()->sizeHint().height() + 2 * frameWidth() : 0;
    return {neededWidth(), std::max(height, minimumSizeHint().height())};
}

} // namespace vexa
