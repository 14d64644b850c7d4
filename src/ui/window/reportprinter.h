// VexaHost - prints a pane's lines page after page: the response report.
//
// The lines keep the pane's fonts and colour. Every page has a header line
// (the job's title and the date) and its number at the foot, inside margins
// of at least 15 mm. Pages are drawn a few at a time, so that the caller can
// keep the window alive and show progress while a report of many thousand
// pages goes out.
#pragma once

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QMarginsF>
#include <QPainter>

#include "core/util/linestore.h"

class QPagedPaintDevice;

namespace vexa {

class ReportPrinter
{
public:
    // Margins below this on any side are widened to it.
    static constexpr qreal kMinimumMarginMm = 15.0;

    ReportPrinter(const LineStore &lines, const QFont &detailFont, const QFont &headingFont, const QColor &colour);

    // The header's title and date; without it the header shows the date only.
    void setHeading(const QString &title, const QDateTime &when);

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
    // The margins the job was begun with.
    QMarginsF marginsMm() const { return m_marginsMm; }

    // What page `page` (from 0) carries.
    struct Page
    {
        QString header;
        QString footer;
        qsizetype firstLine = 0;
        qsizetype lineCount = 0;
    };
    Page page(int page) const;

private:
    const LineStore &m_lines;
    QFont m_detailFont;
    QFont m_headingFont;
    QColor m_colour;
    QString m_title;
    QDateTime m_when;
    QPagedPaintDevice *m_device = nullptr;
    QPainter m_painter;
    QMarginsF m_marginsMm;
    qreal m_scale = 1;
    qreal m_lineHeight = 1;
    int m_linesPerPage = 1;
    int m_page = 0;
};

} // namespace vexa
