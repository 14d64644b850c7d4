// vexa-agent - the on-disk queue of events waiting for the broker. Records
// are appended to segment files under one folder and taken out in order
// once the broker has them; the queue survives the agent's end, however
// abrupt, and a restart resumes after the last acknowledged record.
//
// On disk: segment files named by the sequence number of their first
// record ("00000000000000000001.seg"), each an 8-byte header ("VXAQ" and the
// format version) and then records:
//   u32 payload length, u32 CRC-32 of the next 8 + length bytes,
//   u64 sequence number, payload            (little-endian)
// and "state", the last acknowledged sequence number and the count of
// records dropped for room, replaced as a whole on every change.
//
// Durability: appendBatch() writes all of its records and then calls
// fdatasync once, so a batch is on the disk when it returns; a crash loses
// at most the batch being written, whose torn tail the next open() finds by
// its CRC and cuts. An fdatasync costs a disk flush (a few milliseconds on
// a disk, well under one on flash), which is why the agent appends one
// batch per exchange, not one record at a time. acknowledge() replaces the
// state file (written, flushed, renamed); losing an acknowledgment only
// publishes its records again, which QoS 1 allows and the sequence numbers
// mark.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace vexa::agent {

struct QueuedEvent
{
    quint64 seq = 0;
    QByteArray payload;
};

class EventQueue
{
public:
    // A record larger than this is refused: no event comes near it, and a
    // corrupt length field can never make open() read gigabytes.
    static constexpr qint64 kLargestPayload = 1024 * 1024;

    // `folder` holds the segments (made when missing); `limitBytes` bounds
    // them all together.
    EventQueue(const QString &folder, qint64 limitBytes);

    ~EventQueue();
    EventQueue(const EventQueue &) = delete;
    EventQueue &operator=(const EventQueue &) = delete;

    // Reads what is there, cutting a torn tail; false with errorString()
    // when the folder cannot be made or read, or another queue (another
    // agent on the same state folder) has it open.
    bool open();

    // Appends the records in order, durably; the sequence number of the
    // first, or 0 with errorString() (nothing of the batch is kept then).
    // Makes room first by dropping the oldest segments.
    quint64 appendBatch(const QList<QByteArray> &payloads);
    quint64 append(const QByteArray &payload) { return appendBatch({payload}); }

    // Up to `count` records after the last acknowledged one (and after
    // `afterSeq`, for a caller with records in flight), oldest first.
    QList<QueuedEvent> peek(int count, quint64 afterSeq = 0);

    // Everything up to `seq` has reached the broker; kept across restarts.
    // A number past the last record counts as the last record. Each call
    // costs a state file flushed to the disk: acknowledge the highest of a
    // run of confirmations, not every one.
    bool acknowledge(quint64 seq);

    quint64 acknowledged() const { return m_acked; }
    quint64 lastSeq() const { return m_nextSeq - 1; }
    qint64 pending() const; // records not yet acknowledged
    qint64 sizeBytes() const { return m_totalBytes; }

    // Records that went unacknowledged to make room (or that a crash took
    // with a segment), not yet told: kept in the state file across restarts
    // so that the count reaches the broker in the end. forgetDropped() takes
    // off what a notice told.
    quint64 dropped() const { return m_dropped; }
    bool forgetDropped(quint64 told);

    // Bytes cut from torn or corrupt tails by the last open().
    qint64 cutBytes() const { return m_cutBytes; }

    QString errorString() const { return m_error; }

private:
    struct Segment
    {
        quint64 firstSeq = 0;
        quint64 lastSeq = 0; // firstSeq - 1 while empty
        qint64 bytes = 0;
    };

    QString segmentPath(quint64 firstSeq) const;
    bool scanSegment(Segment &segment);
    bool startSegment();
    void dropOldest();
    bool saveState();

    // Where the last peek() ended, so the next starts there instead of at
    // its segment's first record.
    struct Cursor
    {
        quint64 segmentFirstSeq = 0;
        qint64 offset = 0;
        quint64 seq = 0; // of the record at offset
    };

    QString m_folder;
    int m_lockFd = -1;
    Cursor m_cursor;
    qint64 m_limit;
    qint64 m_segmentLimit;
    QList<Segment> m_segments; // oldest first; the last is written to
    qint64 m_totalBytes = 0;
    quint64 m_nextSeq = 1;
    quint64 m_acked = 0;
    quint64 m_dropped = 0;
    qint64 m_cutBytes = 0;
    QString m_error;
};

} // namespace vexa::agent
