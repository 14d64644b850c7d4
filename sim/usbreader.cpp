// vexa-sim - the reader as a USB HID device.
#include "usbreader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include "bootloader.h"
#include "console.h"
#include "usb/simwire.h"
#include "wire.h"

namespace vexa::sim {

using namespace vexa::simusb;

UsbReader::UsbReader(ReaderModel &model, std::function<void(const QString &)> trace, QObject *parent)
    : QObject(parent), m_model(model), m_trace(std::move(trace))
{
    m_leaveTimer.setSingleShot(true);
    m_returnTimer.setSingleShot(true);
    m_listenTimer.setSingleShot(true);
    connect(&m_leaveTimer, &QTimer::timeout, this, [this] {
        m_present = false;
        m_collector.clear();
        dropHeldAnswers();
        m_trace(QStringLiteral("usb: device left"));
        sendState();
        m_returnTimer.start(kAbsentMs);
    });
    connect(&m_returnTimer, &QTimer::timeout, this, [this] {
        m_role = m_nextRole;
        m_present = true;
        // A loader that was captured when it left carries on where it was.
        if (m_role == Role::Loader && m_loader && m_loader->mode() != BootLoader::Mode::Captured) {
            m_loader->listen();
            m_listenTimer.start(kListenMs);
            m_trace(QStringLiteral("loader: listening"));
        }
        m_trace(QStringLiteral("usb: device back as ") + deviceName());
        sendState();
    });
    connect(&m_listenTimer, &QTimer::timeout, this, &UsbReader::endOfListening);
    m_airTimer.setSingleShot(true);
    m_airTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_airTimer, &QTimer::timeout, this, &UsbReader::sendDueAnswers);
    m_clock.start();
}

QString UsbReader::deviceName() const
{
    if (!visible())
        return QStringLiteral("gone");
    return m_role == Role::Loader ? QStringLiteral("boot-loader") : QStringLiteral("application");
}

void UsbReader::leaveAndReturnAs(Role role, int leaveMs)
{
    m_nextRole = role;
    m_returnTimer.stop();
    m_leaveTimer.start(leaveMs);
}

void UsbReader::resetToLoader()
{
    if (!m_loader)
        return;
    m_listenTimer.stop();
    leaveAndReturnAs(Role::Loader, kLeaveMs);
}

void UsbReader::replug()
{
    // The loader that comes back listens afresh, as after a power cycle.
    if (m_role == Role::Loader && m_loader)
        m_loader->stopListening();
    m_listenTimer.stop();
    leaveAndReturnAs(m_role, 0);
}

void UsbReader::endOfListening()
{
    if (!m_loader || m_loader->mode() != BootLoader::Mode::Listening)
        return;
    m_trace(QStringLiteral("loader: not captured, the application runs"));
    m_loader->stopListening();
    leaveAndReturnAs(Role::Application, 0);
}

void UsbReader::feedLoader(const uint8_t *report)
{
    const BootLoader::Output out =
        m_loader->feedReport(QByteArray(reinterpret_cast<const char *>(report), kLoaderReportSize));
    if (!out.note.isEmpty())
        m_trace(out.note);
    if (m_loader->mode() == BootLoader::Mode::Captured)
        m_listenTimer.stop();
    if (!out.reply.isEmpty()) {
        m_trace(QStringLiteral("tx:") + traceHex(out.reply));
        const auto send = [this, reply = out.reply] {
            if (visible() && m_role == Role::Loader)
                sendMessage(kInputReport, reinterpret_cast<const uint8_t *>(reply.constData()),
                            int(std::min<qsizetype>(reply.size(), kLoaderReportSize)));
        };
        if (out.delayMs > 0)
            QTimer::singleShot(out.delayMs, this, send);
        else
            send();
    }
    if (out.started) {
        m_bootDoneNs = m_clock.nsecsElapsed() + qint64(m_loader->bootMs()) * 1000000;
        leaveAndReturnAs(Role::Application, 0);
    }
}

UsbReader::~UsbReader()
{
    stop();
}

bool UsbReader::start(QString *error)
{
    const std::string path = socketPath();
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        *error = QStringLiteral("the USB socket path is too long: ") + QString::fromStdString(path);
        return false;
    }
    const QString folder = QFileInfo(QString::fromStdString(path)).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create ") + folder;
        return false;
    }
    // A socket left by a simulator that was killed is taken over; one that
    // still answers belongs to a running simulator and is left alone.
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
        ::close(probe);
        *error = QStringLiteral("another simulator's USB reader is at ") + QString::fromStdString(path);
        return false;
    }
    if (probe >= 0)
        ::close(probe);
    ::unlink(path.c_str());

    m_listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_listenFd, 4) != 0) {
        *error = QStringLiteral("cannot listen on %1: %2")
                     .arg(QString::fromStdString(path), QString::fromLocal8Bit(std::strerror(errno)));
        if (m_listenFd >= 0)
            ::close(m_listenFd);
        m_listenFd = -1;
        return false;
    }
    ::chmod(path.c_str(), 0600);
    m_path = QByteArray::fromStdString(path);
    m_listenNotifier = std::make_unique<QSocketNotifier>(m_listenFd, QSocketNotifier::Read);
    connect(m_listenNotifier.get(), &QSocketNotifier::activated, this, &UsbReader::accept);
    printLine(QStringLiteral("usb: ") + QString::fromLocal8Bit(m_path));
    return true;
}

void UsbReader::stop()
{
    m_clientNotifier.reset();
    dropClient();
    m_listenNotifier.reset();
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
        ::unlink(m_path.constData());
    }
}

void UsbReader::accept()
{
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    // One host at a time: a library loaded again replaces its old connection.
    dropClient();
    m_clientFd = fd;
    m_clientNotifier = std::make_unique<QSocketNotifier>(m_clientFd, QSocketNotifier::Read);
    connect(m_clientNotifier.get(), &QSocketNotifier::activated, this, &UsbReader::readClient);
    m_trace(QStringLiteral("usb: host connected"));
    sendState();
}

void UsbReader::dropClient()
{
    // Called from the notifier's own signal too: let it go later.
    if (m_clientNotifier) {
        m_clientNotifier->setEnabled(false);
        m_clientNotifier.release()->deleteLater();
    }
    if (m_clientFd >= 0) {
        ::close(m_clientFd);
        m_clientFd = -1;
        m_trace(QStringLiteral("usb: host gone"));
    }
    m_incoming.clear();
    m_collector.clear();
}

void UsbReader::readClient()
{
    char buffer[64 * kMessageSize];
    const ssize_t n = ::recv(m_clientFd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0) {
        dropClient();
        return;
    }
    m_incoming.append(buffer, int(n));
    while (m_incoming.size() >= kMessageSize) {
        const char kind = m_incoming[0];
        uint8_t body[kBodySize];
        std::memcpy(body, m_incoming.constData() + 1, kBodySize);
        m_incoming.remove(0, kMessageSize);
        if (kind != kOutputReport || !visible())
            continue;
        if (m_role == Role::Loader) {
            if (m_loader)
                feedLoader(body);
            continue;
        }
        // The device is back before its new image listens.
        if (m_clock.nsecsElapsed() < m_bootDoneNs) {
            m_collector.clear();
            m_trace(QStringLiteral("discard:%1 (the application is starting)")
                        .arg(traceHex(QByteArray(reinterpret_cast<const char *>(body), kReaderReportSize))));
            continue;
        }
        ReaderReport report{};
        std::memcpy(report.data(), body, kReaderReportSize);
        const UsbRequestCollector::Output out = m_collector.feed(report);
        if (!out.discarded.isEmpty())
            m_trace(QStringLiteral("discard:") + traceHex(out.discarded));
        if (out.frame.isEmpty())
            continue;
        m_trace(QStringLiteral("rx:") + traceHex(out.frame));
        const Reply reply = m_model.handle(out.frame);
        if (reply.bytes.isEmpty())
            m_trace(QStringLiteral("quiet: ") + reply.note);
        else
            answer(reply);
        if (BootLoader::startsLoader(out.frame, reply.bytes))
            resetToLoader();
    }
}

void UsbReader::answer(const Reply &reply)
{
    const qint64 now = m_clock.nsecsElapsed();
    if (reply.airUs > 0)
        m_trace(QStringLiteral("air: %1 us").arg(reply.airUs));
    m_trace(QStringLiteral("tx:") + traceHex(reply.bytes));
    const qint64 due = std::max(now, m_airDoneNs) + qint64(reply.airUs) * 1000;
    m_airDoneNs = due;
    if (due <= now && m_held.empty()) {
        sendAnswer(reply);
        return;
    }
    m_held.push_back({due, reply});
    if (m_held.size() == 1)
        sendDueAnswers();
}

void UsbReader::sendDueAnswers()
{
    while (!m_held.empty() && m_held.front().dueNs <= m_clock.nsecsElapsed()) {
        const Reply reply = m_held.front().reply;
        m_held.pop_front();
        sendAnswer(reply);
    }
    if (!m_held.empty()) {
        const qint64 wait = m_held.front().dueNs - m_clock.nsecsElapsed();
        m_airTimer.start(int((wait + 999999) / 1000000));
    }
}

void UsbReader::dropHeldAnswers()
{
    // A device that leaves the bus loses the answers it had not sent yet.
    m_held.clear();
    m_airTimer.stop();
}

void UsbReader::sendAnswer(const Reply &reply)
{
    if (reply.gapAt < 0) {
        sendBytes(reply.bytes);
        return;
    }
    // The pause falls between reports: the host gathers the frame across
    // poll ticks.
    const qsizetype split = std::max<qsizetype>(kReaderReportSize, reply.gapAt / kReaderReportSize * kReaderReportSize);
    sendBytes(reply.bytes.left(split));
    QTimer::singleShot(reply.gapMs, this, [this, rest = reply.bytes.mid(split)] { sendBytes(rest); });
}

void UsbReader::sendMessage(char kind, const uint8_t *body, int size)
{
    if (m_clientFd < 0)
        return;
    char message[kMessageSize] = {};
    message[0] = kind;
    std::memcpy(message + 1, body, size_t(std::clamp(size, 0, kBodySize)));
    for (int sent = 0; sent < kMessageSize;) {
        const ssize_t n = ::send(m_clientFd, message + sent, size_t(kMessageSize - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The host has stopped reading for so long that the socket is
            // full: the report is lost, as a device's would be.
            return;
        }
        if (n <= 0) {
            dropClient();
            return;
        }
        sent += int(n);
    }
}

void UsbReader::sendState()
{
    uint8_t body[kBodySize] = {};
    body[0] = visible() ? 1 : 0;
    body[1] = uint8_t(kVendorId & 0xFF);
    body[2] = uint8_t(kVendorId >> 8);
    body[3] = uint8_t(kProductId & 0xFF);
    body[4] = uint8_t(kProductId >> 8);
    body[5] = uint8_t(m_role == Role::Loader ? kLoaderReportSize : kApplicationReportSize);
    sendMessage(kState, body, kBodySize);
}

void UsbReader::setPlugged(bool plugged)
{
    if (plugged == m_plugged)
        return;
    m_plugged = plugged;
    m_collector.clear();
    if (!plugged)
        dropHeldAnswers();
    m_trace(plugged ? QStringLiteral("usb: plugged in") : QStringLiteral("usb: unplugged"));
    sendState();
}

void UsbReader::sendBytes(const QByteArray &bytes)
{
    if (!visible())
        return;
    for (const ReaderReport &report : cutIntoReports(bytes))
        sendMessage(kInputReport, report.data(), kReaderReportSize);
}

void UsbReader::sendText(const QByteArray &text)
{
    m_trace(QStringLiteral("autoread:") + traceHex(text));
    sendBytes(text);
}

} // namespace vexa::sim
