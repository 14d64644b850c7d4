// vexa-sim - cutting the byte stream from the host into request frames.
//
// A frame starts at a byte 0x01 and is as long as its length field (bytes 1
// and 2, low byte first) says. Bytes before a start byte are noise. A length
// below 8 or above kMaxFrame cannot be a request, so that start byte is
// dropped and the search goes on from the next byte. A frame still
// incomplete after kSilenceMs without a byte is dropped: the host never
// pauses inside a frame, so the rest is not coming.
#pragma once

#include <QByteArray>
#include <QList>

namespace vexa::sim {

class FrameAssembler
{
public:
    static constexpr int kMinFrame = 8;
    static constexpr int kMaxFrame = 256; // the host's largest: 200 + address field
    static constexpr qint64 kSilenceMs = 100;

    struct Output
    {
        QList<QByteArray> frames;
        QByteArray discarded; // noise and dropped partial frames, in order
    };

    // nowMs: any monotonic clock in milliseconds.
    Output feed(const QByteArray &bytes, qint64 nowMs);

    // Drops what is pending, e.g. after bytes that were not understood.
    QByteArray clear();

    const QByteArray &pending() const { return m_pending; }

private:
    QByteArray m_pending;
    qint64 m_lastMs = 0;
};

} // namespace vexa::sim
