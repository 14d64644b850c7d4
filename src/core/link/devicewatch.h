// VexaHost - notices when the set of serial devices may have changed: an
// entry added to or removed from the port folder, or a tty or hidraw device
// node that the system adds or removes.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

struct udev;
struct udev_monitor;
class QSocketNotifier;

namespace vexa {

class DeviceWatch : public QObject
{
    Q_OBJECT
public:
    explicit DeviceWatch(QObject *parent = nullptr);
    ~DeviceWatch() override;

signals:
    // Several changes in a quick burst are reported once.
    void devicesChanged();

private:
    void watchFolders();
    void onUdevEvent();

    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    struct udev *m_udev = nullptr;
    struct udev_monitor *m_monitor = nullptr;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace vexa
