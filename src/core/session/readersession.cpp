// VexaHost - the reader session.
#include "readersession.h"

#include <QDateTime>
#include <QTime>
#include <type_traits>
#include <utility>

#include "core/codecs/configframes.h"
#include "core/codecs/iso14443.h"
#include "core/codecs/iso15693.h"
#include "core/codecs/tagit.h"
#include "core/codecs/management.h"
#include "core/link/devicewatch.h"
#include "core/link/portmap.h"
#include "core/link/readerlink.h"
#include "core/link/serialtransport.h"
#include "core/link/usbtransport.h"
#include "core/session/commandcycle.h"
#include "core/session/sessionfirmwarehost.h"
#include "core/session/taglog.h"
#include "core/util/hextext.h"
#include "core/util/operatorprompt.h"

namespace vexa {

ReaderSession::ReaderSession(OperatorPrompt &prompt, QObject *parent) : QObject(parent), m_prompt(prompt)
{
    setObjectName(QStringLiteral("ReaderSession"));
    m_serial = new SerialTransport(this);
    m_usb = new UsbTransport(this);
    m_link = new ReaderLink(m_options, this);
    m_link->setTransport(m_serial);
    // Kept before the cycle hears of it: whoever the cycle's end tells asks
    // for the reason.
    connect(m_link, &ReaderLink::repeatSendFailed, this, [this](const QString &error) { m_lastSendFailure = error; });
    m_cycle = new CommandCycle(*m_link, this);

    m_tagLog = new TagLog(TagLog::kDefaultCap, this);
    m_tagPresence = new TagPresence(TagPresence::kDefaultAbsenceMs, this);
    connect(m_tagPresence, &TagPresence::events, this, &ReaderSession::tagEvents);

    connect(m_link, &ReaderLink::frameSent, this, [this](const QByteArray &wire) {
        // The answer names its tag only through the request (a block read
        // by UID): kept as sent, whatever a page builds meanwhile.
        m_sentRequest = m_link->storedFrame();
        const uint8_t code = m_sentRequest.size() > 5 ? uint8_t(m_sentRequest.at(5)) : 0;
        m_pendingFamily = routeResponse(code, m_visiblePage.value_or(m_sentPage));
        if (m_traceFrames)
            emit messageLine(QStringLiteral("Host --") + m_clockText + QStringLiteral("->") + hexBytes(wire));
    });
    connect(m_link, &ReaderLink::sendFailed, this, [this](const QString &error) {
        m_sendFailed = true;
        m_lastSendFailure = error;
        m_prompt.error(error);
    });
    connect(m_link, &ReaderLink::blockReceived, this, [this](const QByteArray &bytes) {
        emit receiveEnded();
        if (m_traceFrames)
            emit messageLine(QStringLiteral("Vexa --") + m_clockText + QStringLiteral("->") + hexBytes(bytes));
    });
    connect(m_link, &ReaderLink::timedOut, this, [this] {
        emit receiveEnded();
        Answer answer;
        answer.family = m_pendingFamily;
        judgeTimeout(answer);
        m_pending = answer;
    });
    connect(m_link, &ReaderLink::responseReady, this, &ReaderSession::onResponse);
    connect(m_link, &ReaderLink::answerJudged, this, [this] {
        // Told before Repeat's re-send, so that a listener may still end
        // the cycle with this answer.
        Answer answer;
        if (m_pending) {
            answer = *std::exchange(m_pending, std::nullopt);
        } else {
            answer.family = m_pendingFamily;
            judgeNoValidAnswer(answer);
        }
        emit answered(answer);
    });
    for (Transport *t : std::initializer_list<Transport *>{m_serial, m_usb}) {
        connect(t, &Transport::transmitted, this, &ReaderSession::transmitted);
        connect(t, &Transport::received, this, &ReaderSession::received);
    }
    connect(m_usb, &UsbTransport::polled, this, &ReaderSession::pollStarted);
    connect(m_usb, &UsbTransport::autoReadLine, this, &ReaderSession::autoReadLine);
    connect(m_usb, &UsbTransport::deviceChanged, this, &ReaderSession::onUsbDeviceChange);
    m_usb->setReceiveCount([this] { return m_link->receiveCount(); });
    connect(m_cycle, &CommandCycle::repeatModeChanged, this, &ReaderSession::repeatingChanged);
    connect(m_cycle, &CommandCycle::stateChanged, this, &ReaderSession::cycleStateChanged);

    m_clock.setObjectName(QStringLiteral("Timer2"));
    m_clock.setParent(this);
    m_clock.setInterval(1000);
    connect(&m_clock, &QTimer::timeout, this, &ReaderSession::tickClock);
    m_clock.start();

    m_baudSettle.setParent(this);
    m_baudSettle.setSingleShot(true);
    // The reader switches its rate during this wait: a coarse timer may end
    // it up to 5 % early, and the first frame at the new rate would be lost.
    m_baudSettle.setTimerType(Qt::PreciseTimer);
    m_baudSettle.setInterval(kBaudSettleMs);
    connect(&m_baudSettle, &QTimer::timeout, this, &ReaderSession::finishBaudChange);

    m_deviceWatch = new DeviceWatch(this);
    connect(m_deviceWatch, &DeviceWatch::devicesChanged, this, &ReaderSession::devicesChanged);
    // A chosen port whose device went away: offer what the ports stand for now.
    connect(m_serial, &SerialTransport::deviceLost, this, &ReaderSession::refreshPorts);
}

ReaderSession::~ReaderSession()
{
    stopWatchingVersion();
    // The transports' notifications must not reach a link half torn down.
    m_link->setTransport(nullptr);
}

FirmwareHost &ReaderSession::firmwareHost()
{
    if (!m_firmwareHost)
        m_firmwareHost = std::make_unique<SessionFirmwareHost>(*this);
    return *m_firmwareHost;
}

// --- the firmware loader

void ReaderSession::stopRepeat()
{
    // A Repeat cycle would keep sending frames into the loader's line.
    if (m_cycle->repeatMode())
        m_cycle->setRepeatMode(false);
}

bool ReaderSession::awaitingAnswer() const
{
    return m_link->busy();
}

void ReaderSession::stopAwaitingAnswer()
{
    m_link->responseTimer().stop();
}

void ReaderSession::stopWatchingVersion()
{
    QObject::disconnect(m_versionAnswer);
    QObject::disconnect(m_versionEnd);
    QObject::disconnect(m_versionRefused);
}

void ReaderSession::requestVersionThen(std::function<void(bool answered)> over)
{
    stopWatchingVersion();
    if (over) {
        auto versionCame = std::make_shared<bool>(false);
        const auto ended = [this, versionCame, over = std::move(over)] {
            const auto report = over;
            stopWatchingVersion();
            report(*versionCame);
        };
        // Any frame is not enough: the application must have answered this
        // very command (a boot loader, or a reader half started, does not).
        m_versionAnswer = connect(m_link, &ReaderLink::responseReady, m_link, [versionCame](const FrameView &frame) {
            *versionCame = frame.code() == mgmt::GetVersion && frame.status() == 0;
        });
        m_versionEnd = connect(m_link, &ReaderLink::exchangeEnded, m_link, ended);
        // A send refused for good ends the exchange without a time-out.
        m_versionRefused = connect(m_link, &ReaderLink::sendFailed, m_link, [this, ended] {
            if (!m_link->busy())
                ended();
        });
    }
    requestVersion();
}

void ReaderSession::suspendUsbPollForLoader()
{
    m_usb->usbPollSuspended = true;
}

void ReaderSession::resumeUsbPollAfterLoader()
{
    m_usb->usbPollSuspended = false;
}

bool ReaderSession::usbDeviceOpen() const
{
    return m_usb->isOpen();
}

bool ReaderSession::writeUsbReport(QByteArrayView block)
{
    return m_usb->writeReport(block);
}

QByteArray ReaderSession::readUsbReport()
{
    return m_usb->readReport();
}

void ReaderSession::noteUsbReconnected()
{
    emit messageLine(QStringLiteral("USB Reconnected"));
}

ReaderSession::PortInUse ReaderSession::portInUse() const
{
    PortInUse port;
    port.interface = m_portShownUsb ? Interface::Usb : Interface::Serial;
    port.number = m_portShownNumber;
    if (m_portShownUsb) {
        port.usbLibrary = m_usb->libraryPath();
    } else if (m_serial->portNumber() > 0) {
        // A port whose device went away keeps naming it until chosen again.
        port.device = m_serial->deviceName();
        port.gone = !m_serial->devicePresent();
        port.denied = m_chosenPortDenied;
    }
    return port;
}

ReaderIdentity ReaderSession::readerIdentity() const
{
    ReaderIdentity reader;
    reader.serial = m_readerSerial;
    if (m_interface == Interface::Usb)
        reader.port = QStringLiteral("USB");
    else if (m_serial->portNumber() > 0)
        reader.port = QStringLiteral("COM%1").arg(m_serial->portNumber());
    else
        reader.port = m_serial->deviceName(); // a device named by its path
    return reader;
}

bool ReaderSession::repeating() const
{
    return m_cycle->repeatMode();
}

void ReaderSession::setConnection(ConnectionState::Kind kind, int value)
{
    m_connection = {kind, value};
    emit connectionChanged(m_connection);
}

void ReaderSession::showPort()
{
    emit portInUseChanged(portInUse());
}

void ReaderSession::setCommandsAvailable(bool available)
{
    m_commandsAvailable = available;
    emit commandsAvailableChanged(available);
}

void ReaderSession::tickClock()
{
    m_clockText = QTime::currentTime().toString(QStringLiteral(" HH:mm:ss "));
    emit clockChanged(m_clockText);
}

// --- start and close

int ReaderSession::begin(const Settings &settings)
{
    m_options = settings.options;
    m_storedPortNumber = settings.portNumber;
    m_serial->setBaudRate(baudItemRate(settings.baudRate));
    emit addressingChanged(m_options);
    tickClock();
    if (settings.usb) {
        chooseUsb();
        return 0;
    }
    chooseSerial();
    const PortEntry *entry = portEntry(settings.portNumber);
    if (!entry)
        entry = portEntry(1);
    if (entry) {
        m_serial->setPortNumber(settings.portNumber);
        choosePort(entry->number); // the entry's own number wins
    }
    const int rate = baudItemRate(m_serial->baudRate());
    if (m_chosenPortDenied) {
        // The choice has told the operator why; a start exchange would only
        // say it again.
        showBaudRate(rate);
        m_serial->setBaudRate(rate);
        return 0;
    }
    if (linkTalks()) {
        showBaudRate(rate);
        return rate;
    }
    changeBaudRate(rate);
    return 0;
}

void ReaderSession::runStartExchange(int rate)
{
    // The operator may have moved to USB in the moment before.
    if (rate && !m_closed && m_link->transport() == m_serial)
        changeBaudRate(rate);
}

ReaderSession::Settings ReaderSession::end()
{
    Settings s;
    if (!m_closed) {
        m_closed = true;
        m_baudSettle.stop();
        m_changingBaud = 0;
        if (m_cycle->repeatMode())
            m_cycle->setRepeatMode(false);
        m_link->setRepeat(false);
        m_clock.stop();
        m_serial->setAutoOpen(false);
        m_serial->close();
        if (m_interface == Interface::Usb)
            releaseUsbForSerial();
    }
    s.usb = m_interface == Interface::Usb;
    // Without a chosen port the stored one is kept for the next run.
    s.portNumber = m_serial->portNumber() > 0 ? m_serial->portNumber() : m_storedPortNumber;
    s.baudRate = m_serial->baudRate();
    s.options = m_options;
    return s;
}

// --- the serial interface and its ports

void ReaderSession::refreshPorts()
{
    m_ports.clear();
    // The open port cannot be probed: it is listed first, on its own, with
    // the device it is bound to.
    const int open = m_serial->isOpen() ? m_serial->portNumber() : 0;
    if (open)
        m_ports.append({open, m_serial->deviceName(), true, false});
    for (int n = kLowestListedPort; n <= kHighestListedPort; ++n) {
        if (n == open)
            continue;
        const PortProbe probe = probePortState(n);
        if (probe.state == PortState::Free) {
            m_ports.append({n, probe.device, false, false});
        } else if (probe.state == PortState::Denied) {
            // There, but not for this user: listed, so that the operator
            // learns why it cannot be chosen and what to do about it.
            m_ports.append({n, deniedPortText(probe.device), m_chosenPortDenied && n == m_serial->portNumber(), true});
        }
    }
    emit portsChanged();
    if (m_interface == Interface::Serial)
        showPort();
}

const ReaderSession::PortEntry *ReaderSession::portEntry(int number) const
{
    for (const PortEntry &entry : m_ports)
        if (entry.number == number)
            return &entry;
    return nullptr;
}

QString ReaderSession::deniedPortText(const QString &device)
{
    return QStringLiteral("%1: %2").arg(device, permissionDeniedText());
}

void ReaderSession::choosePort(int number)
{
    const PortEntry *entry = portEntry(number);
    m_chosenPortDenied = entry && entry->denied;
    // Another port may be another reader.
    m_readerSerial.clear();
    for (PortEntry &e : m_ports)
        e.chosen = e.number == number;
    if (number > 0)
        m_serial->setPortNumber(number);
    emit portsChanged();
    m_portShownUsb = false;
    m_portShownNumber = number;
    showPort();
    if (m_chosenPortDenied) {
        // After the choice has shown (the start chooses too, before a window
        // is on screen).
        const QString text =
            QStringLiteral("COM%1 (%2): %3.").arg(number).arg(m_serial->deviceName(), permissionDeniedText());
        QTimer::singleShot(0, this, [this, text] { m_prompt.error(text); });
    }
}

void ReaderSession::chooseSerial()
{
    releaseUsbForSerial();
    m_interface = Interface::Serial;
    m_readerSerial.clear();
    refreshPorts();
    setCommandsAvailable(true);
    showBaudRate(m_serial->baudRate());
    if (portEntry(m_serial->portNumber())) {
        m_portShownUsb = false;
        m_portShownNumber = m_serial->portNumber();
        showPort();
    }
    m_link->setTransport(m_serial);
    emit interfaceChanged(m_interface);
}

bool ReaderSession::linkTalks() const
{
    // A device named by its path (vexactl --device) has no number but talks
    // once open.
    return m_link->transport() != m_serial || m_serial->portNumber() > 0 || m_serial->isOpen();
}

void ReaderSession::showBaudRate(int rate)
{
    m_shownBaudRate = baudItemRate(rate);
    setConnection(ConnectionState::Kind::Baud, m_shownBaudRate);
    emit baudRateShown(m_shownBaudRate);
}

void ReaderSession::changeBaudRate(int rate)
{
    if (m_changingBaud) {
        // One change at a time: the item of the change under way stays marked.
        showBaudRate(m_changingBaud);
        return;
    }
    showBaudRate(rate);
    if (!linkTalks()) {
        // No port yet: the host's rate is all there is to change.
        m_serial->setBaudRate(rate);
        return;
    }
    std::optional<int> n;
    m_link->storeBuilt([&](CommandBuffer &frame) {
        n = buildBaudRateCommand(frame, rate);
        return n.value_or(m_link->storedLength());
    });
    if (!n)
        return;
    m_link->sendFrame();
    // No time-out report for this command: the reader may already listen at
    // the new rate when its answer would be due.
    m_link->responseTimer().stop();
    // An answer in this time is handled as usual.
    m_changingBaud = rate;
    m_baudSettle.start();
}

void ReaderSession::finishBaudChange()
{
    const int rate = std::exchange(m_changingBaud, 0);
    if (!rate || m_closed)
        return;
    setConnection(ConnectionState::Kind::Baud, rate);
    m_serial->setBaudRate(rate);
    requestSetup();
}

// --- USB

void ReaderSession::chooseUsb()
{
    setCommandsAvailable(false);
    usbSelect();
    m_interface = Interface::Usb;
    m_readerSerial.clear();
    m_portShownUsb = true;
    showPort();
    m_link->setTransport(m_usb);
    emit interfaceChanged(m_interface);
}

void ReaderSession::usbSelect()
{
    m_usbDeviceLost = true;
    m_usb->vendorId = UsbTransport::kVendorId;
    m_usb->productId = UsbTransport::kProductId;
    QString message;
    if (m_usb->loadLibrary(&message) != UsbTransport::LoadResult::Bound) {
        m_prompt.error(message);
        return;
    }
    usbOpen();
    m_usb->registerNotifications();
}

void ReaderSession::usbOpen()
{
    if (!m_usb->openDevice()) {
        setConnection(ConnectionState::Kind::UsbNotFound);
        return;
    }
    setConnection(ConnectionState::Kind::UsbReady);
    setCommandsAvailable(true);
    emit messageLine(QStringLiteral("USB Connected"));
}

void ReaderSession::usbClose()
{
    if (m_usb->isOpen()) {
        m_usb->closeDevice();
        setCommandsAvailable(false);
    }
    m_usb->releaseLibrary();
    emit messageLine(QStringLiteral("USB Disconnected"));
    m_usbDeviceLost = true;
    setConnection(ConnectionState::Kind::UsbDisconnected);
}

void ReaderSession::releaseUsbForSerial()
{
    if (m_usb->isOpen())
        usbClose();
    else
        m_usb->releaseLibrary();
}

void ReaderSession::onUsbDeviceChange(unsigned int event, const AtUsbHidDeviceRecord &record)
{
    switch (event) {
    case ATUSBHID_DEVICE_ARRIVAL:
        setConnection(ConnectionState::Kind::UsbArrival);
        // Without the library (serial in use, or it failed to load) there
        // is nobody to ask and nothing to open.
        if (!m_usb->isLoaded())
            return;
        if (m_usb->isMyDevice(record) && m_usb->isOpen())
            setConnection(ConnectionState::Kind::UsbAlreadyConnected);
        else
            usbOpen();
        return;
    case ATUSBHID_DEVICE_REMOVE_COMPLETE:
        setConnection(ConnectionState::Kind::UsbDisconnected);
        if (!m_usb->isLoaded() || !m_usb->isOpen() || !m_usb->isMyDevice(record))
            return;
        setCommandsAvailable(false);
        m_usb->closeDevice();
        setConnection(ConnectionState::Kind::UsbRemoved);
        emit messageLine(QStringLiteral("USB Disconnected"));
        m_usbDeviceLost = true;
        return;
    case ATUSBHID_DEVNODES_CHANGED:
        devicesChanged();
        return;
    default:
        setConnection(ConnectionState::Kind::UsbEvent, int(event));
        return;
    }
}

void ReaderSession::devicesChanged()
{
    setConnection(ConnectionState::Kind::DevicesChanged);
    m_serial->followBinding();
    refreshPorts();
}

void ReaderSession::setAutoReadMode(bool on)
{
    m_usb->setAutoReadMode(on);
}

// --- answers

void ReaderSession::onResponse(const FrameView &frame)
{
    Answer answer;
    answer.family = routeResponse(frame.code(), m_visiblePage.value_or(m_sentPage));
    const FrameView request(reinterpret_cast<const uint8_t *>(m_sentRequest.constData()), int(m_sentRequest.size()));
    switch (answer.family) {
    case ResponseFamily::Iso15693:
        answer.report = iso15693::reportResponse(frame, m_options.isoBlockLength);
        break;
    case ResponseFamily::Tagit: answer.report = tagit::reportResponse(frame, frame.available()); break;
    case ResponseFamily::Iso14443: answer.report = iso14443::reportResponse(frame); break;
    case ResponseFamily::Management: {
        const ManagementOutcome outcome = reportManagementResponse(frame);
        answer.report = outcome.report;
        if (outcome.audioOn) {
            m_options.audioOn = m_audioShownOn = *outcome.audioOn;
            emit audioShownChanged(m_audioShownOn);
        }
        if (outcome.ledOn) {
            m_options.ledOn = m_ledShownOn = *outcome.ledOn;
            emit ledShownChanged(m_ledShownOn);
        }
        if (outcome.bootLoaderComType)
            m_bootLoaderComType = *outcome.bootLoaderComType == 1 ? LoaderComType::Serial : LoaderComType::Usb;
        break;
    }
    }
    if (answer.family != ResponseFamily::Management) {
        answer.tags = tagsNamed(answer.family, frame, request, m_options.isoBlockLength);
        if (!answer.tags.isEmpty())
            m_tagLog->record(answer.family, answer.tags, QDateTime::currentMSecsSinceEpoch());
    }
    judgeAnswer(answer, frame, request);
    if (answer.status == Answer::Status::Ok) {
        if (answer.family != ResponseFamily::Management) {
            // An inventory that names no tag still counts: the tags it
            // missed may be due to leave.
            m_tagPresence->record(answer.family, answer.tags, QDateTime::currentMSecsSinceEpoch());
        } else if (const QVariant version = answer.report.fields.value(QStringLiteral("version")); version.isValid()) {
            m_readerSerial = version.toMap().value(QStringLiteral("serialNumber")).toString();
        }
    }
    m_pending = answer;
}

// --- reader management

void ReaderSession::sendManagementCommand(uint8_t code)
{
    m_link->sendSimpleCommand(flagsFor(code), code);
}

void ReaderSession::requestVersion()
{
    m_link->clearCommandBuffer();
    sendManagementCommand(mgmt::GetVersion);
}

void ReaderSession::requestInfo()
{
    m_link->clearCommandBuffer();
    sendManagementCommand(mgmt::ReadInfo);
}

void ReaderSession::requestSetup()
{
    m_link->clearCommandBuffer();
    sendManagementCommand(mgmt::ReadSetup);
}

void ReaderSession::resetReader()
{
    m_link->clearCommandBuffer();
    sendManagementCommand(mgmt::Reset);
}

void ReaderSession::runTest()
{
    m_link->clearCommandBuffer();
    // The ISO 15693 option bits travel in the flags byte as for tag commands.
    m_link->sendSimpleCommand(uint8_t(m_options.isoConfig | 0x20), mgmt::Test);
}

void ReaderSession::requestLoaderInfo()
{
    m_bootLoaderComType = LoaderComType::Serial;
    sendManagementCommand(mgmt::GetLoaderInfo);
}

// --- configuration

void ReaderSession::sendBuilt(const std::function<int(CommandBuffer &)> &build)
{
    m_link->storeBuilt(build);
    m_link->sendFrame();
}

void ReaderSession::sendWiegandMode(int modeIndex)
{
    m_link->clearCommandBuffer();
    sendBuilt([&](CommandBuffer &frame) { return buildWiegandCommand(frame, modeIndex, m_options); });
}

void ReaderSession::sendEncryption(bool userKey, const QString &keyText, bool plainText)
{
    DesKey key{};
    if (userKey && !hexTextToBytes(keyText, key.data(), int(key.size()))) {
        // Nothing half-built is left for Repeat to send: a stray frame with
        // the default key would undo the operator's choice on the reader.
        m_link->dropStoredFrame();
        m_prompt.warning(kInvalidHexMessage);
        return;
    }
    m_link->clearCommandBuffer();
    sendBuilt([&](CommandBuffer &frame) { return buildEncryptionCommand(frame, userKey, key, plainText); });
}

void ReaderSession::setAddressing(const ReaderAddressing &addressing)
{
    static_cast<ReaderAddressing &>(m_options) = addressing;
    emit addressingChanged(m_options);
}

void ReaderSession::sendFeedback()
{
    m_link->clearCommandBuffer();
    sendBuilt([&](CommandBuffer &frame) { return buildFeedbackCommand(frame, m_options.audioOn, m_options.ledOn); });
}

void ReaderSession::activateLed(LedColour colour, const QString &timeText)
{
    const auto timeMs = decimalTextToInt(timeText);
    if (!timeMs) {
        m_prompt.error(invalidIntegerMessage(timeText));
        return;
    }
    sendBuilt([&](CommandBuffer &frame) { return buildActivateLedCommand(frame, colour, *timeMs); });
}

void ReaderSession::activateAudio(const QString &timeText)
{
    const auto timeMs = decimalTextToInt(timeText);
    if (!timeMs) {
        m_prompt.error(invalidIntegerMessage(timeText));
        return;
    }
    sendBuilt([&](CommandBuffer &frame) { return buildActivateAudioCommand(frame, *timeMs); });
}

void ReaderSession::setRfTransmitter(bool on)
{
    m_link->clearCommandBuffer();
    sendBuilt([&](CommandBuffer &frame) { return buildRfCommand(frame, on); });
}

// --- one command, whatever its kind

template<typename Request, typename Check, typename Confirmation, typename Build>
SendResult ReaderSession::sendTagRequest(const Request &request, Check check, Confirmation confirmation, Build build)
{
    SendResult result;
    const auto refuse = [&](const auto &refusal) {
        m_prompt.warning(refusal.message);
        result.outcome = SendResult::Outcome::Refused;
        result.refusal = refusal.message;
        result.field = int(refusal.field);
        result.index = refusal.index;
        return result;
    };
    if (const auto refusal = check(request))
        return refuse(*refusal);
    const QString question = confirmation(request.command);
    if (!question.isEmpty() && !m_prompt.confirm(question)) {
        result.outcome = SendResult::Outcome::Declined;
        return result;
    }
    CommandBuffer frame{};
    const auto built = build(request, frame);
    if (!built.ok())
        return refuse(*built.refusal);
    m_link->storeFrame(frame, built.length);
    m_link->sendFrame();
    return result;
}

SendResult ReaderSession::send(const Command &command)
{
    m_sendFailed = false;
    SendResult result;
    std::visit(
        [&](const auto &c) {
            using T = std::decay_t<decltype(c)>;
            if constexpr (std::is_same_v<T, iso15693::Request>) {
                m_sentPage = TagPage::Iso15693;
                iso15693::Request request = c;
                // The options are the session's, whoever built the request.
                request.isoConfig = m_options.isoConfig;
                request.isoBlockLength = m_options.isoBlockLength;
                result = sendTagRequest(request, iso15693::checkFields, iso15693::confirmation, iso15693::build);
            } else if constexpr (std::is_same_v<T, tagit::Request>) {
                m_sentPage = TagPage::Tagit;
                result = sendTagRequest(c, tagit::checkFields, tagit::confirmation, tagit::build);
            } else if constexpr (std::is_same_v<T, Iso14443Command>) {
                m_sentPage = TagPage::Iso14443;
                CommandBuffer frame{};
                const int length = iso14443::build(c.command, frame);
                if (length == 0) {
                    result.outcome = SendResult::Outcome::Refused; // no command chosen
                    return;
                }
                m_link->storeFrame(frame, length);
                m_link->sendFrame();
            } else if constexpr (std::is_same_v<T, ManagementCommand>) {
                m_link->clearCommandBuffer();
                sendManagementCommand(c.code);
            } else if constexpr (std::is_same_v<T, ReaderTestCommand>) {
                m_sentPage = TagPage::Iso15693;
                runTest();
            } else if constexpr (std::is_same_v<T, RawCommand>) {
                // A raw answer is reported as the ISO/IEC 15693 page reports it.
                m_sentPage = TagPage::Iso15693;
                const QByteArray &body = c.body;
                if (body.size() < 2 || body.size() + 6 > kCommandBufferSize) {
                    result.outcome = SendResult::Outcome::Refused;
                    result.refusal = QStringLiteral("A frame body holds 2 to %1 bytes.").arg(kCommandBufferSize - 6);
                    m_prompt.warning(result.refusal);
                    return;
                }
                m_link->clearCommandBuffer();
                sendBuilt([&](CommandBuffer &frame) {
                    const int n = int(body.size()) + 6;
                    writeHeader(frame.data(), n, uint8_t(body.at(0)), uint8_t(body.at(1)));
                    for (qsizetype i = 2; i < body.size(); ++i)
                        frame[size_t(4 + i)] = uint8_t(body.at(i));
                    writeFrameCheck(frame.data(), n);
                    return n;
                });
            } else if constexpr (std::is_same_v<T, WiegandCommand>) {
                sendWiegandMode(c.modeIndex);
            } else if constexpr (std::is_same_v<T, EncryptionCommand>) {
                sendEncryption(c.userKey, c.keyText, c.plainText);
            } else if constexpr (std::is_same_v<T, FeedbackCommand>) {
                m_options.audioOn = c.audioOn;
                m_options.ledOn = c.ledOn;
                sendFeedback();
            } else if constexpr (std::is_same_v<T, RfCommand>) {
                setRfTransmitter(c.on);
            } else if constexpr (std::is_same_v<T, LedCommand>) {
                activateLed(c.colour, c.timeText);
            } else if constexpr (std::is_same_v<T, AudioCommand>) {
                activateAudio(c.timeText);
            } else if constexpr (std::is_same_v<T, BaudCommand>) {
                changeBaudRate(c.rate);
            }
        },
        command);
    if (result.outcome != SendResult::Outcome::Sent)
        return result;
    if (m_sendFailed) {
        // The message has named the port and the fault.
        result.outcome = SendResult::Outcome::Failed;
    } else if (!m_link->busy() && !changingBaud()) {
        // Refused on the way (its message is out); nothing was sent.
        result.outcome = SendResult::Outcome::Refused;
    }
    return result;
}

// --- Go, Repeat and Pause

void ReaderSession::go(const std::function<void()> &send)
{
    m_cycle->go(send);
}

void ReaderSession::pause()
{
    m_cycle->pause();
}

void ReaderSession::setRepeatMode(bool on)
{
    m_cycle->setRepeatMode(on);
}

bool ReaderSession::repeatMode() const
{
    return m_cycle->repeatMode();
}

CommandCycle::State ReaderSession::cycleState() const
{
    return m_cycle->state();
}

void ReaderSession::setRepeatInterval(int ms)
{
    m_cycle->setInterval(ms);
}

void ReaderSession::setResponseTimeout(int ms)
{
    m_link->setResponseTimeout(ms);
}

void ReaderSession::setFastCompletion(bool on)
{
    m_link->setFastCompletion(on);
}

int ReaderSession::serialBaudRate() const
{
    return m_serial->baudRate();
}

bool ReaderSession::beginAtRate(const Settings &settings, const QString &devicePath, QString *error)
{
    m_options = settings.options;
    tickClock();
    if (settings.usb) {
        begin(settings);
        return m_usb->isOpen();
    }
    m_serial->setBaudRate(settings.baudRate);
    m_shownBaudRate = settings.baudRate;
    if (!devicePath.isEmpty())
        m_serial->setDevicePath(devicePath);
    else
        m_serial->setPortNumber(settings.portNumber);
    return m_serial->open(error);
}

} // namespace vexa
