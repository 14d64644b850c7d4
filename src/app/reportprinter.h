// VexaHost - prints a pane's lines page after page: the response report.
//
// The lines keep the pane's fonts and colour. Pages are drawn a few at a
// time, so that the caller can keep the window alive and show progress
// while a report of many thousand pages goes out.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>

#include "util/linestore.h"

class QPagedPaintDevice;

namespace vexa {

class ReportPrinter
{
public:
    ReportPrinter(const LineStore &lines, const QFont &detailFont, const QFont &headingFont, const QColor &colour);

    // Starts the job on `device`; false when the device cannot be painted on.
    bool begin(QPagedPaintDevice *device);
    // Draws up to `pages` more pages; true once every page is drawn and the
    // job is closed.
    bool printPages(int pages);
    // Ends the job early (the pages drawn so far stay drawn).
    void end();

    int linesPerPage() const { return m_linesPerPage; }
    int pageCount() const;
    int pagesPrinted() const { return m_page; }

private:
    const LineStore &m_lines;
    QFont m_detailFont;
    QFont m_headingFont;
    QColor m_colour;
    QPagedPaintDevice *m_device = nullptr;
    QPainter m_painter;
    qreal m_scale = 1;
    qreal m_lineHeight = 1;
    int m_linesPerPage = 1;
    int m_page = 0;
};

} // namespace vexa
