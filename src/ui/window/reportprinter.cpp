// VexaHost - the printed response report.
#include "reportprinter.h"

#include <algorithm>

#include <QFontMetricsF>
#include <QLocale>
#include <QPagedPaintDevice>

namespace vexa {

namespace {
// The pane's fonts are sized in screen pixels; on paper a screen pixel is
// taken as 1/96 inch, so a report looks as large as it does on screen.
constexpr qreal kScreenDpi = 96.0;
// Header and footer each take a line, with half a line between them and
// the report.
constexpr qreal kHeaderLines = 1.5;
constexpr qreal kFooterLines = 1.5;
const QColor kHeaderColour(96, 96, 96);
} // namespace

ReportPrinter::ReportPrinter(const LineStore &lines, const QFont &detailFont, const QFont &headingFont,
                             const QColor &colour)
    : m_lines(lines), m_detailFont(detailFont), m_headingFont(headingFont), m_colour(colour),
      m_when(QDateTime::currentDateTime())
{
}

void ReportPrinter::setHeading(const QString &title, const QDateTime &when)
{
    m_title = title;
    m_when = when;
}

bool ReportPrinter::begin(QPagedPaintDevice *device)
{
    m_device = device;
    m_page = 0;
    // Printers and the PDF writer start with margins of their own (some
    // none at all); never less than the minimum on any side.
    const QMarginsF had = device->pageLayout().margins(QPageLayout::Millimeter);
    m_marginsMm = QMarginsF(std::max(had.left(), kMinimumMarginMm), std::max(had.top(), kMinimumMarginMm),
                            std::max(had.right(), kMinimumMarginMm), std::max(had.bottom(), kMinimumMarginMm));
    if (m_marginsMm != had)
        device->setPageMargins(m_marginsMm, QPageLayout::Millimeter);
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
    m_linesPerPage = std::max(1, int(pageHeight / m_lineHeight - kHeaderLines - kFooterLines));
    return true;
}

int ReportPrinter::pageCount() const
{
    const qsizetype lines = m_lines.count();
    return lines == 0 ? 1 : int((lines + m_linesPerPage - 1) / m_linesPerPage);
}

ReportPrinter::Page ReportPrinter::page(int page) const
{
    Page p;
    const QString date = QLocale::c().toString(m_when, QStringLiteral("yyyy-MM-dd HH:mm"));
    p.header = m_title.isEmpty() ? date : QStringLiteral("%1  -  %2").arg(m_title, date);
    p.footer = QStringLiteral("Page %1 of %2").arg(page + 1).arg(pageCount());
    p.firstLine = std::min(m_lines.count(), qsizetype(page) * m_linesPerPage);
    p.lineCount = std::min(m_lines.count(), p.firstLine + m_linesPerPage) - p.firstLine;
    return p;
}

bool ReportPrinter::printPages(int pages)
{
    if (!m_painter.isActive())
        return true;
    const int total = pageCount();
    const qreal width = m_device->width() / m_scale;
    const qreal height = m_device->height() / m_scale;
    const int align = Qt::AlignTop | Qt::TextSingleLine;
    for (int i = 0; i < pages && m_page < total; ++i) {
        if (m_page > 0)
            m_device->newPage();
        const Page page = this->page(m_page);
        m_painter.setPen(kHeaderColour);
        m_painter.setFont(m_detailFont);
        m_painter.drawText(QRectF(0, 0, width, m_lineHeight), Qt::AlignLeft | align, page.header);
        m_painter.drawText(QRectF(0, height - m_lineHeight, width, m_lineHeight), Qt::AlignHCenter | align,
                           page.footer);
        m_painter.setPen(m_colour);
        const qreal top = kHeaderLines * m_lineHeight;
        for (qsizetype n = 0; n < page.lineCount; ++n) {
            const StyledLine line = m_lines.line(page.firstLine + n);
            m_painter.setFont(line.style == LineStyle::Heading ? m_headingFont : m_detailFont);
            // No wrapping, as in the pane: what is wider than the page is cut.
            m_painter.drawText(QRectF(0, top + n * m_lineHeight, width, m_lineHeight), Qt::AlignLeft | align,
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
