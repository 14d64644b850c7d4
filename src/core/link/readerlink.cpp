// VexaHost - one command exchange with the reader at a time.
#include "readerlink.h"

#include "core/link/transport.h"

namespace vexa {

ReaderLink::ReaderLink(const ReaderAddressing &addressing, QObject *parent)
    : QObject(parent), m_addressing(addressing)
{
    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setParent(this);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ReaderLink::onResponseTimer);
    m_repeatTimer.setSingleShot(true);
    // --interval is a bench's spacing between exchanges: never shorter.
    m_repeatTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_repeatTimer, &QTimer::timeout, this, &ReaderLink::resend);
}

void ReaderLink::dropStoredFrame()
{
    clearCommandBuffer();
    m_commandLength = 0;
    m_repeatTimer.stop();
}

void ReaderLink::storeFrame(const CommandBuffer &frame, int length)
{
    m_command = frame;
    m_commandLength = length;
}

void ReaderLink::storeBuilt(const std::function<int(CommandBuffer &)> &build)
{
    m_commandLength = build(m_command);
}

QByteArray ReaderLink::storedFrame() const
{
    return QByteArray(reinterpret_cast<const char *>(m_command.data()), m_commandLength);
}

void ReaderLink::setTransport(Transport *transport)
{
    if (m_transport == transport)
        return;
    if (m_transport)
        disconnect(m_transport, nullptr, this, nullptr);
    m_transport = transport;
    if (m_transport) {
        connect(m_transport, &Transport::bytesArrived, this, &ReaderLink::onBytesAvailable);
        connect(m_transport, &Transport::pieceArrived, this, &ReaderLink::onPieceAvailable);
        connect(m_transport, &Transport::readFailed, this, &ReaderLink::onReadFailed);
    }
}

void ReaderLink::sendSimpleCommand(uint8_t flags, uint8_t code)
{
    m_commandLength = 8;
    buildSimpleCommand(m_command, flags, code);
    sendFrame();
}

void ReaderLink::sendFrame()
{
    writeFrame(false);
}

bool ReaderLink::writeFrame(bool fromRepeat)
{
    m_timer.start(m_responseTimeoutMs);
    m_receive.clear();

    const QByteArray wire =
        wireFrame(m_command, m_commandLength, m_addressing.addressReader, m_addressing.readerSerialNumber);
    QString error;
    if (!m_transport || !m_transport->write(wire, &error)) {
        if (!m_transport)
            error = tr("No reader interface is selected.");
        if (fromRepeat) {
            // A re-send that fails ends the cycle quietly: nobody is there to
            // answer a message box every two seconds.
            m_timer.stop();
            emit repeatSendFailed(error);
        } else {
            // A port the user may not open: the message says why and how to
            // fix it, and a time-out report after it would only mislead.
            if (m_transport && m_transport->lastFailureFinal())
                m_timer.stop();
            emit sendFailed(error);
        }
        return false;
    }
    emit frameSent(wire);
    return true;
}

void ReaderLink::onBytesAvailable(const QByteArray &bytes)
{
    m_timer.stop();
    m_receive.append(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()));
    m_timer.start(kCompletionGapMs);
    // Fast completion: a block that is already one sound frame needs no
    // silence after it. Anything else waits for the gap as always.
    if (m_fastCompletion && m_receive.holdsOneFrame())
        onResponseTimer();
}

void ReaderLink::onPieceAvailable(const QByteArray &bytes)
{
    m_receive.append(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()));
}

void ReaderLink::onReadFailed()
{
    // The device has gone. Whatever exchange is open ends by its timer: with
    // a time-out report when nothing had arrived, else by judging the block.
}

void ReaderLink::onResponseTimer()
{
    const bool blockArrived = m_timer.interval() == kCompletionGapMs;
    m_timer.stop();

    if (blockArrived) {
        const int count = m_receive.count();
        const int p = findStartByte(m_receive.data(), count);
        if (p >= 0) {
            emit blockReceived(QByteArray(reinterpret_cast<const char *>(m_receive.data() + p), count - p));
            if (m_receive.holdsOneFrame())
                emit responseReady(m_receive.viewFrom(p));
        }
    } else {
        emit timedOut();
    }
    m_receive.clear();
    emit answerJudged();

    if (m_repeat && m_commandLength != 0) {
        if (m_repeatIntervalMs > 0)
            m_repeatTimer.start(m_repeatIntervalMs);
        else
            writeFrame(true);
    }
    emit exchangeEnded();
}

void ReaderLink::resend()
{
    if (m_repeat && m_commandLength != 0 && !busy())
        writeFrame(true);
}

} // namespace vexa
