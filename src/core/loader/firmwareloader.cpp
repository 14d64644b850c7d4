// VexaHost - the boot loader's side of a firmware upgrade: capture,
// transfer, go.
#include "firmwareloader.h"

#include "core/link/serialtransport.h"
#include "core/loader/firmwarefile.h"
#include "core/loader/firmwaretransfer.h"
#include "core/loader/loaderprotocol.h"
#include "core/loader/loaderusblink.h"
#include "core/loader/packetwatcher.h"
#include "core/util/operatorprompt.h"

namespace vexa {

namespace {

constexpr int kCaptureTickMs = 10;
constexpr int kLoaderTimeoutMs = 4000;
constexpr int kIdleTimeoutMs = 1000;
constexpr int kStartCaptureMs = 50;
constexpr int kSilentCaptureAttempts = 3;
constexpr int kQuietLineMs = 100;
constexpr int kQuietLineLimitMs = 1000;
// USB capture: 10 ms turns while the reader leaves and the loader arrives.
constexpr int kUsbTurnMs = 10;
constexpr int kUsbLeaveTurns = 700;
constexpr int kUsbArriveTurns = 500;
constexpr int kSelectUsbMs = 500;
constexpr int kUsbReplyWaitMs = 50;
constexpr int kProbeReads = 20;
constexpr int kExchangeReads = 40;
// Reports a device may have queued before a probe or packet: answers that
// came after their exchange had given up.
constexpr int kMaxStaleReports = 64;

const QString kRetryCapture = QStringLiteral("Could not capture loader, retry?");
const QString kNotAnswered = QStringLiteral("The reader's boot loader did not answer the capture.");

QString packetNumber(uint8_t sequence)
{
    return QStringLiteral("%1").arg(sequence, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

FirmwareLoader::FirmwareLoader(SerialTransport &serial, LoaderUsbLink &usb, OperatorPrompt &prompt,
                               std::function<void()> resetReader, QObject *parent)
    : QObject(parent), m_serial(serial), m_usb(usb), m_prompt(prompt), m_resetReader(std::move(resetReader))
{
    m_timeoutTimer.setObjectName(QStringLiteral("TimerTimeOut"));
    m_timeoutTimer.setParent(this);
    m_timeoutTimer.setInterval(kIdleTimeoutMs);
    connect(&m_timeoutTimer, &QTimer::timeout, this, &FirmwareLoader::onReplyTimeout);
    m_captureTickTimer.setObjectName(QStringLiteral("TimerOutA"));
    m_captureTickTimer.setParent(this);
    m_captureTickTimer.setInterval(kCaptureTickMs);
    connect(&m_captureTickTimer, &QTimer::timeout, this, &FirmwareLoader::sendCaptureCharacter);
    m_startCaptureTimer.setObjectName(QStringLiteral("TimerGoCapture"));
    m_startCaptureTimer.setParent(this);
    m_startCaptureTimer.setInterval(kStartCaptureMs);
    m_startCaptureTimer.setSingleShot(true);
    connect(&m_startCaptureTimer, &QTimer::timeout, this, &FirmwareLoader::capture);

    // Coarse, as the loader's other timers: precise 50 ms reads add the
    // step's own work to every report, and a USB transfer took 2 % longer.
    for (QTimer *timer : {&m_stepTimer, &m_quietTimer, &m_quietLimitTimer}) {
        timer->setParent(this);
        timer->setSingleShot(true);
    }
    connect(&m_stepTimer, &QTimer::timeout, this, &FirmwareLoader::onStepTimer);
    connect(&m_quietTimer, &QTimer::timeout, this, &FirmwareLoader::onQuietLineOver);
    connect(&m_quietLimitTimer, &QTimer::timeout, this, &FirmwareLoader::onQuietLineOver);
    connect(&serial, &Transport::bytesArrived, this, &FirmwareLoader::onLineBytes);

    // Queued: a reply's step may ask the operator, and a box opened while
    // the port is still handing out its data would hold back every byte
    // that arrives until it closes, the reader link's included.
    m_watcher = new PacketWatcher(serial, this);
    connect(m_watcher, &PacketWatcher::packetReceived, this, &FirmwareLoader::onPacket, Qt::QueuedConnection);
    connect(m_watcher, &PacketWatcher::packetTimedOut, this, &FirmwareLoader::onPacketTimeout, Qt::QueuedConnection);
}

FirmwareLoader::~FirmwareLoader() = default;

void FirmwareLoader::prepare(const QString &firmwarePath, LoaderComType bootLoaderComType,
                             UpgradeInterface upgradeInterface)
{
    m_path = firmwarePath;
    m_comType = bootLoaderComType;
    m_upgradeInterface = upgradeInterface;
    setProgramAvailable(false);
    setProgress(0, m_progressMaximum);
    setStatus(QString());
    m_timeoutTimer.setInterval(kIdleTimeoutMs);
    m_cancelled = false;
    setOutcome(FirmwareOutcome::Cancelled, QStringLiteral("The loader was left before it was captured."));
}

void FirmwareLoader::begin()
{
    m_goPending = true;
    m_startCaptureTimer.start();
}

// --- plain values

void FirmwareLoader::setState(State state)
{
    const bool wasBusy = busy();
    m_state = state;
    if (busy() != wasBusy)
        emit busyChanged(busy());
}

void FirmwareLoader::setStatus(const QString &text)
{
    m_status = text;
    emit statusChanged(text);
}

void FirmwareLoader::setProgress(int value, int maximum)
{
    m_progress = value;
    m_progressMaximum = maximum;
    emit progressChanged(value, maximum);
}

void FirmwareLoader::setProgramAvailable(bool available)
{
    if (available == m_programAvailable)
        return;
    m_programAvailable = available;
    emit programAvailableChanged(available);
}

void FirmwareLoader::setOutcome(FirmwareOutcome outcome, const QString &reason)
{
    m_outcome = {outcome, reason};
}

void FirmwareLoader::setWaitCursor(bool waiting)
{
    if (waiting == m_waitCursor)
        return;
    m_waitCursor = waiting;
    emit waitCursorChanged(waiting);
}

// --- events, each taken only by the state that waits for it

void FirmwareLoader::onReplyTimeout()
{
    m_timeoutTimer.stop();
    m_replyTimedOut = true;
    if (m_state == State::SerialCapture)
        serialCaptureEnded();
    else if (m_state == State::SerialTransfer)
        onTransferReply(LoaderReply::None);
    // A USB probe under way finishes first; the time-out is read after it.
}

void FirmwareLoader::onPacket(const QByteArray &packet)
{
    m_reply = packet;
    m_packetReceived = true;
    if (m_state == State::SerialCapture)
        serialCaptureEnded();
    else if (m_state == State::SerialTransfer)
        onTransferReply(parseSerialReply(packet));
}

void FirmwareLoader::onPacketTimeout()
{
    m_packetReceived = false;
    if (m_state == State::SerialTransfer)
        onTransferReply(LoaderReply::None);
}

void FirmwareLoader::onLineBytes()
{
    if (m_state == State::QuietLine)
        m_quietTimer.start(kQuietLineMs);
}

void FirmwareLoader::onStepTimer()
{
    if (m_exchange != Exchange::None) {
        exchangeTick();
        return;
    }
    switch (m_state) {
    case State::UsbSelect:
        m_usb.selectUsb();
        m_replyTimedOut = false;
        m_usb.setPollSuspended(true);
        usbLeavingTurn();
        break;
    case State::UsbLeaving:
        if (m_turns++ >= kUsbLeaveTurns) {
            setOutcome(FirmwareOutcome::NoLoader,
                       QStringLiteral("The reader did not leave for its boot loader after the reset."));
            retryUsbCapture();
            return;
        }
        m_usb.openDevice();
        usbLeavingTurn();
        break;
    case State::UsbArriving:
        if (m_turns++ >= kUsbArriveTurns) {
            setOutcome(FirmwareOutcome::NoLoader,
                       QStringLiteral("The boot loader's USB device did not appear after the reset."));
            retryUsbCapture();
            return;
        }
        usbArrivingTurn();
        break;
    case State::UsbProbe:
        // The pause between two probes is over.
        if (m_replyTimedOut)
            usbCaptureEnded(false);
        else
            usbProbe();
        break;
    default:
        break;
    }
}

// --- capture

void FirmwareLoader::capture()
{
    m_startCaptureTimer.stop();
    if (busy())
        return;
    m_failedAttempts = 0;
    m_turns = 0;
    if (m_comType == LoaderComType::Serial)
        startSerialCapture();
    else
        startUsbCapture();
}

bool FirmwareLoader::askRetry(bool restoreIdleTimeout)
{
    setWaitCursor(false);
    if (m_cancelled)
        setOutcome(FirmwareOutcome::Cancelled, QStringLiteral("Stopped before the boot loader was captured."));
    else if (m_prompt.confirm(kRetryCapture))
        return true;
    if (restoreIdleTimeout)
        m_timeoutTimer.setInterval(kIdleTimeoutMs);
    setStatus(QString());
    endCapture();
    return false;
}

void FirmwareLoader::endCapture()
{
    setWaitCursor(false);
    setState(State::Idle);
}

void FirmwareLoader::startSerialCapture()
{
    setStatus(QStringLiteral("Capturing loader function, please wait..."));
    setWaitCursor(true);
    setState(State::SerialCapture);
    m_lineError.clear();
    m_resetReader();
    m_replyTimedOut = false;
    m_packetReceived = false;
    m_captureTickTimer.start(kCaptureTickMs);
    m_timeoutTimer.setInterval(kLoaderTimeoutMs);
    m_timeoutTimer.start();
}

void FirmwareLoader::sendCaptureCharacter()
{
    if (m_state != State::SerialCapture) {
        m_captureTickTimer.stop();
        return;
    }
    m_captureTickTimer.start(kCaptureTickMs);
    m_packetReceived = false;
    m_serial.clearInput();
    m_watcher->disarm();
    m_watcher->arm();
    QString error;
    if (!m_serial.write(QByteArray(1, loader::kCapture), &error)) {
        m_lineError = error;
        serialCaptureEnded();
    }
}

void FirmwareLoader::serialCaptureEnded()
{
    m_captureTickTimer.stop();
    m_timeoutTimer.stop();
    m_watcher->disarm();

    if (!m_lineError.isEmpty()) {
        setOutcome(FirmwareOutcome::LineLost, m_lineError);
        setWaitCursor(false);
        setStatus(QStringLiteral("Communication error"));
        m_prompt.error(m_lineError);
        m_timeoutTimer.setInterval(kIdleTimeoutMs);
        endCapture();
        return;
    }
    if (!m_packetReceived) {
        if (++m_failedAttempts < kSilentCaptureAttempts) {
            startSerialCapture();
            return;
        }
        setOutcome(FirmwareOutcome::NoLoader, kNotAnswered);
        if (!askRetry(false))
            return;
        m_failedAttempts = 0;
        startSerialCapture();
        return;
    }
    setWaitCursor(false);
    if (parseSerialReply(m_reply) == LoaderReply::Ack) {
        // Answers to capture characters sent just before the first answer
        // came may still be on their way; they must not pass for the answer
        // to the first packet. Wait until the line has been quiet, then
        // drop them.
        setState(State::QuietLine);
        m_quietTimer.start(kQuietLineMs);
        m_quietLimitTimer.start(kQuietLineLimitMs);
        return;
    }
    setOutcome(FirmwareOutcome::LoaderRefused, QStringLiteral("The reader's boot loader refused the capture."));
    if (!askRetry(true))
        return;
    m_failedAttempts = 0;
    startSerialCapture();
}

void FirmwareLoader::onQuietLineOver()
{
    m_quietTimer.stop();
    m_quietLimitTimer.stop();
    if (m_state != State::QuietLine)
        return;
    m_serial.clearInput();
    setOutcome(FirmwareOutcome::Cancelled, QStringLiteral("The loader was left before the firmware was programmed."));
    setProgramAvailable(true);
    setStatus(QStringLiteral("Loader captured"));
    endCapture(); // the loader time-out stays at 4000 ms for the transfer
}

void FirmwareLoader::startUsbCapture()
{
    setStatus(QStringLiteral("Resetting reader, please wait..."));
    setWaitCursor(true);
    setState(State::UsbSelect);
    m_usb.clearDeviceLost();
    m_resetReader();
    m_usb.stopResponseTimer();
    if (m_upgradeInterface == UpgradeInterface::Serial) {
        m_stepTimer.start(kSelectUsbMs);
        return;
    }
    m_replyTimedOut = false;
    m_usb.setPollSuspended(true);
    usbLeavingTurn();
}

void FirmwareLoader::usbLeavingTurn()
{
    // The application's device leaves. Opening it again each turn also
    // notices a reader that left without a removal notice.
    if (m_usb.isOpen() && !m_usb.deviceLost()) {
        setState(State::UsbLeaving);
        m_stepTimer.start(kUsbTurnMs);
        return;
    }
    // The loader's device arrives; the link's arrival handling opens it.
    setStatus(QStringLiteral("Waiting for loader, please wait..."));
    setState(State::UsbArriving);
    usbArrivingTurn();
}

void FirmwareLoader::usbArrivingTurn()
{
    if (!m_usb.isOpen()) {
        m_stepTimer.start(kUsbTurnMs);
        return;
    }
    setStatus(QStringLiteral("Connecting to loader, please wait..."));
    setState(State::UsbProbe);
    m_usb.noteReconnected();
    m_timeoutTimer.setInterval(kLoaderTimeoutMs);
    m_timeoutTimer.start();
    if (m_replyTimedOut)
        usbCaptureEnded(false);
    else
        usbProbe();
}

void FirmwareLoader::usbProbe()
{
    startExchange(QByteArray(loader::kUsbReportBytes, loader::kCapture), Exchange::Probe, false);
}

void FirmwareLoader::usbCaptureEnded(bool answered)
{
    // A refusal is the loader answering too: it is there. A time-out that
    // came while the answering probe ran still counts.
    if (answered)
        m_timeoutTimer.stop();
    if (m_replyTimedOut) {
        setOutcome(FirmwareOutcome::NoLoader, kNotAnswered);
        retryUsbCapture();
        return;
    }
    setWaitCursor(false);
    setOutcome(FirmwareOutcome::Cancelled, QStringLiteral("The loader was left before the firmware was programmed."));
    setProgramAvailable(true);
    setStatus(QStringLiteral("Loader captured"));
    m_timeoutTimer.setInterval(kIdleTimeoutMs);
    endCapture();
}

void FirmwareLoader::retryUsbCapture()
{
    if (!askRetry(true))
        return;
    m_turns = 0;
    startUsbCapture();
}

// --- USB exchanges

void FirmwareLoader::dropStaleReports()
{
    // The loader's answers carry no packet number: an answer that came too
    // late for its packet would otherwise pass for the next packet's.
    for (int n = 0; n < kMaxStaleReports && !m_usb.readReport().isEmpty(); ++n) {
    }
}

LoaderReply FirmwareLoader::judgeUsbReply(const QByteArray &report)
{
    m_reply = report.left(3);
    // Anything but an acknowledgement or a refusal is no answer at all.
    const LoaderReply reply = parseUsbReply(report);
    return reply == LoaderReply::Ack || reply == LoaderReply::Nak ? reply : LoaderReply::None;
}

bool FirmwareLoader::startExchange(const QByteArray &block, Exchange kind, bool untilGone)
{
    dropStaleReports();
    const bool sent = m_usb.writeReport(block);
    m_exchange = kind;
    m_exchangeUntilGone = untilGone;
    m_exchangeLastWait = false;
    m_exchangeReadsLeft = kind == Exchange::Probe ? kProbeReads : kExchangeReads;
    m_stepTimer.start(kUsbReplyWaitMs);
    return sent;
}

void FirmwareLoader::exchangeTick()
{
    if (m_exchangeLastWait) {
        exchangeEnded({});
        return;
    }
    // A device that has left has nothing more to say.
    if (m_exchangeUntilGone && !m_usb.isOpen()) {
        exchangeEnded({});
        return;
    }
    const QByteArray report = m_usb.readReport();
    --m_exchangeReadsLeft;
    if (!report.isEmpty() || (m_exchangeReadsLeft <= 0 && m_exchange != Exchange::Probe)) {
        exchangeEnded(report);
        return;
    }
    m_exchangeLastWait = m_exchangeReadsLeft <= 0;
    m_stepTimer.start(kUsbReplyWaitMs);
}

void FirmwareLoader::exchangeEnded(const QByteArray &report)
{
    m_exchange = Exchange::None;
    const LoaderReply reply = judgeUsbReply(report);
    switch (m_state) {
    case State::UsbProbe:
        if (reply != LoaderReply::None)
            usbCaptureEnded(true);
        else
            m_stepTimer.start(kUsbTurnMs);
        break;
    case State::UsbTransfer:
        onTransferReply(reply);
        break;
    case State::UsbGo:
        setProgramAvailable(false);
        setState(State::Idle);
        emit goDone();
        break;
    default:
        break;
    }
}

// --- transfer

void FirmwareLoader::failTransfer(const QString &status, const QString &caption, const QString &text)
{
    setWaitCursor(false);
    setStatus(status);
    m_prompt.titledMessage(OperatorPrompt::Kind::Error, caption, text);
}

void FirmwareLoader::program()
{
    if (busy() || !m_programAvailable)
        return;
    const bool usb = m_comType != LoaderComType::Serial;
    setState(usb ? State::UsbTransfer : State::SerialTransfer);
    setWaitCursor(true);
    setStatus(QStringLiteral("Loading firmware, please wait..."));

    // Read now: the file may have changed or gone since it was chosen.
    const FirmwareRead read = readFirmwareFile(m_path);
    if (!read.error.isEmpty()) {
        setOutcome(FirmwareOutcome::RefusedFile, read.error);
        failTransfer(QStringLiteral("File read error"), QStringLiteral("File Error"), read.error);
        endTransfer();
        return;
    }
    m_transfer = std::make_unique<FirmwareTransfer>(read.bytes, usb ? LoaderFraming::Usb : LoaderFraming::Serial);
    setProgress(0, int(m_transfer->size()));
    if (!usb)
        m_timeoutTimer.setInterval(kLoaderTimeoutMs);
    sendPacket();
}

void FirmwareLoader::sendPacket()
{
    if (m_state == State::UsbTransfer) {
        // The exchange waits for the answer itself (at most 40 reads).
        startExchange(m_transfer->packet(), Exchange::Packet, false);
        return;
    }
    m_serial.clearInput();
    m_watcher->arm();
    m_packetReceived = false;
    m_replyTimedOut = false;
    QString error;
    if (!m_serial.write(m_transfer->packet(), &error)) {
        setOutcome(FirmwareOutcome::LineLost, QStringLiteral("Packet %1 could not be sent: %2")
                                                  .arg(packetNumber(m_transfer->sequenceNumber()), error));
        failTransfer(QStringLiteral("File read error"), QStringLiteral("File Error"),
                     QStringLiteral("Can't perform one of the following file operations: Open, Seek, Read, Close.\n")
                         + error);
        endTransfer();
        return;
    }
    m_timeoutTimer.start();
}

void FirmwareLoader::onTransferReply(LoaderReply reply)
{
    m_timeoutTimer.stop();
    const QString number = packetNumber(m_transfer->sequenceNumber());
    const FirmwareTransfer::Step step = m_transfer->onReply(reply);
    if (!step.status.isEmpty())
        setStatus(step.status);
    if (step.outcome == FirmwareTransfer::Outcome::Continue && m_cancelled) {
        setOutcome(FirmwareOutcome::Cancelled,
                   QStringLiteral("Stopped after packet %1; the boot loader holds part of the image.").arg(number));
        endTransfer();
        return;
    }
    if (step.outcome == FirmwareTransfer::Outcome::Continue) {
        setProgress(int(m_transfer->acknowledged()), m_progressMaximum);
        sendPacket();
        return;
    }
    setWaitCursor(false);
    if (step.outcome == FirmwareTransfer::Outcome::Failed) {
        // The reply that ended the transfer says which: refusals to the
        // last, or an answer that did not come.
        if (reply == LoaderReply::Nak)
            setOutcome(FirmwareOutcome::LoaderRefused,
                       QStringLiteral("The boot loader refused packet %1 five times in a row (%2).")
                           .arg(number, step.caption));
        else
            setOutcome(FirmwareOutcome::LineLost,
                       QStringLiteral("The boot loader did not answer packet %1 (%2).").arg(number, step.caption));
        setStatus(step.status);
        m_prompt.titledDismissable(OperatorPrompt::Kind::Error, step.caption, step.message);
    } else {
        setOutcome(FirmwareOutcome::Succeeded);
        m_prompt.information(step.message);
        setProgress(0, m_progressMaximum);
        m_watcher->disarm();
    }
    endTransfer();
}

void FirmwareLoader::endTransfer()
{
    m_transfer.reset();
    setWaitCursor(false);
    setState(State::Idle);
}

void FirmwareLoader::cancel()
{
    m_cancelled = true;
}

// --- go

void FirmwareLoader::goNotSent(const QString &error)
{
    // An image acknowledged to its last packet is no upgrade until the
    // loader is told to start it.
    if (m_outcome.outcome == FirmwareOutcome::Succeeded)
        setOutcome(FirmwareOutcome::LineLost, QStringLiteral("The go command could not be sent: %1").arg(error));
}

void FirmwareLoader::go()
{
    if (busy())
        return;
    m_startCaptureTimer.stop();
    if (!m_goPending) {
        emit goDone();
        return;
    }
    m_goPending = false;
    m_watcher->disarm();
    if (m_comType != LoaderComType::Serial) {
        // Always over USB; the loader leaves without answering.
        setState(State::UsbGo);
        if (!startExchange(goCommand(LoaderFraming::Usb), Exchange::Packet, true))
            goNotSent(QStringLiteral("the USB device took no report"));
        return;
    }
    // Only a captured serial loader is told to go.
    if (m_programAvailable) {
        QString error;
        if (!m_serial.write(goCommand(LoaderFraming::Serial), &error))
            goNotSent(error);
    }
    setProgramAvailable(false);
    emit goDone();
}

} // namespace vexa
