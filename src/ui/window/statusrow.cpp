// VexaHost - the status bar's panels, side by side, never overlapping.
#include "statusrow.h"

#include <algorithm>
#include <numeric>

#include <QEvent>
#include <QLabel>

namespace vexa {

StatusPanelRow::StatusPanelRow(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StatusPanelRow::addPanel(QLabel *panel, int designedWidth, bool fixed, int yieldOrder)
{
    panel->setParent(this);
    m_panels.append({panel, designedWidth, fixed, yieldOrder});
    updateGeometry();
}

int StatusPanelRow::textWidth(const Panel &panel) const
{
    const QLabel *label = panel.label;
    // One blank's room either side, as the panels of the design had.
    return label->fontMetrics().horizontalAdvance(label->text()) + 2 * label->frameWidth() + 2 * label->margin() +
           label->fontMetrics().horizontalAdvance(QLatin1Char(' ')) + 2;
}

int StatusPanelRow::preferredWidth(const Panel &panel) const
{
    return panel.fixed ? panel.designed : std::max(panel.designed, textWidth(panel));
}

int StatusPanelRow::floorWidth(const Panel &panel) const
{
    if (panel.fixed)
        return panel.designed;
    if (panel.yieldOrder > 0)
        return 2 * panel.label->frameWidth() + 4;
    return textWidth(panel);
}

QSize StatusPanelRow::sizeHint() const
{
    int width = kSpacing * std::max<int>(0, int(m_panels.size()) - 1);
    int height = 0;
    for (const Panel &p : m_panels) {
        width += preferredWidth(p);
        height = std::max(height, p.label->sizeHint().height());
    }
    return {width, height};
}

QSize StatusPanelRow::minimumSizeHint() const
{
    int width = kSpacing * std::max<int>(0, int(m_panels.size()) - 1);
    for (const Panel &p : m_panels)
        width += floorWidth(p);
    return {width, sizeHint().height()};
}

bool StatusPanelRow::event(QEvent *event)
{
    // A panel's new text asks for a new layout.
    if (event->type() == QEvent::LayoutRequest)
        arrange();
    return QWidget::event(event);
}

void StatusPanelRow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    arrange();
}

void StatusPanelRow::arrange()
{
    const int n = int(m_panels.size());
    if (n == 0)
        return;
    QList<int> widths(n);
    for (int i = 0; i < n; ++i)
        widths[i] = preferredWidth(m_panels[i]);
    const int available = width() - kSpacing * (n - 1);
    int excess = std::accumulate(widths.begin(), widths.end(), 0) - available;

    auto shrink = [&](int i, int floor) {
        const int by = std::clamp(widths[i] - floor, 0, std::max(excess, 0));
        widths[i] -= by;
        excess -= by;
    };
    QList<int> yielding;
    for (int i = 0; i < n; ++i)
        if (m_panels[i].yieldOrder > 0)
            yielding.append(i);
    std::sort(yielding.begin(), yielding.end(),
              [this](int a, int b) { return m_panels[a].yieldOrder < m_panels[b].yieldOrder; });
    for (int i : yielding)
        shrink(i, std::min(widths[i], textWidth(m_panels[i])));
    for (int i = 0; i < n && excess > 0; ++i)
        if (!m_panels[i].fixed)
            shrink(i, std::min(widths[i], textWidth(m_panels[i])));
    for (int i : yielding)
        shrink(i, floorWidth(m_panels[i]));
    if (excess < 0)
        widths[n - 1] -= excess; // the last panel takes what is left

    int x = 0;
    for (int i = 0; i < n; ++i) {
        m_panels[i].label->setGeometry(x, 0, widths[i], height());
        x += widths[i] + kSpacing;
    }
}

} // namespace vexa
