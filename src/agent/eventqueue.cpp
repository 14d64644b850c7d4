// vexa-agent - the on-disk event queue (the format is in eventqueue.h).
#include "agent/eventqueue.h"

#include <array>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QtEndian>

#include "core/util/regularfile.h"

namespace vexa::agent {

namespace {

constexpr char kSegmentMagic[] = "VXAQ";
constexpr char kStateMagic[] = "VXAS";
constexpr quint32 kFormatVersion = 1;
constexpr qint64 kSegmentHeaderBytes = 8;
constexpr qint64 kRecordHeaderBytes = 16; // length, CRC, sequence number
const QString kStateName = QStringLiteral("state");

quint32 crc32(const char *data, qint64 size, quint32 crc = 0)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (qint64 i = 0; i < size; ++i)
        crc = table[(crc ^ quint8(data[i])) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

QByteArray segmentHeader()
{
    QByteArray header(kSegmentMagic, 4);
    header.resize(kSegmentHeaderBytes);
    qToLittleEndian(kFormatVersion, header.data() + 4);
    return header;
}

// The new name of a file reaches the disk with its folder.
void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

EventQueue::EventQueue(const QString &folder, qint64 limitBytes)
    : m_folder(folder), m_limit(limitBytes),
      // Room is made a segment at a time: an eighth of the bound loses at
      // most that much at once and keeps the file count small.
      m_segmentLimit(qMax<qint64>(limitBytes / 8, 4096))
{}

EventQueue::~EventQueue()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString EventQueue::segmentPath(quint64 firstSeq) const
{
    return m_folder + QStringLiteral("/%1.seg").arg(firstSeq, 20, 10, QLatin1Char('0'));
}

bool EventQueue::open()
{
    m_segments.clear();
    m_totalBytes = 0;
    m_cutBytes = 0;
    m_acked = 0;
    m_dropped = 0;
    m_nextSeq = 1;
    m_cursor = {};
    if (!QDir().mkpath(m_folder)) {
        m_error = QStringLiteral("cannot make the queue folder %1").arg(m_folder);
        return false;
    }
    // Two writers would interleave their records and cut each other's
    // "torn" tails: one queue per folder, held until the object goes.
    if (m_lockFd < 0) {
        const QByteArray lockPath = QFile::encodeName(m_folder + QStringLiteral("/lock"));
        const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            m_error = QStringLiteral("the queue %1 is in use by another process").arg(m_folder);
            if (fd >= 0)
                ::close(fd);
            return false;
        }
        m_lockFd = fd;
    }
    // A state file that is torn or foreign counts as nothing acknowledged:
    // its records go out again rather than being lost.
    const RegularFileRead state = readRegularFile(m_folder + QLatin1Char('/') + kStateName, 64);
    if (state.status == RegularFileRead::Status::Read && state.bytes.size() == 28
        && state.bytes.startsWith(kStateMagic)
        && qFromLittleEndian<quint32>(state.bytes.constData() + 24) == crc32(state.bytes.constData(), 24)) {
        m_acked = qFromLittleEndian<quint64>(state.bytes.constData() + 8);
        m_dropped = qFromLittleEndian<quint64>(state.bytes.constData() + 16);
    }

    QList<quint64> firsts;
    const QStringList names = QDir(m_folder).entryList({QStringLiteral("*.seg")}, QDir::Files);
    for (const QString &name : names) {
        bool ok = false;
        const quint64 first = name.chopped(4).toULongLong(&ok);
        if (ok && first > 0 && name.size() == 24)
            firsts.append(first);
    }
    std::sort(firsts.begin(), firsts.end());
    for (qsizetype i = 0; i < firsts.size(); ++i) {
        Segment segment{firsts[i], firsts[i] - 1, 0};
        if (!scanSegment(segment))
            return false;
        m_segments.append(segment);
        m_totalBytes += segment.bytes;
    }
    // Records missing above the acknowledged mark went with their file (a
    // segment a crash left empty, or removed by hand): counted as dropped,
    // never passed over in silence.
    const quint64 droppedBefore = m_dropped;
    quint64 expected = m_acked + 1;
    for (const Segment &segment : std::as_const(m_segments)) {
        if (segment.firstSeq > expected)
            m_dropped += segment.firstSeq - expected;
        expected = std::max(expected, segment.lastSeq + 1);
    }
    // Fully acknowledged segments but the one written to are done with.
    while (m_segments.size() > 1 && m_segments.first().lastSeq <= m_acked) {
        QFile::remove(segmentPath(m_segments.first().firstSeq));
        m_totalBytes -= m_segments.takeFirst().bytes;
    }
    if (!m_segments.isEmpty())
        m_nextSeq = m_segments.last().lastSeq + 1;
    m_nextSeq = qMax(m_nextSeq, m_acked + 1);
    if (m_segments.isEmpty() || m_segments.last().lastSeq + 1 != m_nextSeq) {
        if (!startSegment())
            return false;
    }
    // A smaller bound than the last run's applies now.
    while (m_totalBytes > m_limit && m_segments.size() > 1)
        dropOldest();
    if (m_dropped != droppedBefore)
        saveState();
    m_error.clear();
    return true;
}

bool EventQueue::scanSegment(Segment &segment)
{
    const QString path = segmentPath(segment.firstSeq);
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        m_error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    const qint64 size = file.size();
    qint64 good = 0;
    if (file.read(kSegmentHeaderBytes) == segmentHeader()) {
        good = kSegmentHeaderBytes;
        std::array<char, kRecordHeaderBytes> head{};
        while (good + kRecordHeaderBytes <= size) {
            if (file.read(head.data(), kRecordHeaderBytes) != kRecordHeaderBytes)
                break;
            const quint32 length = qFromLittleEndian<quint32>(head.data());
            const quint32 crc = qFromLittleEndian<quint32>(head.data() + 4);
            const quint64 seq = qFromLittleEndian<quint64>(head.data() + 8);
            if (length > kLargestPayload || good + kRecordHeaderBytes + length > size || seq != segment.lastSeq + 1)
                break;
            const QByteArray payload = file.read(length);
            if (payload.size() != qsizetype(length)
                || crc32(payload.constData(), length, crc32(head.data() + 8, 8)) != crc)
                break;
            segment.lastSeq = seq;
            good += kRecordHeaderBytes + length;
        }
    }
    if (good < size || good == 0) {
        // A torn tail (the agent ended mid-write) or a header that never
        // reached the disk: cut back to the last whole record. Behind a
        // later segment that can only be damage; it is cut the same way.
        m_cutBytes += size - good;
        const bool fixed = good == 0 ? file.resize(0) && file.write(segmentHeader()) == kSegmentHeaderBytes
                                     : file.resize(good);
        if (!fixed || ::fdatasync(file.handle()) != 0) {
            m_error = QStringLiteral("cannot cut the torn end of %1: %2").arg(path, file.errorString());
            return false;
        }
        good = qMax(good, kSegmentHeaderBytes);
    }
    segment.bytes = good;
    return true;
}

bool EventQueue::startSegment()
{
    const QString path = segmentPath(m_nextSeq);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(segmentHeader()) != kSegmentHeaderBytes
        || !file.flush() || ::fdatasync(file.handle()) != 0) {
        m_error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        file.remove();
        return false;
    }
    syncFolder(m_folder);
    m_segments.append({m_nextSeq, m_nextSeq - 1, kSegmentHeaderBytes});
    m_totalBytes += kSegmentHeaderBytes;
    return true;
}

void EventQueue::dropOldest()
{
    const Segment oldest = m_segments.takeFirst();
    if (oldest.lastSeq > m_acked) {
        m_dropped += oldest.lastSeq - qMax(m_acked, oldest.firstSeq - 1);
        m_acked = oldest.lastSeq;
    }
    QFile::remove(segmentPath(oldest.firstSeq));
    m_totalBytes -= oldest.bytes;
}

quint64 EventQueue::appendBatch(const QList<QByteArray> &payloads)
{
    if (payloads.isEmpty())
        return m_nextSeq;
    qint64 batchBytes = 0;
    for (const QByteArray &payload : payloads) {
        if (payload.size() > kLargestPayload) {
            m_error = QStringLiteral("an event of %1 bytes is larger than %2").arg(payload.size()).arg(kLargestPayload);
            return 0;
        }
        batchBytes += kRecordHeaderBytes + payload.size();
    }
    if (batchBytes + kSegmentHeaderBytes > m_limit) {
        m_error = QStringLiteral("a batch of %1 bytes is larger than the queue's bound").arg(batchBytes);
        return 0;
    }
    if (m_segments.isEmpty()) {
        m_error = QStringLiteral("the queue is not open");
        return 0;
    }
    const quint64 droppedBefore = m_dropped;
    if (m_segments.last().lastSeq >= m_segments.last().firstSeq
        && m_segments.last().bytes + batchBytes > m_segmentLimit && !startSegment())
        return 0;
    while (m_totalBytes + batchBytes > m_limit && m_segments.size() > 1)
        dropOldest();
    if (m_dropped != droppedBefore)
        saveState();

    Segment &segment = m_segments.last();
    QByteArray bytes;
    bytes.reserve(batchBytes);
    quint64 seq = m_nextSeq;
    for (const QByteArray &payload : payloads) {
        std::array<char, kRecordHeaderBytes> head{};
        qToLittleEndian(quint32(payload.size()), head.data());
        qToLittleEndian(seq++, head.data() + 8);
        qToLittleEndian(crc32(payload.constData(), payload.size(), crc32(head.data() + 8, 8)), head.data() + 4);
        bytes.append(head.data(), kRecordHeaderBytes);
        bytes.append(payload);
    }
    const QString path = segmentPath(segment.firstSeq);
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(segment.bytes) || file.write(bytes) != bytes.size()
        || !file.flush() || ::fdatasync(file.handle()) != 0) {
        m_error = QStringLiteral("cannot append to %1: %2").arg(path, file.errorString());
        // A part that reached the file would be taken for records next time.
        if (file.isOpen())
            file.resize(segment.bytes);
        return 0;
    }
    const quint64 first = m_nextSeq;
    m_nextSeq = seq;
    segment.lastSeq = seq - 1;
    segment.bytes += bytes.size();
    m_totalBytes += bytes.size();
    return first;
}

QList<QueuedEvent> EventQueue::peek(int count, quint64 afterSeq)
{
    QList<QueuedEvent> events;
    const quint64 from = qMax(m_acked, afterSeq) + 1;
    for (const Segment &segment : std::as_const(m_segments)) {
        if (int(events.size()) >= count)
            break;
        if (segment.lastSeq < from)
            continue;
        QFile file(segmentPath(segment.firstSeq));
        if (!file.open(QIODevice::ReadOnly)) {
            m_error = QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
            break;
        }
        qint64 at = kSegmentHeaderBytes;
        if (m_cursor.segmentFirstSeq == segment.firstSeq && m_cursor.seq <= from)
            at = m_cursor.offset;
        if (!file.seek(at)) {
            m_error = QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
            break;
        }
        std::array<char, kRecordHeaderBytes> head{};
        while (int(events.size()) < count && at + kRecordHeaderBytes <= segment.bytes
               && file.read(head.data(), kRecordHeaderBytes) == kRecordHeaderBytes) {
            const quint32 length = qFromLittleEndian<quint32>(head.data());
            const quint64 seq = qFromLittleEndian<quint64>(head.data() + 8);
            if (length > kLargestPayload || at + kRecordHeaderBytes + length > segment.bytes)
                break;
            if (seq < from) {
                at += kRecordHeaderBytes + length;
                if (!file.seek(at))
                    break;
                continue;
            }
            const QByteArray payload = file.read(length);
            if (payload.size() != qsizetype(length)) {
                m_error = QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
                return events;
            }
            at += kRecordHeaderBytes + length;
            events.append({seq, payload});
            m_cursor = {segment.firstSeq, at, seq + 1};
        }
    }
    return events;
}

qint64 EventQueue::pending() const
{
    qint64 n = 0;
    for (const Segment &segment : m_segments) {
        if (segment.lastSeq > m_acked)
            n += qint64(segment.lastSeq - qMax(m_acked, segment.firstSeq - 1));
    }
    return n;
}

bool EventQueue::acknowledge(quint64 seq)
{
    seq = qMin(seq, lastSeq());
    if (seq <= m_acked)
        return true;
    m_acked = seq;
    // The mark first: segments gone under an older mark would count as lost.
    if (!saveState())
        return false;
    while (m_segments.size() > 1 && m_segments.first().lastSeq <= m_acked) {
        QFile::remove(segmentPath(m_segments.first().firstSeq));
        m_totalBytes -= m_segments.takeFirst().bytes;
    }
    return true;
}

bool EventQueue::forgetDropped(quint64 told)
{
    m_dropped -= std::min(told, m_dropped);
    return saveState();
}

bool EventQueue::saveState()
{
    QByteArray bytes(kStateMagic, 4);
    bytes.resize(28);
    qToLittleEndian(kFormatVersion, bytes.data() + 4);
    qToLittleEndian(m_acked, bytes.data() + 8);
    qToLittleEndian(m_dropped, bytes.data() + 16);
    qToLittleEndian(crc32(bytes.constData(), 24), bytes.data() + 24);
    const QString why = replaceFile(m_folder + QLatin1Char('/') + kStateName, bytes);
    if (!why.isEmpty()) {
        m_error = QStringLiteral("cannot write the queue's state: %1").arg(why);
        return false;
    }
    return true;
}

} // namespace vexa::agent
