// VexaHost - tag events: what the tags each exchange names mean over time.
//
//   arrive   a tag named that was not present (first seen, or seen again
//            after it had left)
//   read     every sighting, one batch per exchange (an arriving tag's
//            first sighting is its arrive and a read)
//   leave    a present tag not named for the absence time
//
// The session feeds every exchange's sightings in; the window's Tag Log
// shows present / left from it, `vexactl --repeat --events` prints the
// events as JSON Lines and `vexa-agent` publishes each batch: one event
// shape for all three.
#pragma once

#include <functional>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QTimeZone>

#include "core/codecs/tagcodec.h"
#include "core/wire/reception.h"

namespace vexa {

struct TagEvent
{
    enum class Kind { Arrive, Read, Leave };
    Kind kind = Kind::Read;
    ResponseFamily family = ResponseFamily::Iso15693;
    QString tag;         // UID or tag address as the reports show it
    qint64 timeMs = 0;   // since the epoch, UTC; a leave: when it was missed
    qint64 reads = 0;    // sightings since it arrived
    QList<std::pair<int, QString>> blocks; // block values this exchange read

    bool operator==(const TagEvent &) const = default;
};

// "arrive", "read", "leave": the JSON's "event".
QString tagEventName(TagEvent::Kind kind);

// Who saw it: the reader's serial number (from its version answer; empty
// until known) and the port or "USB".
struct ReaderIdentity
{
    QString serial;
    QString port;

    bool operator==(const ReaderIdentity &) const = default;
};

// One event as a JSON object (the same in every front end):
//   {"event": "arrive"|"read"|"leave", "family": "ISO/IEC 15693",
//    "tag": "E004...", "time": ISO 8601 with offset, "reads": N,
//    "blocks": {"0": "11223344"}, "reader": serial, "port": port}
// "blocks" only where the exchange read some; "time" with milliseconds and
// the offset of `zone` ("+00:00" for UTC).
QJsonObject tagEventJson(const TagEvent &event, const ReaderIdentity &reader, const QTimeZone &zone);

class TagPresence : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultAbsenceMs = 5000;

    explicit TagPresence(int absenceMs = kDefaultAbsenceMs, QObject *parent = nullptr);

    // Milliseconds since the epoch for the timer's checks; the wall clock
    // unless a test sets one.
    std::function<qint64()> clock;

    // Not below 1 ms; leaves it makes due come from the timer.
    void setAbsence(int ms);
    int absence() const { return m_absenceMs; }
    // One exchange's sightings of `family` (none: an empty inventory) at
    // `nowMs`: arrive and read events, and the leaves due by then, as one
    // batch. A timer finds leaves between exchanges (Repeat paused).
    void record(ResponseFamily family, const QList<TagSighting> &tags, qint64 nowMs);
    bool present(ResponseFamily family, const QString &tag) const;
    // Forgets every tag without events: the next sighting is an arrive.
    void clear();

signals:
    // One exchange's events (or the leaves a check found), in order; never
    // an empty batch.
    void events(const QList<vexa::TagEvent> &batch);

private:
    // Appends the leaves due at `nowMs` to `batch`, the oldest first.
    void takeLeaves(qint64 nowMs, QList<TagEvent> &batch);
    // The timer, for the next leave due; stopped while no tag is present.
    void arm();
    void onLeaveCheck();
    qint64 now() const;

    struct Presence
    {
        qint64 lastSeenMs = 0;
        qint64 reads = 0;
        qint64 arrival = 0; // orders leaves due at the same time
    };
    int m_absenceMs;
    QHash<QPair<int, QString>, Presence> m_present;
    qint64 m_arrivals = 0;
    QTimer m_leaveCheck;
};

} // namespace vexa
