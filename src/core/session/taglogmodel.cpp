// VexaHost - the tag log's table (see taglogmodel.h).
#include "taglogmodel.h"

#include <algorithm>
#include <utility>
#include <QDateTime>

namespace vexa {

namespace {

QString shownTime(qint64 ms, const QTimeZone &zone)
{
    return QDateTime::fromMSecsSinceEpoch(ms, zone).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

TagLogModel::TagLogModel(TagLog &log, QObject *parent) : QAbstractTableModel(parent), m_log(log)
{
    m_firstId = log.firstId();
    m_rows = log.count();
    log.takeChanged(); // all rows are new to the table
    connect(&log, &TagLog::cleared, this, &TagLogModel::reset);
    m_timer.setInterval(kBatchMs);
    connect(&m_timer, &QTimer::timeout, this, &TagLogModel::update);
    m_timer.start();
}

void TagLogModel::setPresence(const TagPresence *presence)
{
    disconnect(m_presenceEvents);
    m_presence = presence;
    m_left.clear();
    if (presence) {
        m_presenceEvents = connect(presence, &TagPresence::events, this, [this](const QList<TagEvent> &events) {
            // Arrivals come with a read, which marks the row already.
            for (const TagEvent &event : events)
                if (event.kind == TagEvent::Kind::Leave)
                    if (const qint64 id = m_log.idOf(event.family, event.tag))
                        m_left.push_back(id);
        });
    }
    if (m_rows > 0)
        emit dataChanged(index(0, StateColumn), index(m_rows - 1, StateColumn));
}

void TagLogModel::reset()
{
    beginResetModel();
    m_firstId = m_log.firstId();
    m_rows = 0;
    m_recent.clear();
    m_left.clear();
    endResetModel();
}

void TagLogModel::update()
{
    // Rows the log dropped leave from the top first.
    if (m_log.firstId() > m_firstId && m_rows > 0) {
        const int gone = int(std::min<qint64>(m_log.firstId() - m_firstId, m_rows));
        beginRemoveRows({}, 0, gone - 1);
        m_firstId += gone;
        m_rows -= gone;
        endRemoveRows();
    }
    if (m_rows == 0)
        m_firstId = m_log.firstId();
    const int added = int(m_log.endId() - (m_firstId + m_rows));
    if (added > 0) {
        beginInsertRows({}, m_rows, m_rows + added - 1);
        m_rows += added;
        endInsertRows();
    }

    const qint64 second = now() / 1000;
    int low = m_rows, high = -1;
    for (qint64 id : std::exchange(m_left, {})) {
        const int row = int(id - m_firstId);
        if (row >= 0 && row < m_rows) {
            low = std::min(low, row);
            high = std::max(high, row);
        }
    }
    if (high >= 0)
        emit dataChanged(index(low, StateColumn), index(high, StateColumn));
    low = m_rows, high = -1;
    for (qint64 id : m_log.takeChanged()) {
        const int row = int(id - m_firstId);
        if (row < 0 || row >= m_rows)
            continue;
        low = std::min(low, row);
        high = std::max(high, row);
        m_recent.insert(id, second);
    }
    if (high >= 0)
        emit dataChanged(index(low, LastSeenColumn), index(high, StateColumn));

    if (second == m_rateSecond)
        return;
    m_rateSecond = second;
    low = m_rows, high = -1;
    for (auto it = m_recent.begin(); it != m_recent.end();) {
        const int row = int(it.key() - m_firstId);
        if (row >= 0 && row < m_rows) {
            low = std::min(low, row);
            high = std::max(high, row);
        }
        // Past the window the rate is 0 and stays so until the next read.
        if (row < 0 || it.value() < second - TagLog::kRateSeconds)
            it = m_recent.erase(it);
        else
            ++it;
    }
    if (high >= 0)
        emit dataChanged(index(low, RateColumn), index(high, RateColumn));
}

int TagLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TagLogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TagLogModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    // A row the log has dropped since the last update reads empty.
    const TagLog::Row *row = m_log.rowById(m_firstId + index.row());
    if (!row)
        return {};
    if (role == FamilyRole)
        return int(row->family);
    if (role == Qt::TextAlignmentRole) {
        const bool number = index.column() == ReadsColumn || index.column() == RateColumn;
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole && role != SortRole)
        return {};
    const bool sorting = role == SortRole;
    switch (index.column()) {
    case FamilyColumn: return tagFamilyName(row->family);
    case TagColumn: return row->tag;
    case FirstSeenColumn: return sorting ? QVariant(row->firstSeenMs) : QVariant(shownTime(row->firstSeenMs, zone));
    case LastSeenColumn: return sorting ? QVariant(row->lastSeenMs) : QVariant(shownTime(row->lastSeenMs, zone));
    case ReadsColumn: return sorting ? QVariant(row->reads) : QVariant(QString::number(row->reads));
    case RateColumn: {
        const double rate = TagLog::readsPerSecond(*row, now());
        return sorting ? QVariant(rate) : QVariant(QString::number(rate, 'f', 1));
    }
    case BlocksColumn: return TagLog::blocksText(*row);
    case StateColumn:
        if (!m_presence)
            return {};
        return m_presence->present(row->family, row->tag) ? QStringLiteral("present") : QStringLiteral("left");
    default: return {};
    }
}

QVariant TagLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case FamilyColumn: return QStringLiteral("Family");
    case TagColumn: return QStringLiteral("UID / Address");
    case FirstSeenColumn: return QStringLiteral("First Seen");
    case LastSeenColumn: return QStringLiteral("Last Seen");
    case ReadsColumn: return QStringLiteral("Reads");
    case RateColumn: return QStringLiteral("Reads/s (10 s)");
    case BlocksColumn: return QStringLiteral("Last Block Values");
    case StateColumn: return QStringLiteral("State");
    default: return {};
    }
}

TagLogFilter::TagLogFilter(QObject *parent) : QSortFilterProxyModel(parent)
{
    setSortRole(TagLogModel::SortRole);
    setDynamicSortFilter(true);
}

void TagLogFilter::setFamily(ResponseFamily family)
{
    m_family = family;
    invalidateFilter();
}

bool TagLogFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (m_family == ResponseFamily::Management)
        return true;
    const QModelIndex at = sourceModel()->index(sourceRow, 0, sourceParent);
    return at.data(TagLogModel::FamilyRole).toInt() == int(m_family);
}

} // namespace vexa
