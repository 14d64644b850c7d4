// VexaHost - every tag the reader named this run: one row per tag with when
// it was first and last seen, how often it was read, its read rate and the
// block values last read from it.
//
// Rows stay in the order their tags were first seen and are numbered by an
// id that never comes again, so a view can tell new, changed and dropped
// rows apart without being told of each answer: it asks for the changes
// when it wants them (takeChanged). Past the cap the oldest rows go, and a
// note says how many. Reads per second come from a ring of per-second
// counts per row, so an answer costs the same however long Repeat has run.
#pragma once

#include <array>
#include <deque>
#include <vector>

#include <QHash>
#include <QObject>
#include <QString>

#include "core/codecs/tagcodec.h"
#include "core/wire/reception.h"

namespace vexa {

// "ISO/IEC 15693", "Tag-it", "ISO/IEC 14443-A"; empty for management answers.
QString tagFamilyName(ResponseFamily family);

// The tags an answer routed to `family` names; `request` is the frame that
// was sent, `isoBlockLength` the ISO block length option.
QList<TagSighting> tagsNamed(ResponseFamily family, const FrameView &answer, const FrameView &request,
                             int isoBlockLength);

class TagLog : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultCap = 100'000;
    static constexpr int kRateSeconds = 10;

    struct Row
    {
        qint64 id = 0;
        ResponseFamily family = ResponseFamily::Iso15693;
        QString tag; // UID or tag address as the report shows it
        qint64 firstSeenMs = 0; // since the epoch, UTC
        qint64 lastSeenMs = 0;
        qint64 reads = 0;
        // Reads in each of the last kRateSeconds seconds; the slot of
        // second s is s % kRateSeconds, newestSecond the last one counted.
        std::array<quint32, kRateSeconds> perSecond{};
        qint64 newestSecond = 0;
        QList<std::pair<int, QString>> blocks; // by block number
        bool changed = false;
    };

    explicit TagLog(int cap = kDefaultCap, QObject *parent = nullptr);

    // One answer of `family` naming `tags` at `nowMs`: a read for each tag
    // it names, however often it names it.
    void record(ResponseFamily family, const QList<TagSighting> &tags, qint64 nowMs);
    void clear();

    int cap() const { return m_cap; }
    int count() const { return int(m_rows.size()); }
    // Row i, oldest first; ids run from firstId() to endId() - 1.
    const Row &row(int index) const { return m_rows[size_t(index)]; }
    qint64 firstId() const { return m_firstId; }
    qint64 endId() const { return m_firstId + qint64(m_rows.size()); }
    const Row *rowById(qint64 id) const;
    // The id of the tag's row; 0 when the log has none.
    qint64 idOf(ResponseFamily family, const QString &tag) const;
    // Rows and reads kept, of one family or (Management) of all.
    int tagCount(ResponseFamily family = ResponseFamily::Management) const;
    qint64 readCount(ResponseFamily family = ResponseFamily::Management) const;
    qint64 droppedRows() const { return m_dropped; }
    // Empty while nothing was dropped.
    QString dropNote() const;

    // Reads per second over the last kRateSeconds seconds up to `nowMs`, or
    // over the time since the tag was first seen when that is shorter.
    static double readsPerSecond(const Row &row, qint64 nowMs);
    // "block: value" pairs by block number, comma separated.
    static QString blocksText(const Row &row);

    // Ids of the rows read since the last call, in no particular order.
    std::vector<qint64> takeChanged();

signals:
    void cleared();

private:
    Row &rowFor(ResponseFamily family, const QString &tag, qint64 nowMs);
    void dropOldest();
    static int familyIndex(ResponseFamily family);

    int m_cap;
    std::deque<Row> m_rows;
    qint64 m_firstId = 1;
    qint64 m_dropped = 0;
    std::array<QHash<QString, qint64>, 3> m_ids; // per family: tag -> id
    std::array<int, 3> m_tags{};
    std::array<qint64, 3> m_reads{};
    std::vector<qint64> m_changed;
};

} // namespace vexa
