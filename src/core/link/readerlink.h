// VexaHost - one command exchange with the reader at a time.
//
// send: the stored frame is copied, its flags rewritten, the address field
// inserted when addressing, and written; the response timer is armed for
// 2000 ms. Arriving bytes re-arm it for 100 ms. When it fires, a 100 ms
// interval means a block is complete and is judged; 2000 ms means nothing
// arrived. After either, Repeat sends the same stored frame again.
#pragma once

#include <functional>
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

    // The frame last built is kept for Repeat; only the link holds it.
    void clearCommandBuffer() { m_command.fill(0); }
    // Nothing is left for Repeat to send (Pause, Repeat off), and a re-send
    // waiting for its interval is called off.
    void dropStoredFrame();
    void storeFrame(const CommandBuffer &frame, int length);
    // Builds into the kept buffer as it is: a builder that writes only some
    // bytes leaves the earlier ones, as the reader has always seen them.
    void storeBuilt(const std::function<int(CommandBuffer &)> &build);
    int storedLength() const { return m_commandLength; }
    // The kept frame (without address field), as it was built.
    QByteArray storedFrame() const;
    // Builds a parameterless command (n = 8) into the kept buffer and sends it.
    void sendSimpleCommand(uint8_t flags, uint8_t code);
    // Sends the kept frame. An operator-initiated send that the transport
    // refuses emits sendFailed; the armed timer then reports the time-out as
    // for a silent reader.
    void sendFrame();

    void setTransport(Transport *transport);
    Transport *transport() const { return m_transport; }
    void setRepeat(bool on) { m_repeat = on; }
    // Repeat's pause between an exchange's end and the next send; 0: at once.
    void setRepeatInterval(int ms) { m_repeatIntervalMs = ms; }
    int repeatInterval() const { return m_repeatIntervalMs; }
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
    // Repeat's re-send was refused by the interface: the cycle is over.
    void repeatSendFailed(const QString &error);
    // A block has ended, from its first start byte on: the message-view trace.
    void blockReceived(const QByteArray &fromStartByte);
    // A block that is one valid response frame.
    void responseReady(const vexa::FrameView &frame);
    void timedOut();
    // The answer (or its absence) has been judged; Repeat's re-send follows.
    void answerJudged();
    // The exchange is over (after its answer, bad block or time-out, and
    // after Repeat's re-send, if any).
    void exchangeEnded();

private:
    void onResponseTimer();
    void onReadFailed();
    bool writeFrame(bool fromRepeat);
    void resend();

    const ReaderAddressing &m_addressing;
    Transport *m_transport = nullptr;
    ReceiveBuffer m_receive;
    CommandBuffer m_command{};
    int m_commandLength = 0;
    QTimer m_timer;
    QTimer m_repeatTimer;
    bool m_repeat = false;
    int m_repeatIntervalMs = 0;
    int m_responseTimeoutMs = kResponseTimeoutMs;
    bool m_fastCompletion = false;
};

} // namespace vexa
