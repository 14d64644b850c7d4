// VexaHost - which device a "COMn" stands for, and whether it is free.
//
// On Linux the per-user port folder $XDG_CONFIG_HOME/Kestrune/VexaHost/ports
// may hold an entry COMn, a symbolic link to the device. Without an entry a
// built-in mapping applies; an entry whose target is missing makes the port
// absent.
//
// A chosen port is bound to what it was chosen through (PortBinding): a port
// chosen through a folder entry follows that entry and never falls back to
// the built-in mapping; a port chosen through the built-in mapping stays on
// its device. Otherwise a reader that goes away would silently hand its COM
// number, and the next frame, to whatever device the fallback names.
#pragma once

#include <optional>
#include <QString>
#include <QStringList>

namespace vexa {

constexpr int kLowestListedPort = 1;
constexpr int kHighestListedPort = 8;

QString portFolder();

// The built-in mapping, used when the port folder has no entry for COMn.
QString defaultPortDevice(int number);

// Replaces the built-in mapping by `devices` (COM1 first) until called again
// with an empty list. Tests point it at pseudo-terminals of their own, so
// that no real UART is ever opened or written.
void setBuiltInPortDevices(const QStringList &devices);

// What COMn was chosen through, and the device it stood for then.
struct PortBinding
{
    enum class Source { None, FolderEntry, BuiltIn };

    int number = 0;
    Source source = Source::None;
    // The folder entry, or the built-in device.
    QString path;
    // The device last resolved: what the operator is told about.
    QString device;
};

// Binds COMn as it stands now: to its folder entry when there is one (even
// one whose target is missing), else to the built-in device.
PortBinding bindPort(int number);

// The device a binding stands for now, or nothing when it has gone: a folder
// entry that was removed or whose target is missing. Never the fallback.
std::optional<QString> resolveBinding(const PortBinding &binding);

// The device path for COMn as a new choice would bind it, or nothing when
// the port is absent.
std::optional<QString> resolvePort(int number);

// What a probe of COMn found.
enum class PortState {
    Free,   // opened and closed again: the port can be chosen
    Absent, // no device behind the name
    Held,   // another program (or this one) has it, or its lock file
    Denied, // there, but the user may not open it (no permission)
};

struct PortProbe
{
    PortState state = PortState::Absent;
    QString device;
};

// Opens the device for reading and writing, exclusively, and closes it at
// once; on failure tells a port held by a program from one the user may not
// open at all.
PortProbe probePortState(int number);
// probePortState(number).state == PortState::Free.
bool probePort(int number);

// Whether this process may not open `device` for reading and writing at all
// (the system answers "permission denied"), as against one that is merely
// held by another program.
bool deviceAccessDenied(const QString &device);

// The reason and the fix, for tool tips and messages.
QString permissionDeniedText();

// "COM3" -> 3; the single digit after "COM", or 0 when there is none.
int portNumberFromCaption(const QString &caption);

} // namespace vexa
