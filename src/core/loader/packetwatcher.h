// VexaHost - the serial data-packet watcher for the boot loader's replies.
//
// Armed, it takes the bytes that arrive from then on as one packet ending
// with a carriage return (0x0D). A packet that has begun must end within
// kTimeLimitMs of its first byte; the time until the first byte is the
// caller's to limit. It keeps at most kMaxPacket bytes, the last ones: the
// loader's replies are three bytes, and its last three are what counts.
// After a packet or a time-out it ignores the line until armed again.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

namespace vexa {

class Transport;

class PacketWatcher : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxPacket = 256;
    static constexpr int kTimeLimitMs = 550; // 10 ticks of 55 ms

    explicit PacketWatcher(Transport &transport, QObject *parent = nullptr);

    void arm();
    void disarm();
    bool armed() const { return m_armed; }

signals:
    void packetReceived(const QByteArray &packet);
    void packetTimedOut();

private:
    void onBytes(const QByteArray &bytes);
    void onTimeLimit();

    QByteArray m_packet;
    QTimer m_limit;
    bool m_armed = false;
};

} // namespace vexa
