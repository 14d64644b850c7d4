// VexaHost - the firmware file: choosing it, reading it, and what its name
// means once the loader has started it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "core/loader/loaderinterface.h"

namespace vexa {

// The file dialog of "Upgrade firmware...".
struct FirmwareFileRequest
{
    QString title;
    QString folder;
    QStringList filters;    // serial first, USB second
    int selectedFilter = 0; // index into filters
};

// `usbChecked`: the "USB" interface is the one selected. A USB loader, or
// the USB interface, preselects the USB file types.
FirmwareFileRequest firmwareFileRequest(bool usbChecked, LoaderComType bootLoaderComType, const QString &folder);

// The file's name matches a pattern of one of `filters` ("Name (*.a *.b)"),
// as the file dialog would list it; letter case aside.
bool matchesFileFilters(const QString &path, const QStringList &filters);

// The "firmware" folder beside the program file.
QString defaultFirmwareFolder(const QString &programFolder);
// Where firmware files are looked for: the "firmware" folder beside the
// program when it exists or can be made there, otherwise a "firmware"
// folder in `userFolder`, a folder of the operator's own that they can see
// (an installed program lives in a folder only the administrator may write to).
QString chooseFirmwareFolder(const QString &programFolder, const QString &userFolder);

struct FirmwareRead
{
    QByteArray bytes;
    QString error; // empty on success
};

// No reader image comes near this: the largest reader holds a small
// fraction of it, and a serial transfer of this much takes over half an hour.
constexpr qint64 kLargestFirmwareFile = 4 * 1024 * 1024;

// Reads the whole file, without ever waiting on it. Anything but a regular
// file (after links), a file larger than kLargestFirmwareFile, one that
// cannot be opened or read, or one that is empty gives an error naming the
// file and the reason: an empty image would make the loader start an
// application that is not there.
FirmwareRead readFirmwareFile(const QString &path);

enum class AfterUpgrade {
    SelectVirtualComPort, // the new firmware makes the reader a virtual COM port
    ReconnectUsb,         // the new firmware speaks USB HID
    RequestVersion,
};

// From the file's full name, case-sensitive: "Vx_VIR" or "Vx_USB" in it.
AfterUpgrade afterUpgrade(const QString &path);

} // namespace vexa
