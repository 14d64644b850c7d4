// VexaHost - one reader and everything between it and whoever drives it: the
// link and both transports, the interface choice, port binding, the USB
// library and device changes, the start's exchange, the baud change, the
// reader options and addressing, and Go/Repeat/Pause.
//
// It draws nothing. A window shows its state (status texts, "commands
// available", message-view lines, reports) and calls it; a program without
// a window does the same. Questions for the operator go through the
// OperatorPrompt it is given. Waits are timers, never nested event loops.
#pragma once

#include <functional>
#include <memory>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include "core/codecs/readeroptions.h"
#include "core/session/answer.h"
#include "core/session/command.h"
#include "core/session/commandcycle.h"
#include "core/session/tagevents.h"
#include "core/loader/loaderinterface.h"
#include "core/wire/frame.h"
#include "core/wire/frameview.h"
#include "core/wire/reception.h"

struct AtUsbHidDeviceRecord;

namespace vexa {

class DeviceWatch;
class FirmwareHost;
class SessionFirmwareHost;
class OperatorPrompt;
class ReaderLink;
class SerialTransport;
class TagLog;
class UsbTransport;
struct Report;
enum class LedColour : uint8_t;

class ReaderSession : public QObject
{
    Q_OBJECT
public:
    enum class Interface { Serial, Usb };

    // The port in use as a fact: the chosen COM port and what it is bound
    // to, or the USB library. A window words it.
    struct PortInUse
    {
        Interface interface = Interface::Serial;
        int number = 1;       // COMn, while the interface is serial
        QString device;       // the device the port is bound to; empty: none
        bool gone = false;    // the bound device has gone away
        bool denied = false;  // there, but not for this user
        QString usbLibrary;   // the USB library's path, while on USB
    };
    // The latest news of the connection: the rate talked at, or what the
    // USB device (or the system's device list) last did.
    struct ConnectionState
    {
        enum class Kind {
            Baud,              // value: the rate shown
            UsbNotFound,
            UsbReady,
            UsbDisconnected,
            UsbArrival,
            UsbAlreadyConnected,
            UsbRemoved,
            UsbEvent,          // value: the event's number
            DevicesChanged
        };
        Kind kind = Kind::Baud;
        int value = 9600;
        friend bool operator==(const ConnectionState &, const ConnectionState &) = default;
    };

    // One COM port as the "Port" menu lists it.
    struct PortEntry
    {
        int number = 0;
        QString toolTip; // the device, or why the user may not open it
        bool chosen = false;
        bool denied = false; // there, but not for this user
    };

    // What a start takes from the stored settings and a close gives back.
    struct Settings
    {
        bool usb = false;
        int portNumber = 1;
        int baudRate = 38400;
        ReaderOptions options;
    };

    // About a second for the reader to answer a rate change and switch.
    static constexpr int kBaudSettleMs = 990;

    explicit ReaderSession(OperatorPrompt &prompt, QObject *parent = nullptr);
    ~ReaderSession() override;

    ReaderOptions &options() { return m_options; }
    // The session's parts, for its own tests: front ends use the calls below.
    ReaderLink &link() { return *m_link; }
    SerialTransport &serial() { return *m_serial; }
    UsbTransport &usb() { return *m_usb; }
    CommandCycle &cycle() { return *m_cycle; }
    OperatorPrompt &prompt() { return m_prompt; }

    // --- commands and answers
    // Checks, asks (a lock), builds and sends one command. Every exchange
    // then ends in one answered(): the answer, a time-out or a bad block.
    SendResult send(const Command &command);
    // Go or Pause: `send` sends the command of the cycle (see CommandCycle).
    void go(const std::function<void()> &send);
    // Ends a cycle under way after the answer in flight.
    void pause();
    void setRepeatMode(bool on);
    bool repeatMode() const;
    CommandCycle::State cycleState() const;
    // The pause Repeat makes between an answer and the next send.
    void setRepeatInterval(int ms);
    // How long a send waits for the first byte of its answer.
    void setResponseTimeout(int ms);
    // An answer ends as soon as it is one sound frame, not after the gap.
    void setFastCompletion(bool on);
    // The rate the serial port is set to.
    int serialBaudRate() const;
    // Why the interface last refused a frame (Repeat's re-sends included).
    QString lastSendFailure() const { return m_lastSendFailure; }
    // What the firmware upgrade may ask of the link and the interface.
    FirmwareHost &firmwareHost();
    // Every tag the answers named since the start (or the last clear).
    TagLog &tagLog() { return *m_tagLog; }
    // Which of those tags are present: fed the same answers (an empty
    // inventory too; an error or a management answer never), its events
    // come out as tagEvents().
    TagPresence &tagPresence() { return *m_tagPresence; }
    // How long a tag not named counts as present (TagPresence::kDefaultAbsenceMs).
    void setTagAbsence(int ms) { m_tagPresence->setAbsence(ms); }
    // The serial number of the last version answer on this port (empty
    // before one) and the port: "COMn", the device path, or "USB".
    ReaderIdentity readerIdentity() const;
    Interface interface() const { return m_interface; }

    PortInUse portInUse() const;
    ConnectionState connection() const { return m_connection; }
    bool repeating() const;
    // The reader's feedback as its last setup answer told it (on until one
    // has said otherwise).
    bool ledShownOn() const { return m_ledShownOn; }
    bool audioShownOn() const { return m_audioShownOn; }
    bool commandsAvailable() const { return m_commandsAvailable; }
    // " HH:mm:ss ", renewed every second: the time stamp of reports and
    // message-view lines.
    QString clockText() const { return m_clockText; }
    void tickClock();
    // Frame lines for the message view ("Host --", "Vexa --").
    void setTraceFrames(bool on) { m_traceFrames = on; }
    // The window's rule for a tag answer: reported as the page in view
    // reports it. Without one (no pages) it is the family of the command sent.
    void setVisiblePage(std::optional<TagPage> page) { m_visiblePage = page; }
    LoaderComType bootLoaderComType() const { return m_bootLoaderComType; }
    void setBootLoaderComType(LoaderComType type) { m_bootLoaderComType = type; }
    // Set whenever the USB interface is selected or the device is closed or
    // removed; the firmware upgrade waits on it for the reader's return.
    bool usbDeviceLost() const { return m_usbDeviceLost; }
    void setUsbDeviceLost(bool lost) { m_usbDeviceLost = lost; }

    // --- start and close
    // Takes the stored choice; returns the rate a serial start is still to
    // bring the reader to (runStartExchange), 0 when there is none.
    int begin(const Settings &settings);
    void runStartExchange(int rate);
    // A start for a program that names its interface and rate: the port (or
    // `devicePath`) opens at settings.baudRate with no start exchange, or the
    // USB reader as begin() takes it. False when it did not open (`error`
    // says why for a port; the prompt has told of USB).
    bool beginAtRate(const Settings &settings, const QString &devicePath, QString *error);
    // Repeat off, the port closed, the USB library released; what to store.
    Settings end();
    bool closed() const { return m_closed; }

    // --- the reader interface
    void chooseSerial();
    void chooseUsb();
    // The "Port" menu's entries, probed afresh by refreshPorts().
    const QList<PortEntry> &ports() const { return m_ports; }
    void refreshPorts();
    void choosePort(int number);
    // A port is chosen (or a device path is open), or the link is not the
    // serial port.
    bool linkTalks() const;
    // The rate the "Baud Rate" menu marks and the status bar shows.
    int shownBaudRate() const { return m_shownBaudRate; }
    // Sends the rate command at the old rate, waits kBaudSettleMs, switches
    // the port and reads the reader's setup at the new rate.
    void changeBaudRate(int rate);
    bool changingBaud() const { return m_changingBaud != 0; }
    // A port the user may not open: its device, the reason and the fix.
    static QString deniedPortText(const QString &device);

    // --- USB
    void usbSelect();
    void usbOpen();
    void usbClose();
    void onUsbDeviceChange(unsigned int event, const AtUsbHidDeviceRecord &record);
    void devicesChanged();
    void setAutoReadMode(bool on);

    // --- what the firmware loader does with the link and the devices
    // Repeat off, as its menu item does; nothing when it is off.
    void stopRepeat();
    // An exchange waits for its answer (or its time-out).
    bool awaitingAnswer() const;
    // The command just sent (the reset) goes unanswered: no time-out for it.
    void stopAwaitingAnswer();
    // The version command; once its exchange is over, `over` learns whether
    // the application answered this very command with its version (status
    // 0). A time-out, an error status or a send refused for good is false.
    // A later request replaces the watch.
    void requestVersionThen(std::function<void(bool answered)> over);
    // The loader writes and reads the serial port itself while it captures
    // and transfers; the link sends nothing meanwhile.
    SerialTransport &serialPortForLoader() { return *m_serial; }
    // While the loader has the USB device the poll reads nothing, so that
    // the boot loader's reports reach the loader.
    void suspendUsbPollForLoader();
    void resumeUsbPollAfterLoader();
    bool usbDeviceOpen() const;
    // The boot loader's raw exchange: one report out (false when nothing was
    // sent), or one waiting report in (empty when none).
    bool writeUsbReport(QByteArrayView block);
    QByteArray readUsbReport();
    // "USB Reconnected" in the message view: the loader's device is open.
    void noteUsbReconnected();

    // --- reader management and configuration
    void requestVersion();
    void requestInfo();
    void requestSetup();
    void resetReader();
    void runTest();
    void requestLoaderInfo();
    void sendWiegandMode(int modeIndex);
    // Refuses (with the operator's warning) a user key holding anything but
    // hexadecimal digits; a shorter key goes out padded with zero bytes.
    void sendEncryption(bool userKey, const QString &keyText, bool plainText);
    void setAddressing(const ReaderAddressing &addressing);
    void sendFeedback();
    void activateLed(LedColour colour, const QString &timeText);
    void activateAudio(const QString &timeText);
    void setRfTransmitter(bool on);

signals:
    void portInUseChanged(const vexa::ReaderSession::PortInUse &port);
    void connectionChanged(const vexa::ReaderSession::ConnectionState &connection);
    void repeatingChanged(bool on);
    void ledShownChanged(bool on);
    void audioShownChanged(bool on);
    void addressingChanged(const vexa::ReaderAddressing &addressing);
    void commandsAvailableChanged(bool available);
    void interfaceChanged(vexa::ReaderSession::Interface interface);
    void portsChanged();
    void baudRateShown(int rate);
    void clockChanged(const QString &text);
    // A line for the message view.
    void messageLine(const QString &line);
    // One exchange's outcome, before Repeat sends again.
    void answered(const vexa::Answer &answer);
    // What the answer's tags (or the leave timer) mean over time: emitted
    // just before the exchange's answered().
    void tagEvents(const QList<vexa::TagEvent> &events);
    void cycleStateChanged(vexa::CommandCycle::State state);
    void autoReadLine(const QString &line);
    // Traffic, for the Tx and Rx lights: out, in, the block judged (Rx
    // out), a USB poll (Tx out).
    void transmitted();
    void received();
    void receiveEnded();
    void pollStarted();

private:
    void setConnection(ConnectionState::Kind kind, int value = 0);
    void showPort();
    void setCommandsAvailable(bool available);
    void showBaudRate(int rate);
    void finishBaudChange();
    void releaseUsbForSerial();
    const PortEntry *portEntry(int number) const;
    void onResponse(const FrameView &frame);
    template<typename Request, typename Check, typename Confirmation, typename Build>
    SendResult sendTagRequest(const Request &request, Check check, Confirmation confirmation, Build build);
    void sendManagementCommand(uint8_t code);
    void sendBuilt(const std::function<int(CommandBuffer &)> &build);
    void stopWatchingVersion();

    OperatorPrompt &m_prompt;
    ReaderOptions m_options;
    SerialTransport *m_serial = nullptr;
    UsbTransport *m_usb = nullptr;
    ReaderLink *m_link = nullptr;
    CommandCycle *m_cycle = nullptr;
    DeviceWatch *m_deviceWatch = nullptr;
    std::unique_ptr<SessionFirmwareHost> m_firmwareHost;
    // The version request's exchange, while requestVersionThen watches it.
    QMetaObject::Connection m_versionAnswer, m_versionEnd, m_versionRefused;
    TagLog *m_tagLog = nullptr;
    TagPresence *m_tagPresence = nullptr;
    QString m_readerSerial;
    // The frame in flight (an answer names its tag through it), the family
    // its answer is reported as, and the answer until the exchange ends.
    QByteArray m_sentRequest;
    TagPage m_sentPage = TagPage::Iso15693;
    ResponseFamily m_pendingFamily = ResponseFamily::Management;
    std::optional<Answer> m_pending;
    bool m_sendFailed = false;
    QString m_lastSendFailure;
    QTimer m_clock;
    QTimer m_baudSettle;
    Interface m_interface = Interface::Serial;
    ConnectionState m_connection;
    bool m_ledShownOn = true;
    bool m_audioShownOn = true;
    QString m_clockText;
    QList<PortEntry> m_ports;
    std::optional<TagPage> m_visiblePage;
    bool m_commandsAvailable = true;
    bool m_traceFrames = false;
    bool m_chosenPortDenied = false;
    // What the port panel names: the USB library, or a COM port (the one
    // chosen last, which the port may since have lost).
    bool m_portShownUsb = false;
    int m_portShownNumber = 1;
    bool m_usbDeviceLost = false;
    bool m_closed = false;
    LoaderComType m_bootLoaderComType = LoaderComType::Unknown;
    int m_shownBaudRate = 9600;
    int m_changingBaud = 0; // the rate of the change under way
    int m_storedPortNumber = 1;
};

} // namespace vexa
