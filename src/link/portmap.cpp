// VexaHost - which device a "COMn" stands for, and whether it is free.
#include "portmap.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPort>
#include <QStandardPaths>

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

QString defaultPortDevice(int number)
{
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

std::optional<QString> resolvePort(int number)
{
    if (number < 1 || number > 9)
        return std::nullopt;
    const QString folder = portFolder();
    if (!folder.isEmpty()) {
        const QFileInfo entry(folder + QStringLiteral("/COM%1").arg(number));
        if (entry.isSymLink()) {
            const QString target = entry.symLinkTarget();
            if (target.isEmpty() || !QFileInfo::exists(target))
                return std::nullopt;
            return target;
        }
        if (entry.exists())
            return entry.absoluteFilePath();
    }
    const QString device = defaultPortDevice(number);
    if (device.isEmpty())
        return std::nullopt;
    return device;
}

bool probePort(int number)
{
    const auto device = resolvePort(number);
    if (!device || !QFileInfo::exists(*device))
        return false;
    QSerialPort port;
    port.setPortName(*device);
    if (!port.open(QIODevice::ReadWrite))
        return false;
    port.close();
    return true;
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
