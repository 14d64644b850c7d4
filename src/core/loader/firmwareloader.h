// VexaHost - the boot loader's side of a firmware upgrade: captures the
// loader (over the serial port or USB), sends the firmware file to it and
// tells it to start the new firmware.
//
// Nothing here waits in place: every wait is a state that a timer, the
// serial port's data or the packet watcher ends, so whatever shows it (a
// window, or nothing) stays responsive and no other handler runs inside a
// step. Its state reaches the outside as plain values and signals; every
// question goes to the operator prompt.
//
// Over USB the loader talks to the device itself while the link's poll is
// suspended: each exchange is one report out, then reads 50 ms apart.
#pragma once

#include <functional>
#include <memory>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include "core/loader/firmwareoutcome.h"
#include "core/loader/loaderinterface.h"
#include "core/loader/loaderprotocol.h"

namespace vexa {

class FirmwareTransfer;
class LoaderUsbLink;
class OperatorPrompt;
class PacketWatcher;
class SerialTransport;

class FirmwareLoader : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Idle,
        SerialCapture,  // capture characters out until an answer, a time-out or a line error
        QuietLine,      // late answers to capture characters drain away
        UsbSelect,      // the reset's answer may come before USB is chosen
        UsbLeaving,     // the application's device goes
        UsbArriving,    // the loader's device comes
        UsbProbe,       // capture reports until the loader answers or 4 s pass
        SerialTransfer, // one packet out, its answer awaited
        UsbTransfer,
        UsbGo,          // the go report out; the loader leaves without answering
    };

    // `resetReader` sends the reader's reset command through the reader link.
    FirmwareLoader(SerialTransport &serial, LoaderUsbLink &usb, OperatorPrompt &prompt,
                   std::function<void()> resetReader, QObject *parent = nullptr);
    ~FirmwareLoader() override;

    // Before each upgrade: the file "&Program" sends, the loader's transport
    // (Serial the serial port, anything else USB) and the interface the
    // upgrade began on.
    void prepare(const QString &firmwarePath, LoaderComType bootLoaderComType,
                 UpgradeInterface upgradeInterface = UpgradeInterface::Serial);
    const QString &firmwarePath() const { return m_path; }

    // The operator sees the loader now: the capture starts shortly, and the
    // go command is owed once go() comes.
    void begin();
    void capture();
    void program();
    // Tells a captured loader to start its firmware (over USB always), once
    // per begin(); goDone() follows, over USB once the report's exchange is
    // over. While that runs the loader is busy; while it is busy otherwise,
    // nothing is sent and goDone() does not come.
    void go();
    // Stops what runs at its next safe point, for a program that was told
    // to stop: a transfer once the packet in flight is answered, a capture
    // at its next question (answered No). The outcome is Cancelled.
    void cancel();

    State state() const { return m_state; }
    // A capture, a transfer or the USB go command is running.
    bool busy() const { return m_state != State::Idle; }
    bool programAvailable() const { return m_programAvailable; }
    const QString &status() const { return m_status; }
    // How the loader's part ended: the last capture, transfer or go. Read
    // once the loader is left; Succeeded means the image was acknowledged
    // to its last packet and the go command went out.
    const FirmwareEnd &outcome() const { return m_outcome; }
    int progress() const { return m_progress; }
    int progressMaximum() const { return m_progressMaximum; }

signals:
    void statusChanged(const QString &text);
    void progressChanged(int value, int maximum);
    void programAvailableChanged(bool available);
    void busyChanged(bool busy);
    // The operator is kept waiting (the hour-glass), or no longer.
    void waitCursorChanged(bool waiting);
    void goDone();

private:
    enum class Exchange { None, Probe, Packet };

    void setState(State state);
    void setStatus(const QString &text);
    void setProgress(int value, int maximum);
    void setProgramAvailable(bool available);
    void setWaitCursor(bool waiting);
    void setOutcome(FirmwareOutcome outcome, const QString &reason = {});
    // Asks whether to capture again; false (and the capture over) for No.
    bool askRetry(bool restoreIdleTimeout);
    void endCapture();

    void startSerialCapture();
    void sendCaptureCharacter();
    void serialCaptureEnded();
    void onQuietLineOver();

    void startUsbCapture();
    void usbLeavingTurn();
    void usbArrivingTurn();
    void usbProbe();
    void usbCaptureEnded(bool answered);
    void retryUsbCapture();

    void sendPacket();
    void onTransferReply(LoaderReply reply);
    void endTransfer();
    void failTransfer(const QString &status, const QString &caption, const QString &text);

    // A USB exchange: `block` out, then reads 50 ms apart.
    // False when the block could not be sent.
    bool startExchange(const QByteArray &block, Exchange kind, bool untilGone);
    void exchangeTick();
    void exchangeEnded(const QByteArray &report);
    void dropStaleReports();
    LoaderReply judgeUsbReply(const QByteArray &report);

    void goNotSent(const QString &error);

    void onStepTimer();
    void onReplyTimeout();
    void onPacket(const QByteArray &packet);
    void onPacketTimeout();
    void onLineBytes();

    SerialTransport &m_serial;
    LoaderUsbLink &m_usb;
    OperatorPrompt &m_prompt;
    std::function<void()> m_resetReader;
    PacketWatcher *m_watcher = nullptr;
    std::unique_ptr<FirmwareTransfer> m_transfer;

    QTimer m_timeoutTimer;      // the loader's time-out
    QTimer m_captureTickTimer;  // one capture character per tick
    QTimer m_startCaptureTimer; // the capture, once the operator sees the loader
    QTimer m_stepTimer;         // the USB turns and reads, the pauses between them
    QTimer m_quietTimer;
    QTimer m_quietLimitTimer;

    State m_state = State::Idle;
    QString m_path;
    QString m_status;
    QString m_lineError;
    FirmwareEnd m_outcome;
    QByteArray m_reply; // the loader's last answer (a USB answer's first three bytes)
    LoaderComType m_comType = LoaderComType::Serial;
    UpgradeInterface m_upgradeInterface = UpgradeInterface::Serial;
    int m_progress = 0;
    int m_progressMaximum = 100;
    int m_failedAttempts = 0; // silent serial captures in a row
    int m_turns = 0;          // USB capture turns since the last question
    bool m_programAvailable = false;
    bool m_waitCursor = false;
    bool m_goPending = false;
    bool m_cancelled = false;
    bool m_replyTimedOut = false;
    bool m_packetReceived = false;

    Exchange m_exchange = Exchange::None;
    bool m_exchangeUntilGone = false;
    bool m_exchangeLastWait = false; // a probe waits once more after its last read
    int m_exchangeReadsLeft = 0;
};

} // namespace vexa
