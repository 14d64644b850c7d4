// VexaHost - one command exchange with the reader at a time.
//
// send: the stored frame is copied, its flags rewritten, the address field
// inserted when addressing, and written; the response timer is armed for
// 2000 ms. Arriving bytes re-arm it for 100 ms. When it fires, a 100 ms
// interval means a block is complete and is judged; 2000 ms means nothing
// arrived. After either, Repeat sends the same stored frame again.
#pragma once

#include <QObject>
#include <QTimer>

#include "core/codecs/readeraddressing.h"
#include "core/wire/frame.h"
#include "core/wire/reception.h"

namespace vexa {

class Transport;

class ReaderLink : public QObject
{
    Q_OBJECT
public:
    static constexpr int kResponseTimeoutMs = 2000;
    static constexpr int kCompletionGapMs = 100;

    explicit ReaderLink(const ReaderAddressing &addressing, QObject *parent = nullptr);

    // The frame last built, kept for Repeat. Builders write here from offset 0.
    CommandBuffer commandBuffer{};
    int commandLength = 0;

    void clearCommandBuffer() { commandBuffer.fill(0); }
    // Builds a parameterless command (n = 8) into commandBuffer and sends it.
    void sendSimpleCommand(uint8_t flags, uint8_t code);
    // Sends commandBuffer/commandLength. An operator-initiated send that the
    // transport refuses emits sendFailed; the armed timer then reports the
    // time-out as for a silent reader.
    void sendFrame();

    void setTransport(Transport *transport);
    Transport *transport() const { return m_transport; }
    void setRepeat(bool on) { m_repeat = on; }
    // How long a send waits for the first byte of its answer.
    void setResponseTimeout(int ms) { m_responseTimeoutMs = ms; }
    // An answer ends as soon as its length is reached and its check passes,
    // instead of after the completion gap. Off unless asked for.
    void setFastCompletion(bool on) { m_fastCompletion = on; }
    bool repeat() const { return m_repeat; }

    const ReceiveBuffer &receiveBuffer() const { return m_receive; }
    int receiveCount() const { return m_receive.count(); }
    QTimer &responseTimer() { return m_timer; }
    // Waiting for or receiving a response.
    bool busy() const { return m_timer.isActive(); }

    // Feeds received bytes as the transport's data event does.
    void onBytesAvailable(const QByteArray &bytes);
    // Gathers bytes of a block that is still coming; the timer runs on.
    void onPieceAvailable(const QByteArray &bytes);

signals:
    void frameSent(const QByteArray &wire);
    void sendFailed(const QString &error);
    // A block has ended, from its first start byte on: the message-view trace.
    void blockReceived(const QByteArray &fromStartByte);
    // A block that is one valid response frame.
    void responseReady(const vexa::FrameView &frame);
    void timedOut();
    // The exchange is over (after its answer, bad block or time-out, and
    // after Repeat's re-send, if any).
    void exchangeEnded();

private:
    void onResponseTimer();
    void onReadFailed();
    bool writeFrame(bool fromRepeat);

    const ReaderAddressing &m_addressing;
    Transport *m_transport = nullptr;
    ReceiveBuffer m_receive;
    QTimer m_timer;
    bool m_repeat = false;
    int m_responseTimeoutMs = kResponseTimeoutMs;
    bool m_fastCompletion = false;
};

} // namespace vexa
