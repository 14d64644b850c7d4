// VexaHost - which device a "COMn" stands for, and whether it is free.
#include "portmap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QStandardPaths>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vexa {

QString portFolder()
{
#ifdef Q_OS_WIN
    return {};
#else
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Kestrune/VexaHost/ports");
#endif
}

namespace {
QStringList &builtInOverride()
{
    static QStringList devices;
    return devices;
}
} // namespace

void setBuiltInPortDevices(const QStringList &devices)
{
    builtInOverride() = devices;
}

QString defaultPortDevice(int number)
{
    if (!builtInOverride().isEmpty())
        return builtInOverride().value(number - 1);
#ifdef Q_OS_WIN
    return QStringLiteral("\\\\.\\COM%1").arg(number);
#else
    // On-board UARTs first, then USB-serial adapters, then CDC-ACM devices.
    switch (number) {
    case 1: return QStringLiteral("/dev/ttyS0");
    case 2: return QStringLiteral("/dev/ttyS1");
    case 3: return QStringLiteral("/dev/ttyUSB0");
    case 4: return QStringLiteral("/dev/ttyUSB1");
    case 5: return QStringLiteral("/dev/ttyACM0");
    case 6: return QStringLiteral("/dev/ttyACM1");
    case 7: return QStringLiteral("/dev/ttyUSB2");
    case 8: return QStringLiteral("/dev/ttyACM2");
    case 9: return QStringLiteral("/dev/ttyS2");
    default: return {};
    }
#endif
}

PortBinding bindPort(int number)
{
    PortBinding binding;
    binding.number = number;
    if (number < 1 || number > 9)
        return binding;
    const QString folder = portFolder();
    if (!folder.isEmpty()) {
        const QFileInfo entry(folder + QStringLiteral("/COM%1").arg(number));
        if (entry.isSymLink() || entry.exists()) {
            binding.source = PortBinding::Source::FolderEntry;
            binding.path = entry.absoluteFilePath();
            binding.device = resolveBinding(binding).value_or(entry.isSymLink() ? entry.symLinkTarget() : QString());
            return binding;
        }
    }
    const QString device = defaultPortDevice(number);
    if (!device.isEmpty()) {
        binding.source = PortBinding::Source::BuiltIn;
        binding.path = device;
        binding.device = device;
    }
    return binding;
}

std::optional<QString> resolveBinding(const PortBinding &binding)
{
    switch (binding.source) {
    case PortBinding::Source::None:
        return std::nullopt;
    case PortBinding::Source::BuiltIn:
        return binding.path;
    case PortBinding::Source::FolderEntry:
        break;
    }
    const QFileInfo entry(binding.path);
    if (entry.isSymLink()) {
        const QString target = entry.symLinkTarget();
        if (target.isEmpty() || !QFileInfo::exists(target))
            return std::nullopt;
        return target;
    }
    // A device node placed in the folder itself.
    if (entry.exists())
        return entry.absoluteFilePath();
    return std::nullopt;
}

std::optional<QString> resolvePort(int number)
{
    return resolveBinding(bindPort(number));
}

PortProbe probePortState(int number)
{
    PortProbe probe;
    const auto device = resolvePort(number);
    if (!device || !QFileInfo::exists(*device))
        return probe;
    probe.device = *device;
    QSerialPort port;
    port.setPortName(*device);
    if (port.open(QIODevice::ReadWrite)) {
        port.close();
        probe.state = PortState::Free;
        return probe;
    }
    // QSerialPort reports a lock file held by another program and a device
    // the user may not open with the same error code; ask the system.
    probe.state = deviceAccessDenied(*device) ? PortState::Denied : PortState::Held;
    return probe;
}

bool probePort(int number)
{
    return probePortState(number).state == PortState::Free;
}

bool deviceAccessDenied(const QString &device)
{
#ifdef Q_OS_WIN
    Q_UNUSED(device);
    return false;
#else
    // Asked of the system without opening the device: an open would raise
    // and drop the modem lines of a port nobody else has open. The check
    // uses this process's effective user, groups and capabilities, and its
    // access control lists, as an open would.
    const QByteArray path = QFile::encodeName(device);
    if (::faccessat(AT_FDCWD, path.constData(), R_OK | W_OK, AT_EACCESS) == 0)
        return false;
    return errno == EACCES || errno == EPERM;
#endif
}

QString permissionDeniedText()
{
    return QStringLiteral("permission denied: add yourself to the dialout group and log in again");
}

int portNumberFromCaption(const QString &caption)
{
    QString text = caption;
    text.remove(QLatin1Char('&'));
    if (text.size() < 4 || !text.startsWith(QLatin1String("COM")) || !text[3].isDigit())
        return 0;
    return text[3].digitValue();
}

} // namespace vexa
