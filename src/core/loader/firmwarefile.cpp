// VexaHost - the firmware file: choosing it, reading it, and what its name
// means once the loader has started it.
#include "firmwarefile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <utility>

#include "core/util/regularfile.h"

namespace vexa {

FirmwareFileRequest firmwareFileRequest(bool usbChecked, LoaderComType bootLoaderComType, const QString &folder)
{
    FirmwareFileRequest request;
    request.title = QStringLiteral("Select firmware to load");
    request.folder = folder;
    request.filters = {QStringLiteral("Serial/Virtual Com reader (*.enc)"), QStringLiteral("USB HID reader (*.eud *.eum)")};
    request.selectedFilter = (usbChecked || bootLoaderComType == LoaderComType::Usb) ? 1 : 0;
    return request;
}

bool matchesFileFilters(const QString &path, const QStringList &filters)
{
    const QString name = QFileInfo(path).fileName();
    for (const QString &filter : filters) {
        const qsizetype open = filter.indexOf(QLatin1Char('(')), close = filter.lastIndexOf(QLatin1Char(')'));
        const QStringList patterns = filter.mid(open + 1, close - open - 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &pattern : patterns) {
            if (QRegularExpression::fromWildcard(pattern, Qt::CaseInsensitive).match(name).hasMatch())
                return true;
        }
    }
    return false;
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
    const QString name = QDir::toNativeSeparators(path);
    RegularFileRead read = readRegularFile(path, kLargestFirmwareFile);
    if (read.status == RegularFileRead::Status::TooLarge) {
        result.error = QStringLiteral("Cannot read the firmware file \"%1\": it is larger than %2 bytes, more than any "
                                      "reader holds. Nothing was sent to the reader.")
                           .arg(name)
                           .arg(kLargestFirmwareFile);
        return result;
    }
    if (read.status != RegularFileRead::Status::Read) {
        result.error = QStringLiteral("Cannot read the firmware file \"%1\": %2. Nothing was sent to the reader.")
                           .arg(name, read.reason);
        return result;
    }
    result.bytes = std::move(read.bytes);
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
