// VexaHost - the printed response report.
#include "reportprinter.h"

#include <algorithm>

#include <QFontMetricsF>
#include <QPagedPaintDevice>

namespace vexa {

namespace {
// The pane's fonts are sized in screen pixels; on paper a screen pixel is
// taken as 1/96 inch, so a report looks as large as it does on screen.
constexpr qreal kScreenDpi = 96.0;
} // namespace

ReportPrinter::ReportPrinter(const LineStore &lines, const QFont &detailFont, const QFont &headingFont,
                             const QColor &colour)
    : m_lines(lines), m_detailFont(detailFont), m_headingFont(headingFont), m_colour(colour)
{
}

bool ReportPrinter::begin(QPagedPaintDevice *device)
{
    m_device = device;
    m_page = 0;
    if (!m_painter.begin(device))
        return false;
    m_scale = device->logicalDpiY() / kScreenDpi;
    m_painter.scale(m_scale, m_scale);
    // The painter works in screen pixels, so the screen's metrics of the
    // pane's pixel-sized fonts give the line pitch on paper too.
    const QFontMetricsF detail(m_detailFont);
    const QFontMetricsF heading(m_headingFont);
    m_lineHeight = std::max(detail.lineSpacing(), heading.lineSpacing());
    const qreal pageHeight = device->height() / m_scale;
    m_linesPerPage = std::max(1, int(pageHeight / m_lineHeight));
    return true;
}

int ReportPrinter::pageCount() const
{
    const qsizetype lines = m_lines.count();
    return lines == 0 ? 1 : int((lines + m_linesPerPage - 1) / m_linesPerPage);
}

bool ReportPrinter::printPages(int pages)
{
    if (!m_painter.isActive())
        return true;
    const int total = pageCount();
    const qreal width = m_device->width() / m_scale;
    for (int i = 0; i < pages && m_page < total; ++i) {
        if (m_page > 0)
            m_device->newPage();
        const qsizetype first = qsizetype(m_page) * m_linesPerPage;
        const qsizetype last = std::min(m_lines.count(), first + m_linesPerPage);
        m_painter.setPen(m_colour);
        for (qsizetype index = first; index < last; ++index) {
            const StyledLine line = m_lines.line(index);
            m_painter.setFont(line.style == LineStyle::Heading ? m_headingFont : m_detailFont);
            const qreal y = (index - first) * m_lineHeight;
            // No wrapping, as in the pane: what is wider than the page is cut.
            m_painter.drawText(QRectF(0, y, width, m_lineHeight), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                               line.text);
        }
        ++m_page;
    }
    if (m_page < total)
        return false;
    m_painter.end();
    return true;
}

void ReportPrinter::end()
{
    if (m_painter.isActive())
        m_painter.end();
}

} // namespace vexa
