// VexaHost - notices when the set of serial devices may have changed.
#include "devicewatch.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include "core/link/portmap.h"

#include <libudev.h>

namespace vexa {

DeviceWatch::DeviceWatch(QObject *parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(50);
    connect(&m_settle, &QTimer::timeout, this, &DeviceWatch::devicesChanged);
    connect(&m_settle, &QTimer::timeout, this, &DeviceWatch::watchFolders);
    auto changed = [this] { m_settle.start(); };
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, changed);
    watchFolders();

    m_udev = udev_new();
    if (m_udev)
        m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (m_monitor) {
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "tty", nullptr);
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr);
        if (udev_monitor_enable_receiving(m_monitor) == 0) {
            m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read, this);
            connect(m_notifier, &QSocketNotifier::activated, this, &DeviceWatch::onUdevEvent);
        }
    }
}

DeviceWatch::~DeviceWatch()
{
    delete m_notifier;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

void DeviceWatch::watchFolders()
{
    // Watch the port folder, or the nearest existing folder above it so that
    // its creation is noticed too.
    QString folder = portFolder();
    if (folder.isEmpty())
        return;
    QDir dir(folder);
    while (!dir.exists() && dir.cdUp()) {
    }
    const QString path = QFileInfo(folder).isDir() ? folder : dir.absolutePath();
    const QStringList old = m_watcher.directories();
    if (old.size() == 1 && old.first() == path)
        return;
    if (!old.isEmpty())
        m_watcher.removePaths(old);
    m_watcher.addPath(path);
}

void DeviceWatch::onUdevEvent()
{
    if (struct udev_device *device = udev_monitor_receive_device(m_monitor)) {
        udev_device_unref(device);
        m_settle.start();
    }
}

} // namespace vexa
