// VexaHost - the tag log as a table for a view, brought up to date in
// batches: an answer only marks its rows, and a timer (kBatchMs) turns what
// changed into row insertions, removals and dataChanged ranges, so Repeat
// never waits for a view and the view never resets while tags come in.
// The read rate of a tag not read any more falls as time passes: once a
// second the rate column of the tags read in the last seconds is renewed.
// The state column ("present" / "left") follows the session's TagPresence:
// its leaves mark their rows for the next batch.
#pragma once

#include <functional>
#include <QAbstractTableModel>
#include <QHash>
#include <QSortFilterProxyModel>
#include <QTimeZone>
#include <QTimer>

#include "core/session/tagevents.h"
#include "core/session/taglog.h"

namespace vexa {

class TagLogModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { FamilyColumn, TagColumn, FirstSeenColumn, LastSeenColumn, ReadsColumn, RateColumn, BlocksColumn,
                  StateColumn, ColumnCount };
    // The value a column sorts by (numbers as numbers, times as times).
    static constexpr int SortRole = Qt::UserRole;
    // The row's ResponseFamily as an int, for the family filter.
    static constexpr int FamilyRole = Qt::UserRole + 1;
    static constexpr int kBatchMs = 250;

    explicit TagLogModel(TagLog &log, QObject *parent = nullptr);

    // Milliseconds since the epoch; the wall clock unless a test sets one.
    std::function<qint64()> clock;
    // Where the times are shown; the local zone unless a test sets one.
    QTimeZone zone = QTimeZone::systemTimeZone();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Where the state column comes from; without one it stays empty.
    void setPresence(const TagPresence *presence);

    // Brings the table up to the log now (the timer does it every kBatchMs).
    void update();

private:
    void reset();
    qint64 now() const { return clock ? clock() : QDateTime::currentMSecsSinceEpoch(); }

    TagLog &m_log;
    QTimer m_timer;
    qint64 m_firstId = 0; // id of row 0
    int m_rows = 0;
    qint64 m_rateSecond = 0; // when the rate column was last renewed
    QHash<qint64, qint64> m_recent; // id -> last second it was read, while its rate is not 0
    const TagPresence *m_presence = nullptr;
    QMetaObject::Connection m_presenceEvents;
    std::vector<qint64> m_left; // ids of rows whose tags left since the last batch
};

// Sorting by any column and the filter by family.
class TagLogFilter : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit TagLogFilter(QObject *parent = nullptr);
    // Management stands for every family.
    void setFamily(ResponseFamily family);
    ResponseFamily family() const { return m_family; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    ResponseFamily m_family = ResponseFamily::Management;
};

} // namespace vexa
