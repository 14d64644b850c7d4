// VexaHost - the tag log's CSV and its export (see taglogexport.h).
#include "taglogexport.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QThread>

#include <xlsxwriter.h>

#include "core/util/regularfile.h"

namespace vexa {

namespace {
const char *const kColumnNames[] = {"Family", "UID / Address", "First Seen", "Last Seen", "Reads",
                                    "Reads per Second (10 s)", "Last Block Values"};
} // namespace

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
    QByteArray line;
    for (const char *name : kColumnNames)
        line += (line.isEmpty() ? "" : ",") + field(QString::fromLatin1(name));
    return line + "\r\n";
}

QByteArray isoTime(qint64 ms, const QTimeZone &zone)
{
    QDateTime at = QDateTime::fromMSecsSinceEpoch(ms, zone);
    // UTC reads "+00:00" like every other zone, not "Z": one form to parse.
    if (at.offsetFromUtc() == 0)
        return at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1() + "+00:00";
    return at.toString(Qt::ISODateWithMs).toLatin1();
}

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

// One workbook with one sheet, written row by row to a file in a folder of
// its own (the library keeps only the current row in memory), packed by
// close() on whatever thread calls it.
class SpreadsheetWriter
{
public:
    SpreadsheetWriter()
    {
        if (!m_folder.isValid())
            return;
        m_file = QFile::encodeName(m_folder.filePath(QStringLiteral("tags.xlsx")));
        m_tmp = QFile::encodeName(m_folder.path());
        lxw_workbook_options options = {};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = m_tmp.data();
        m_book = workbook_new_opt(m_file.constData(), &options);
        if (m_book)
            m_sheet = workbook_add_worksheet(m_book, "Tag Log");
    }
    ~SpreadsheetWriter()
    {
        if (m_book)
            workbook_close(m_book); // an export given up: the folder goes with it
    }
    bool ok() const { return m_sheet != nullptr; }

    void text(int column, const QString &value)
    {
        const QByteArray bytes = value.toUtf8();
        worksheet_write_string(m_sheet, m_row, lxw_col_t(column), bytes.constData(), nullptr);
    }
    void number(int column, double value) { worksheet_write_number(m_sheet, m_row, lxw_col_t(column), value, nullptr); }
    void nextRow() { ++m_row; }

    // Packs the workbook; the file's bytes, or why there are none.
    QByteArray close(QString *reason)
    {
        const lxw_error error = workbook_close(std::exchange(m_book, nullptr));
        if (error != LXW_NO_ERROR) {
            *reason = QString::fromUtf8(lxw_strerror(error));
            return {};
        }
        const RegularFileRead read = readRegularFile(QFile::decodeName(m_file), qint64(1) << 31);
        if (read.status != RegularFileRead::Status::Read)
            *reason = read.reason;
        return read.bytes;
    }

private:
    QTemporaryDir m_folder;
    QByteArray m_file, m_tmp;
    lxw_workbook *m_book = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    lxw_row_t m_row = 0;
};

namespace {

void spreadsheetRow(SpreadsheetWriter &sheet, const TagLog::Row &r, qint64 nowMs, const QTimeZone &zone)
{
    sheet.text(0, tagFamilyName(r.family));
    sheet.text(1, r.tag);
    sheet.text(2, QString::fromLatin1(tagcsv::isoTime(r.firstSeenMs, zone)));
    sheet.text(3, QString::fromLatin1(tagcsv::isoTime(r.lastSeenMs, zone)));
    sheet.number(4, double(r.reads));
    sheet.number(5, std::round(TagLog::readsPerSecond(r, nowMs) * 10) / 10);
    const QString blocks = TagLog::blocksText(r);
    if (!blocks.isEmpty())
        sheet.text(6, blocks);
    sheet.nextRow();
}

} // namespace

TagLogExport::~TagLogExport()
{
    // A workbook being packed is waited for: its thread writes into this.
    if (m_packer) {
        m_packer->wait();
        delete m_packer;
    }
}

TagLogExport::Format TagLogExport::formatFor(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0 ? Format::Spreadsheet
                                                                                            : Format::Csv;
}

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
    m_text.clear();
    m_sheet.reset();
    if (formatFor(path) == Format::Spreadsheet) {
        m_sheet = std::make_unique<SpreadsheetWriter>();
        if (!m_sheet->ok()) {
            m_sheet.reset();
            QTimer::singleShot(0, this, [this] { emit finished(QStringLiteral("the spreadsheet could not be begun")); });
            return true;
        }
        for (int c = 0; c < int(std::size(kColumnNames)); ++c)
            m_sheet->text(c, QString::fromLatin1(kColumnNames[c]));
        m_sheet->nextRow();
    } else {
        m_text = tagcsv::header();
    }
    m_timer.start();
    return true;
}

void TagLogExport::cancel()
{
    m_timer.stop();
    m_text.clear();
    m_sheet.reset();
}

void TagLogExport::slice()
{
    QElapsedTimer clock;
    clock.start();
    // Rows dropped or cleared meanwhile are gone; the rest are written as
    // they are now.
    m_next = std::max(m_next, m_log.firstId());
    while (m_next < m_endId && m_next < m_log.endId()) {
        for (int n = 0; n < 256 && m_next < m_endId; ++n, ++m_next) {
            const TagLog::Row *r = m_log.rowById(m_next);
            if (!r)
                continue;
            if (m_sheet)
                spreadsheetRow(*m_sheet, *r, m_nowMs, m_zone);
            else
                m_text += tagcsv::row(*r, m_nowMs, m_zone);
        }
        if (clock.elapsed() >= kSliceMs)
            break;
    }
    const bool last = m_next >= m_endId || m_next >= m_log.endId();
    if (last) {
        m_timer.stop();
        m_next = m_endId;
    }
    if (last && m_sheet) {
        // Packing a large workbook takes longer than a turn may: a thread
        // of its own does it, and the file is replaced here once it is done.
        m_packer = QThread::create([this, sheet = std::shared_ptr<SpreadsheetWriter>(m_sheet.release())] {
            m_packed = sheet->close(&m_packProblem);
        });
        connect(m_packer, &QThread::finished, this, [this] {
            delete std::exchange(m_packer, nullptr);
            QElapsedTimer replacing;
            replacing.start();
            const QString problem = m_packProblem.isEmpty() ? replaceFile(m_path, m_packed) : m_packProblem;
            m_longestSliceMs = std::max(m_longestSliceMs, replacing.elapsed());
            m_packed.clear();
            m_packProblem.clear();
            emit finished(problem);
        });
        m_packer->start();
        m_longestSliceMs = std::max(m_longestSliceMs, clock.elapsed());
        emit progress(done(), total());
        return;
    }
    QString reason;
    if (last) {
        reason = replaceFile(m_path, m_text);
        m_text.clear();
    }
    m_longestSliceMs = std::max(m_longestSliceMs, clock.elapsed());
    emit progress(done(), total());
    if (last)
        emit finished(reason);
}

} // namespace vexa
