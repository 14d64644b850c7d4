// VexaHost - the serial data-packet watcher for the boot loader's replies.
#include "packetwatcher.h"

#include "core/link/transport.h"

namespace vexa {

PacketWatcher::PacketWatcher(Transport &transport, QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("ApdDataPacket1"));
    m_limit.setSingleShot(true);
    m_limit.setInterval(kTimeLimitMs);
    connect(&m_limit, &QTimer::timeout, this, &PacketWatcher::onTimeLimit);
    connect(&transport, &Transport::bytesArrived, this, &PacketWatcher::onBytes);
}

void PacketWatcher::arm()
{
    m_packet.clear();
    m_limit.stop();
    m_armed = true;
}

void PacketWatcher::disarm()
{
    m_armed = false;
    m_limit.stop();
    m_packet.clear();
}

void PacketWatcher::onBytes(const QByteArray &bytes)
{
    if (!m_armed)
        return;
    if (m_packet.isEmpty() && !m_limit.isActive())
        m_limit.start();
    const qsizetype end = bytes.indexOf('\r');
    m_packet.append(end < 0 ? bytes : bytes.first(end + 1));
    if (m_packet.size() > kMaxPacket)
        m_packet.remove(0, m_packet.size() - kMaxPacket);
    if (end < 0)
        return;
    const QByteArray packet = m_packet;
    disarm();
    emit packetReceived(packet);
}

void PacketWatcher::onTimeLimit()
{
    if (!m_armed)
        return;
    disarm();
    emit packetTimedOut();
}

} // namespace vexa
