// VexaHost - tag events (see tagevents.h).
#include "tagevents.h"

#include <algorithm>
#include <climits>
#include <QDateTime>

#include "core/session/taglog.h"
#include "core/session/taglogexport.h"

namespace vexa {

QString tagEventName(TagEvent::Kind kind)
{
    switch (kind) {
    case TagEvent::Kind::Arrive: return QStringLiteral("arrive");
    case TagEvent::Kind::Read: return QStringLiteral("read");
    case TagEvent::Kind::Leave: return QStringLiteral("leave");
    }
    return {};
}

QJsonObject tagEventJson(const TagEvent &event, const ReaderIdentity &reader, const QTimeZone &zone)
{
    QJsonObject o;
    o.insert(QStringLiteral("event"), tagEventName(event.kind));
    o.insert(QStringLiteral("family"), tagFamilyName(event.family));
    o.insert(QStringLiteral("tag"), event.tag);
    o.insert(QStringLiteral("time"), QString::fromLatin1(tagcsv::isoTime(event.timeMs, zone)));
    o.insert(QStringLiteral("reads"), event.reads);
    if (!event.blocks.isEmpty()) {
        QJsonObject blocks;
        for (const auto &[block, value] : event.blocks)
            blocks.insert(QString::number(block), value);
        o.insert(QStringLiteral("blocks"), blocks);
    }
    o.insert(QStringLiteral("reader"), reader.serial);
    o.insert(QStringLiteral("port"), reader.port);
    return o;
}

TagPresence::TagPresence(int absenceMs, QObject *parent) : QObject(parent), m_absenceMs(std::max(absenceMs, 1))
{
    m_leaveCheck.setSingleShot(true);
    connect(&m_leaveCheck, &QTimer::timeout, this, &TagPresence::onLeaveCheck);
}

qint64 TagPresence::now() const
{
    return clock ? clock() : QDateTime::currentMSecsSinceEpoch();
}

void TagPresence::setAbsence(int ms)
{
    m_absenceMs = std::max(ms, 1);
    // The next leave due may now be sooner, or later.
    arm();
}

void TagPresence::record(ResponseFamily family, const QList<TagSighting> &tags, qint64 nowMs)
{
    if (family == ResponseFamily::Management)
        return;
    // One read per tag and exchange, however often the answer names it,
    // with every block it read.
    QList<TagSighting> named;
    for (const TagSighting &sighting : tags) {
        if (sighting.id.isEmpty())
            continue;
        const auto same = std::find_if(named.begin(), named.end(),
                                       [&](const TagSighting &t) { return t.id == sighting.id; });
        if (same == named.end())
            named.append(sighting);
        else
            same->blocks += sighting.blocks;
    }
    QList<TagEvent> batch;
    // Leaves first: a tag gone for the absence time and named again now
    // left before it came back.
    takeLeaves(nowMs, batch);
    for (const TagSighting &sighting : named) {
        const QPair<int, QString> key{int(family), sighting.id};
        auto found = m_present.find(key);
        const bool arrives = found == m_present.end();
        if (arrives)
            found = m_present.insert(key, Presence{nowMs, 0, m_arrivals++});
        // A clock set back never makes a tag due sooner than it was.
        found->lastSeenMs = std::max(found->lastSeenMs, nowMs);
        const TagEvent read{TagEvent::Kind::Read, family, sighting.id, nowMs, ++found->reads, sighting.blocks};
        if (arrives) {
            TagEvent arrive = read;
            arrive.kind = TagEvent::Kind::Arrive;
            batch.append(arrive);
        }
        batch.append(read);
    }
    arm();
    if (!batch.isEmpty())
        emit events(batch);
}

void TagPresence::takeLeaves(qint64 nowMs, QList<TagEvent> &batch)
{
    QList<std::pair<qint64, TagEvent>> leaves; // with their arrival, for equal times
    for (auto it = m_present.begin(); it != m_present.end();) {
        const qint64 due = it->lastSeenMs + m_absenceMs;
        if (due > nowMs) {
            ++it;
            continue;
        }
        leaves.append({it->arrival, TagEvent{TagEvent::Kind::Leave, ResponseFamily(it.key().first), it.key().second,
                                             due, it->reads, {}}});
        it = m_present.erase(it);
    }
    std::sort(leaves.begin(), leaves.end(), [](const auto &a, const auto &b) {
        return a.second.timeMs != b.second.timeMs ? a.second.timeMs < b.second.timeMs : a.first < b.first;
    });
    for (const auto &leave : leaves)
        batch.append(leave.second);
}

void TagPresence::arm()
{
    qint64 nextDue = LLONG_MAX;
    for (const Presence &p : std::as_const(m_present))
        nextDue = std::min(nextDue, p.lastSeenMs + m_absenceMs);
    if (nextDue == LLONG_MAX) {
        m_leaveCheck.stop();
        return;
    }
    // A coarse timer may come a little early: the check then finds nothing
    // due and arms again for the rest.
    m_leaveCheck.start(int(std::clamp<qint64>(nextDue - now(), 0, INT_MAX)));
}

void TagPresence::onLeaveCheck()
{
    QList<TagEvent> batch;
    takeLeaves(now(), batch);
    arm();
    if (!batch.isEmpty())
        emit events(batch);
}

bool TagPresence::present(ResponseFamily family, const QString &tag) const
{
    return m_present.contains(QPair<int, QString>{int(family), tag});
}

void TagPresence::clear()
{
    m_present.clear();
    m_leaveCheck.stop();
}

} // namespace vexa
