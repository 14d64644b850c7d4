// vexa-sim - the COMn entry in the per-user port folder.
//
// $XDG_CONFIG_HOME/Kestrune/VexaHost/ports/COMn (~/.config when the
// variable is unset or not absolute) is a symbolic link to the device. The
// entry is replaced atomically (a new link renamed over it) and, at exit,
// removed only while it still points to our device, so a simulator started
// later on the same port keeps its entry.
#pragma once

#include <QString>

namespace vexa::sim {

class PortEntry
{
public:
    PortEntry() = default;
    ~PortEntry() { remove(); }
    PortEntry(const PortEntry &) = delete;
    PortEntry &operator=(const PortEntry &) = delete;

    static QString portFolder();

    // On success *warning tells about an entry that was replaced, if any.
    bool publish(const QString &portName, const QString &target, QString *warning, QString *error);
    void remove();

    const QString &path() const { return m_path; }

private:
    QString m_path;
    QString m_target;
};

} // namespace vexa::sim
