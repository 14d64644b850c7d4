// VexaHost - the tag log's CSV and its export (see taglogexport.h).
#include "taglogexport.h"

#include <QDateTime>

#include "util/regularfile.h"

namespace vexa {

namespace tagcsv {

QByteArray field(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return bytes;
    QByteArray quoted = bytes;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

QByteArray header()
{
    return QByteArrayLiteral("Family,UID / Address,First Seen,Last Seen,Reads,Reads per Second (10 s),Last Block Values\r\n");
}

namespace {
QByteArray isoTime(qint64 ms, const QTimeZone &zone)
{
    QDateTime at = QDateTime::fromMSecsSinceEpoch(ms, zone);
    // UTC reads "+00:00" like every other zone, not "Z": one form to parse.
    if (at.offsetFromUtc() == 0)
        return at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1() + "+00:00";
    return at.toString(Qt::ISODateWithMs).toLatin1();
}
} // namespace

QByteArray row(const TagLog::Row &r, qint64 nowMs, const QTimeZone &zone)
{
    QByteArray line;
    line.reserve(128);
    line += field(tagFamilyName(r.family)) + ',' + field(r.tag) + ',' + isoTime(r.firstSeenMs, zone) + ','
        + isoTime(r.lastSeenMs, zone) + ',' + QByteArray::number(r.reads) + ','
        + QByteArray::number(TagLog::readsPerSecond(r, nowMs), 'f', 1) + ',' + field(TagLog::blocksText(r)) + "\r\n";
    return line;
}

QByteArray text(const TagLog &log, qint64 nowMs, const QTimeZone &zone)
{
    QByteArray out = header();
    for (int i = 0; i < log.count(); ++i)
        out += row(log.row(i), nowMs, zone);
    return out;
}

} // namespace tagcsv

TagLogExport::TagLogExport(const TagLog &log, QObject *parent) : QObject(parent), m_log(log)
{
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &TagLogExport::slice);
}

bool TagLogExport::start(const QString &path, qint64 nowMs, const QTimeZone &zone)
{
    if (running())
        return false;
    m_path = path;
    m_zone = zone;
    m_nowMs = nowMs;
    m_fromId = m_next = m_log.firstId();
    m_endId = m_log.endId();
    m_longestSliceMs = 0;
    m_text = tagcsv::header();
    m_timer.start();
    return true;
}

void TagLogExport::cancel()
{
    m_timer.stop();
    m_text.clear();
}

void TagLogExport::slice()
{
    QElapsedTimer clock;
    clock.start();
    // Rows dropped or cleared meanwhile are gone; the rest are written as
    // they are now.
    m_next = std::max(m_next, m_log.firstId());
    while (m_next < m_endId && m_next < m_log.endId()) {
        for (int n = 0; n < 256 && m_next < m_endId; ++n, ++m_next)
            if (const TagLog::Row *r = m_log.rowById(m_next))
                m_text += tagcsv::row(*r, m_nowMs, m_zone);
        if (clock.elapsed() >= kSliceMs)
            break;
    }
    const bool last = m_next >= m_endId || m_next >= m_log.endId();
    QString reason;
    if (last) {
        m_timer.stop();
        m_next = m_endId;
        reason = replaceFile(m_path, m_text);
        m_text.clear();
    }
    m_longestSliceMs = std::max(m_longestSliceMs, clock.elapsed());
    emit progress(done(), total());
    if (last)
        emit finished(reason);
}

} // namespace vexa
