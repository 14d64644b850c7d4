// VexaHost - a small Tx or Rx light on the status bar.
#include "statuslight.h"

#include <QPainter>

namespace vexa {

StatusLight::StatusLight(const QColor &litColour, QWidget *parent) : QWidget(parent), m_colour(litColour)
{
    setFixedSize(9, 9);
    m_off.setSingleShot(true);
    m_off.setInterval(60);
    connect(&m_off, &QTimer::timeout, this, [this] { setLit(false); });
}

void StatusLight::setLit(bool lit)
{
    if (lit == m_lit)
        return;
    m_lit = lit;
    update();
}

void StatusLight::flash()
{
    setLit(true);
    m_off.start();
}

void StatusLight::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::darkGray, 1));
    p.setBrush(m_lit ? m_colour : m_colour.darker(400));
    p.drawEllipse(rect().adjusted(0, 0, -1, -1));
}

void LightsPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    drawFrame(&p);
    const QRect area = contentsRect();
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(area.adjusted(3, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tx"));
    p.drawText(area.adjusted(43, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Rx"));
}

} // namespace vexa
