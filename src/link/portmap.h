// VexaHost - which device a "COMn" stands for, and whether it is free.
//
// On Linux the per-user port folder $XDG_CONFIG_HOME/Kestrune/VexaHost/ports
// may hold an entry COMn, a symbolic link to the device. Without an entry a
// built-in mapping applies; an entry whose target is missing makes the port
// absent.
#pragma once

#include <optional>
#include <QString>

namespace vexa {

constexpr int kLowestListedPort = 1;
constexpr int kHighestListedPort = 8;

QString portFolder();

// The built-in mapping, used when the port folder has no entry for COMn.
QString defaultPortDevice(int number);

// The device path for COMn, or nothing when the port is absent.
std::optional<QString> resolvePort(int number);

// Opens the device for reading and writing, exclusively, and closes it at
// once. A port held by any program, this one included, gives false.
bool probePort(int number);

// "COM3" -> 3; the single digit after "COM", or 0 when there is none.
int portNumberFromCaption(const QString &caption);

} // namespace vexa
