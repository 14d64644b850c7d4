// VexaHost - the reader as a USB HID device, through AtUsbHid.
#include "usbtransport.h"

#include <algorithm>
#include <cstdio>
#include <type_traits>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <dlfcn.h>
#endif

namespace vexa {

namespace {

const char *const kLibraryName = "AtUsbHid";

#ifndef VEXA_PRIVATE_LIBDIR
#define VEXA_PRIVATE_LIBDIR "lib/vexahost"
#endif

// After the ordinary search path: the program's own build folder and its
// installed library folder (the build's install rules name it), as Windows
// looks beside the program.
QStringList ownLibraryFolders()
{
    const QString app = QCoreApplication::applicationDirPath();
    return {app + QStringLiteral("/usb"), app + QStringLiteral("/../" VEXA_PRIVATE_LIBDIR)};
}

bool notFound(const QString &loaderError)
{
    return loaderError.contains(QLatin1String("No such file"), Qt::CaseInsensitive)
           || loaderError.contains(QLatin1String("cannot open shared object"), Qt::CaseInsensitive)
           || loaderError.contains(QLatin1String("not found"), Qt::CaseInsensitive);
}

} // namespace

UsbTransport::UsbTransport(QObject *parent) : Transport(parent)
{
    m_poll.setObjectName(QStringLiteral("tmrUSB"));
    m_poll.setParent(this);
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &UsbTransport::poll);
    m_window.notify = &UsbTransport::onLibraryNotification;
    m_window.context = this;
}

UsbTransport::~UsbTransport()
{
    if (m_open)
        closeDevice();
    releaseLibrary();
}

UsbTransport::LoadResult UsbTransport::loadLibrary(QString *message)
{
    if (isLoaded())
        releaseLibrary();
    m_library.setFileName(QString::fromLatin1(kLibraryName));
    bool loaded = m_library.load();
    const QString searchError = m_library.errorString();
    for (const QString &folder : ownLibraryFolders()) {
        if (loaded || !notFound(searchError))
            break;
        m_library.setFileName(QDir::cleanPath(folder + QLatin1Char('/') + QString::fromLatin1(kLibraryName)));
        loaded = m_library.load();
    }
    if (!loaded) {
        m_library.setFileName(QString::fromLatin1(kLibraryName));
        *message = notFound(searchError) ? usbErrorText(usberr::ModuleNotFound) : usbErrorText(0, searchError);
        return LoadResult::LibraryMissing;
    }

    // Bound in this order; the first name missing ends the binding.
    bool complete = true;
    auto bind = [this, &complete](auto &function, const char *name) {
        if (!complete)
            return;
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(m_library.resolve(name));
        complete = function != nullptr;
    };
    bind(m_findHidDevice, "findHidDevice");
    bind(m_closeDevice, "closeDevice");
    bind(m_writeData, "writeData");
    bind(m_readData, "readData");
    bind(m_register, "hidRegisterDeviceNotification");
    bind(m_unregister, "hidUnregisterDeviceNotification");
    bind(m_isMyDevice, "isMyDeviceNotification");
    bind(m_setFeature, "setFeature");
    if (!complete) {
        std::fprintf(stderr, "%s\n", "Error: Cannot get address of function.");
        std::fflush(stderr);
        unbind();
        m_library.unload();
        *message = QStringLiteral("Could not get USB HID library functions addresses");
        return LoadResult::EntryPointMissing;
    }
    return LoadResult::Bound;
}

QString UsbTransport::libraryPath() const
{
    if (!isLoaded())
        return {};
#ifndef Q_OS_WIN
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(m_findHidDevice), &info) != 0 && info.dli_fname)
        return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).canonicalFilePath();
#endif
    return m_library.fileName();
}

void UsbTransport::unbind()
{
    m_findHidDevice = nullptr;
    m_closeDevice = nullptr;
    m_writeData = nullptr;
    m_readData = nullptr;
    m_register = nullptr;
    m_unregister = nullptr;
    m_isMyDevice = nullptr;
    m_setFeature = nullptr;
}

void UsbTransport::releaseLibrary()
{
    if (!m_library.isLoaded())
        return;
    // Selecting USB again while the device is open starts from scratch.
    if (m_open && m_closeDevice)
        m_closeDevice();
    if (m_registered && m_unregister)
        m_unregister(&m_window);
    m_registered = false;
    m_open = false;
    m_poll.stop();
    unbind();
    m_library.unload();
}

void UsbTransport::registerNotifications()
{
    if (!isLoaded())
        return;
    m_register(&m_window);
    m_registered = true;
}

bool UsbTransport::openDevice()
{
    if (!isLoaded())
        return false;
    m_open = m_findHidDevice(vendorId, productId) != 0;
    if (m_open) {
        m_assembler.reset();
        m_poll.start();
    }
    return m_open;
}

void UsbTransport::closeDevice()
{
    m_poll.stop();
    if (isLoaded())
        m_closeDevice();
    m_open = false;
}

bool UsbTransport::isMyDevice(const AtUsbHidDeviceRecord &record) const
{
    // A notification that was on its way when the library went must not
    // call into it.
    return isLoaded() && m_isMyDevice(&record) != 0;
}

bool UsbTransport::write(const QByteArray &frame, QString *error)
{
    Q_UNUSED(error);
    // A reader that is away (removed, not yet back) gets nothing; the
    // exchange ends with its time-out, and Repeat goes on trying until the
    // reader returns and opens again.
    if (!m_open)
        return true;
    // The library reads as many bytes as the open device's report holds,
    // which may be more than the 16 a frame's report carries.
    for (const UsbReport &report : toUsbReports(frame)) {
        uint8_t block[ATUSBHID_MAX_REPORT_SIZE] = {};
        std::copy(report.begin(), report.end(), block);
        m_writeData(block);
    }
    emit transmitted();
    return true;
}

bool UsbTransport::writeReport(QByteArrayView block)
{
    if (!m_open || !isLoaded())
        return false;
    uint8_t buffer[ATUSBHID_MAX_REPORT_SIZE] = {};
    std::copy_n(block.data(), std::min<qsizetype>(block.size(), ATUSBHID_MAX_REPORT_SIZE), buffer);
    const bool sent = m_writeData(buffer) != 0;
    emit transmitted();
    return sent;
}

QByteArray UsbTransport::readReport()
{
    if (!m_open || !isLoaded())
        return {};
    // Non-zero means a report came; a device with smaller reports leaves
    // zeros after its bytes, which no loader reply contains.
    uint8_t buffer[ATUSBHID_READ_BUFFER_SIZE] = {};
    if (m_readData(buffer) == 0)
        return {};
    emit received();
    return QByteArray(reinterpret_cast<const char *>(buffer), ATUSBHID_MAX_REPORT_SIZE);
}

void UsbTransport::setAutoReadMode(bool on)
{
    m_autoReadMode = on;
    if (on)
        m_autoRead.clear();
}

void UsbTransport::poll()
{
    if (usbPollSuspended)
        return;
    emit polled();
    uint8_t buffer[kUsbReadBufferSize] = {};
    for (int n = 0; n < kMaxReportsPerTick && m_open && isLoaded(); ++n) {
        // A report shorter than a frame's piece leaves zeros, never bytes
        // of the report before it.
        std::fill_n(buffer, kUsbReportSize, uint8_t(0));
        if (m_readData(buffer) == 0)
            break;
        UsbReport report;
        std::copy_n(buffer, kUsbReportSize, report.begin());
        emit received();
        if (m_autoReadMode) {
            if (const auto line = m_autoRead.addReport(report))
                emit autoReadLine(*line);
            continue;
        }
        const UsbPiece piece = m_assembler.take(report, m_receiveCount ? m_receiveCount() : 0);
        const QByteArray bytes(reinterpret_cast<const char *>(report.data()), piece.take);
        if (!piece.frameEnds) {
            emit pieceArrived(bytes);
            continue;
        }
        // The frame's last piece: the link restarts its timer at 100 ms.
        emit bytesArrived(bytes);
        break;
    }
    m_autoRead.tick();
}

void UsbTransport::onLibraryNotification(void *context, unsigned int event, const AtUsbHidDeviceRecord *record)
{
    // Runs on the library's thread: hand a copy over to ours.
    auto *self = static_cast<UsbTransport *>(context);
    const AtUsbHidDeviceRecord copy = record ? *record : AtUsbHidDeviceRecord{};
    QMetaObject::invokeMethod(
        self, [self, event, copy] { emit self->deviceChanged(event, copy); }, Qt::QueuedConnection);
}

} // namespace vexa
