// VexaHost - the tag log as CSV (RFC 4180: a header row, one row per tag,
// CRLF line ends, fields quoted where they must be; UTF-8; ISO 8601 times
// with their offset from UTC) or as a spreadsheet (.xlsx, the same columns
// and texts, counts and rates as numbers), and a file export that never
// holds the event loop long: rows go out a slice at a time from a timer,
// the spreadsheet is packed on a thread of its own, and the result
// replaces the file as a whole, so an export cut short or failed leaves the
// old file as it was.
#pragma once

#include <memory>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimeZone>
#include <QTimer>

class QThread;

#include "core/session/taglog.h"

namespace vexa {

namespace tagcsv {
QByteArray header();
// One record, CRLF included; the read rate as at `nowMs`.
QByteArray row(const TagLog::Row &row, qint64 nowMs, const QTimeZone &zone);
// A field as RFC 4180 wants it: quoted when it holds a comma, a quote or a
// line break, its quotes doubled.
QByteArray field(const QString &text);
// ISO 8601 with milliseconds and the offset of `zone` ("+00:00" for UTC).
QByteArray isoTime(qint64 ms, const QTimeZone &zone);
// The whole log at once (for small logs and tests).
QByteArray text(const TagLog &log, qint64 nowMs, const QTimeZone &zone);
} // namespace tagcsv

class SpreadsheetWriter;

class TagLogExport : public QObject
{
    Q_OBJECT
public:
    // Longest a slice of rows may take; the loop gets its turn between.
    static constexpr int kSliceMs = 20;

    enum class Format { Csv, Spreadsheet };

    explicit TagLogExport(const TagLog &log, QObject *parent = nullptr);
    ~TagLogExport() override;

    // A spreadsheet for a name ending in ".xlsx" (any case), else CSV.
    static Format formatFor(const QString &path);
    // Exports the rows there now to `path`; rows that come later wait for the
    // next export. False (and nothing started) while one runs.
    bool start(const QString &path, qint64 nowMs, const QTimeZone &zone = QTimeZone::systemTimeZone());
    void cancel();
    bool running() const { return m_timer.isActive() || m_packer; }
    // Rows written so far of those to write.
    qint64 done() const { return m_next - m_fromId; }
    qint64 total() const { return m_endId - m_fromId; }
    // The longest slice so far, in milliseconds.
    qint64 longestSliceMs() const { return m_longestSliceMs; }

signals:
    void progress(qint64 done, qint64 total);
    // An empty reason: the file was written.
    void finished(const QString &reason);

private:
    void slice();

    const TagLog &m_log;
    QTimer m_timer;
    QString m_path;
    QTimeZone m_zone;
    QByteArray m_text;
    std::unique_ptr<SpreadsheetWriter> m_sheet; // while a spreadsheet is made
    QThread *m_packer = nullptr;
    QByteArray m_packed; // written by the packing thread until it ends
    QString m_packProblem;
    qint64 m_nowMs = 0;
    qint64 m_fromId = 0, m_next = 0, m_endId = 0;
    qint64 m_longestSliceMs = 0;
};

} // namespace vexa
