// VexaHost - the firmware file: choosing it, reading it, and what its name
// means once the loader has started it.
#include "firmwarefile.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>

namespace vexa {

FirmwareFileRequest firmwareFileRequest(bool usbChecked, int bootLoaderComType, const QString &folder)
{
    FirmwareFileRequest request;
    request.title = QStringLiteral("Select firmware to load");
    request.folder = folder;
    request.filters = {QStringLiteral("Serial/Virtual Com reader (*.enc)"), QStringLiteral("USB HID reader (*.eud *.eum)")};
    request.selectedFilter = (usbChecked || bootLoaderComType == 2) ? 1 : 0;
    return request;
}

QString defaultFirmwareFolder(const QString &programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("firmware"));
}

QString chooseFirmwareFolder(const QString &programFolder, const QString &userFolder)
{
    const QString beside = defaultFirmwareFolder(programFolder);
    if (QFileInfo(beside).isDir() || QFileInfo(programFolder).isWritable() || userFolder.isEmpty())
        return beside;
    return QDir(userFolder).filePath(QStringLiteral("firmware"));
}

FirmwareRead readFirmwareFile(const QString &path)
{
    FirmwareRead result;
    QFile file(path);
    const QString name = QDir::toNativeSeparators(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("Cannot read the firmware file \"%1\": %2. Nothing was sent to the reader.")
                           .arg(name, file.errorString());
        return result;
    }
    result.bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = QStringLiteral("Cannot read the firmware file \"%1\": %2. Nothing was sent to the reader.")
                           .arg(name, file.errorString());
        result.bytes.clear();
        return result;
    }
    if (result.bytes.isEmpty())
        result.error = QStringLiteral("The firmware file \"%1\" is empty. Nothing was sent to the reader.").arg(name);
    return result;
}

AfterUpgrade afterUpgrade(const QString &path)
{
    if (path.contains(QLatin1String("Vx_VIR")))
        return AfterUpgrade::SelectVirtualComPort;
    if (path.contains(QLatin1String("Vx_USB")))
        return AfterUpgrade::ReconnectUsb;
    return AfterUpgrade::RequestVersion;
}

} // namespace vexa
