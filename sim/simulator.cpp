// vexa-sim - the reader on its pseudo-terminal, driven by the event loop.
#include "simulator.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <unistd.h>
#include <utility>

#include "console.h"
#include "control.h"
#include "tagcollection.h"
#include "tagline.h"
#include "usbreader.h"
#include "wire.h"

namespace vexa::sim {

namespace {

constexpr int kReadChunk = 4096;

// What a receiver set to another rate makes of the reader's bytes. Every
// value has its top bit set, so the host never mistakes one for a start byte.
char garble(char byte)
{
    return char(0x80 | (uint8_t(byte) ^ 0x5A));
}

} // namespace

Simulator::Simulator(ReaderModel &model, bool tracing, QObject *parent)
    : QObject(parent),
      m_model(model),
      m_trace(tracing),
      m_pacer([this](const char *bytes, qsizetype count) { return writeToLine(bytes, count); },
              model.state().baudRate, this)
{
    m_clock.start();
    m_listenTimer.setSingleShot(true);
    connect(&m_listenTimer, &QTimer::timeout, this, [this] {
        if (m_loader.mode() == BootLoader::Mode::Listening)
            trace(QStringLiteral("loader: not captured, the application runs"));
        m_loader.stopListening();
    });
    connect(&m_pacer, &LinePacer::rateChanged, this,
            [this](int rate) { trace(QStringLiteral("rate: %1").arg(rate)); });
}

bool Simulator::start(const QString &portName, QString *error)
{
    if (!m_pty.open(m_model.state().baudRate, error))
        return false;
    QString warning;
    if (!m_entry.publish(portName, m_pty.slavePath(), &warning, error))
        return false;
    if (!warning.isEmpty())
        printError(QStringLiteral("warning: ") + warning);

    m_lineNotifier = std::make_unique<QSocketNotifier>(m_pty.masterFd(), QSocketNotifier::Read);
    connect(m_lineNotifier.get(), &QSocketNotifier::activated, this, &Simulator::readLine);

    printLine(QStringLiteral("device: ") + m_pty.slavePath());
    printLine(QStringLiteral("port: ") + portName);
    return true;
}

void Simulator::stop()
{
    m_lineNotifier.reset();
    m_controlNotifier.reset();
    m_entry.remove();
}

void Simulator::listen(int fd)
{
    m_controlNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_controlNotifier.get(), &QSocketNotifier::activated, this, &Simulator::readControl);
}

void Simulator::setUsbReader(UsbReader *usb)
{
    m_usb = usb;
    if (m_usb)
        m_usb->setBootLoader(&m_loader);
}

void Simulator::trace(const QString &line) const
{
    if (m_trace)
        printLine(line);
}

void Simulator::readLine()
{
    char buffer[kReadChunk];
    for (;;) {
        const ssize_t n = ::read(m_pty.masterFd(), buffer, sizeof buffer);
        if (n > 0) {
            receive(QByteArray(buffer, int(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // Cannot happen while we hold the slave open; do not spin on it.
            printError(QStringLiteral("reading the pseudo-terminal: ") + QString::fromLocal8Bit(std::strerror(errno)));
            m_lineNotifier->setEnabled(false);
        }
        return;
    }
}

void Simulator::receive(const QByteArray &bytes)
{
    const int hostRate = m_pty.hostRate();
    if (hostRate != m_pacer.rate()) {
        const QByteArray dropped = m_assembler.clear() + bytes;
        trace(QStringLiteral("discard:%1 (host rate %2, reader rate %3)")
                  .arg(traceHex(dropped))
                  .arg(hostRate)
                  .arg(m_pacer.rate()));
        return;
    }
    // The new image is still starting: nobody reads the line.
    if (m_clock.nsecsElapsed() < m_bootDoneNs) {
        m_assembler.clear();
        trace(QStringLiteral("discard:%1 (the application is starting)").arg(traceHex(bytes)));
        return;
    }
    // A reader with USB has its loader there, never on this line.
    if (m_loader.active() && !m_usb) {
        receiveForLoader(bytes);
        return;
    }
    // The pseudo-terminal hands the host's bytes over at once; the reader
    // has a request only once its last byte has crossed the line.
    if (m_model.state().airTime)
        m_inputDoneNs = std::max(m_clock.nsecsElapsed(), m_inputDoneNs) + lineNs(bytes.size());
    const FrameAssembler::Output out = m_assembler.feed(bytes, m_clock.elapsed());
    if (!out.discarded.isEmpty())
        trace(QStringLiteral("discard:") + traceHex(out.discarded));
    for (const QByteArray &frame : out.frames) {
        trace(QStringLiteral("rx:") + traceHex(frame));
        const Reply reply = m_model.handle(frame);
        if (reply.bytes.isEmpty())
            trace(QStringLiteral("quiet: ") + reply.note);
        else
            transmit(reply);
        listenForLoader(frame, reply);
    }
}

void Simulator::listenForLoader(const QByteArray &request, const Reply &reply)
{
    // A reset that the reader carried out (answered with status 0) hands the
    // reader to its boot loader for a moment.
    if (!BootLoader::startsLoader(request, reply.bytes))
        return;
    if (m_usb) {
        m_usb->resetToLoader();
        return;
    }
    m_loader.listen();
    m_assembler.clear();
    m_listenTimer.start(BootLoader::kListenMs);
    trace(QStringLiteral("loader: listening"));
}

void Simulator::receiveForLoader(const QByteArray &bytes)
{
    // The pseudo-terminal hands the host's bytes over at once; a real line
    // takes 10 bit times a byte. An answer goes out only after the bytes it
    // answers would have arrived, and takes its own time on the line.
    const qint64 now = m_clock.nsecsElapsed();
    m_inputDoneNs = std::max(now, m_inputDoneNs) + lineNs(bytes.size());
    QByteArray rest;
    for (const BootLoader::Output &out : m_loader.feed(bytes, &rest)) {
        trace(out.note);
        if (out.started) {
            m_listenTimer.stop();
            m_bootDoneNs = m_clock.nsecsElapsed() + qint64(m_loader.bootMs()) * 1000000;
        }
        if (out.reply.isEmpty())
            continue;
        trace(QStringLiteral("tx:") + traceHex(out.reply));
        const qint64 dueNs = m_inputDoneNs + lineNs(out.reply.size()) + qint64(out.delayMs) * 1000000;
        const int delayMs = int(std::max<qint64>(0, (dueNs - m_clock.nsecsElapsed() + 999999) / 1000000));
        QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [this, reply = out.reply] {
            if (m_pacer.isIdle() && writeToLine(reply.constData(), reply.size()) == reply.size())
                return;
            m_pacer.queueBytes(reply);
        });
    }
    // The application has started: what followed the go command is for it
    // (and lost while it boots).
    if (!rest.isEmpty())
        receive(rest);
}

qint64 Simulator::lineNs(qsizetype count) const
{
    return qint64(count) * 10 * 1000000000LL / m_pacer.rate();
}

void Simulator::transmit(const Reply &reply)
{
    if (m_model.state().airTime) {
        if (reply.airUs > 0)
            trace(QStringLiteral("air: %1 us").arg(reply.airUs));
        const qint64 due = std::max(m_inputDoneNs, m_airDoneNs) + qint64(reply.airUs) * 1000;
        m_airDoneNs = due;
        const qint64 wait = due - m_clock.nsecsElapsed();
        if (wait > 0)
            m_pacer.queueHoldUntil(m_pacer.nowNs() + wait);
    }
    trace(QStringLiteral("tx:") + traceHex(reply.bytes));
    if (reply.gapAt >= 0) {
        m_pacer.queueBytes(reply.bytes.left(reply.gapAt));
        m_pacer.queuePause(reply.gapMs);
        m_pacer.queueBytes(reply.bytes.mid(reply.gapAt));
    } else {
        m_pacer.queueBytes(reply.bytes);
    }
    if (reply.baudAfter > 0)
        m_pacer.queueRateChange(reply.baudAfter);
}

qsizetype Simulator::writeToLine(const char *bytes, qsizetype count)
{
    QByteArray chunk(bytes, count);
    const int hostRate = m_pty.hostRate();
    if (hostRate != m_pacer.rate()) {
        for (char &byte : chunk)
            byte = garble(byte);
        trace(QStringLiteral("garbled:%1 (host rate %2, reader rate %3)")
                  .arg(traceHex(chunk))
                  .arg(hostRate)
                  .arg(m_pacer.rate()));
    }
    for (;;) {
        const ssize_t n = ::write(m_pty.masterFd(), chunk.constData(), size_t(chunk.size()));
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        printError(QStringLiteral("writing the pseudo-terminal: ") + QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
}

void Simulator::readControl()
{
    char buffer[kReadChunk];
    const ssize_t n = ::read(m_controlNotifier->socket(), buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
        return;
    if (n <= 0) {
        // End of input: the simulator may run in the background with stdin
        // from /dev/null; it goes on until a signal ends it.
        m_controlNotifier->setEnabled(false);
        if (!m_controlText.isEmpty())
            execute(QString::fromUtf8(std::exchange(m_controlText, {})));
        return;
    }
    m_controlText.append(buffer, int(n));
    qsizetype end;
    while ((end = m_controlText.indexOf('\n')) >= 0) {
        const QByteArray line = m_controlText.left(end);
        m_controlText.remove(0, end + 1);
        execute(QString::fromUtf8(line).trimmed());
    }
}

void Simulator::execute(const QString &line)
{
    const ControlParse parsed = parseControlLine(line);
    if (!parsed.command) {
        if (!parsed.error.isEmpty())
            printLine(QStringLiteral("error ") + parsed.error);
        return;
    }
    QString error;
    if (!apply(*parsed.command, &error)) {
        printLine(QStringLiteral("error ") + error);
        return;
    }
    printLine(QStringLiteral("ok ") + line.simplified());
    if (parsed.command->kind == ControlCommand::Quit)
        emit quitRequested();
}

bool Simulator::apply(const ControlCommand &command, QString *error)
{
    Faults &faults = m_model.faults();
    switch (command.kind) {
    case ControlCommand::FaultStatus:
        faults.status = command.status;
        faults.errorCode = command.code;
        faults.statusCount = command.count;
        break;
    case ControlCommand::FaultBadCheck:
        faults.badCheckCount = command.count;
        break;
    case ControlCommand::FaultStray:
        faults.stray = command.bytes;
        break;
    case ControlCommand::FaultGap:
        faults.gapMs = command.value;
        break;
    case ControlCommand::FaultSilent:
        faults.silentCount = command.count;
        break;
    case ControlCommand::FaultKeepRate:
        faults.keepRateCount = command.count;
        break;
    case ControlCommand::FaultClear:
        faults = Faults{};
        break;
    case ControlCommand::Send:
        trace(QStringLiteral("tx:") + traceHex(command.bytes));
        m_pacer.queueBytes(command.bytes);
        if (m_usb)
            m_usb->sendBytes(command.bytes);
        break;
    case ControlCommand::Frame: {
        const QByteArray frame = ReaderModel::responseFrame(command.status, command.code, command.bytes);
        trace(QStringLiteral("tx:") + traceHex(frame));
        m_pacer.queueBytes(frame);
        if (m_usb)
            m_usb->sendBytes(frame);
        break;
    }
    case ControlCommand::UsbPlug:
    case ControlCommand::UsbUnplug:
    case ControlCommand::UsbReplug:
    case ControlCommand::AutoRead:
        if (!m_usb) {
            *error = QStringLiteral("this reader has no USB interface (start with --usb)");
            return false;
        }
        if (command.kind == ControlCommand::AutoRead)
            m_usb->sendText(command.bytes);
        else if (command.kind == ControlCommand::UsbReplug)
            m_usb->replug();
        else
            m_usb->setPlugged(command.kind == ControlCommand::UsbPlug);
        break;
    case ControlCommand::Baud:
        m_model.setBaudRate(command.value);
        m_pacer.setRate(command.value);
        break;
    case ControlCommand::Serial:
        if (!m_model.setSerialNumber(command.bytes)) {
            *error = QStringLiteral("the serial number must be 1 to 8 printable characters without blanks");
            return false;
        }
        break;
    case ControlCommand::State:
        printLine(QStringLiteral("state: ") + m_model.summary()
                  + QStringLiteral(" line=%1 host=%2").arg(m_pacer.rate()).arg(m_pty.hostRate())
                  + (m_usb ? QStringLiteral(" usb=%1 usb-device=%2")
                                 .arg(m_usb->isPlugged() ? QStringLiteral("plugged") : QStringLiteral("unplugged"),
                                      m_usb->deviceName())
                           : QString()));
        break;
    case ControlCommand::TagAdd:
    case ControlCommand::TagRemove:
    case ControlCommand::TagClear:
    case ControlCommand::TagDefaults:
    case ControlCommand::TagList:
    case ControlCommand::TagChange:
        return applyTag(command, error);
    case ControlCommand::AirTime:
        m_model.state().airTime = command.value != 0;
        break;
    case ControlCommand::Loader: {
        QStringList printed;
        if (!m_loader.control(command.text, &printed, error))
            return false;
        for (const QString &line : printed)
            printLine(line);
        break;
    }
    case ControlCommand::Quit:
        break;
    }
    return true;
}

bool Simulator::applyTag(const ControlCommand &command, QString *error)
{
    if (!m_tags) {
        *error = QStringLiteral("this reader has no tag field");
        return false;
    }
    switch (command.kind) {
    case ControlCommand::TagAdd: {
        const TagParse parsed = parseTagLine(command.text);
        *error = parsed.tag ? m_tags->add(*parsed.tag) : parsed.error;
        return error->isEmpty();
    }
    case ControlCommand::TagRemove:
        if (m_tags->remove(command.text) == 0) {
            *error = QStringLiteral("no tag with the id ") + command.text;
            return false;
        }
        return true;
    case ControlCommand::TagClear:
        m_tags->clear();
        return true;
    case ControlCommand::TagDefaults:
        m_tags->clear();
        addDefaultTags(*m_tags);
        return true;
    case ControlCommand::TagList:
        for (const Tag &tag : m_tags->tags())
            printLine(QStringLiteral("tag: ") + tagLine(tag));
        return true;
    case ControlCommand::TagChange:
        *error = changeTag(*m_tags, command.text, command.change);
        return error->isEmpty();
    default:
        return true;
    }
}

} // namespace vexa::sim
