// AtUsbHid on hidapi: a real reader through the system's HID driver (hidraw
// on Linux). Arrival and removal come from a udev monitor on a thread of its
// own; the device node path identifies the device. The output report size
// comes from the hidraw node's report descriptor when the device opens
// (hidapi of this generation does not hand the descriptor out).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

#include <hidapi.h>
#include <fcntl.h>
#include <libudev.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include "atusbhid.h"
#include "hiddescriptor.h"
#include "notifytarget.h"

namespace {

// The descriptor of a hidraw node: from the node itself, else from sysfs.
std::string readDescriptor(const std::string &node)
{
    std::string bytes;
    const int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        int size = 0;
        hidraw_report_descriptor descriptor{};
        if (::ioctl(fd, HIDIOCGRDESCSIZE, &size) == 0 && size > 0 && size <= HID_MAX_DESCRIPTOR_SIZE) {
            descriptor.size = std::uint32_t(size);
            if (::ioctl(fd, HIDIOCGRDESC, &descriptor) == 0)
                bytes.assign(reinterpret_cast<const char *>(descriptor.value), std::size_t(size));
        }
        ::close(fd);
    }
    if (!bytes.empty())
        return bytes;
    const std::size_t slash = node.rfind('/');
    const std::string sysfs =
        "/sys/class/hidraw/" + node.substr(slash == std::string::npos ? 0 : slash + 1) + "/device/report_descriptor";
    if (FILE *file = std::fopen(sysfs.c_str(), "rbe")) {
        char chunk[HID_MAX_DESCRIPTOR_SIZE];
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file);
        bytes.assign(chunk, n);
        std::fclose(file);
    }
    return bytes;
}

int outputReportSize(const std::string &node)
{
    const std::string descriptor = readDescriptor(node);
    const atusbhid::ReportSizes sizes =
        atusbhid::parseReportDescriptor(reinterpret_cast<const unsigned char *>(descriptor.data()), descriptor.size());
    return atusbhid::reportSizeOr(sizes.valid ? sizes.output : 0, ATUSBHID_DEFAULT_REPORT_SIZE,
                                  ATUSBHID_MAX_REPORT_SIZE);
}

struct Library
{
    std::mutex mutex;          // the device and its path
    hid_device *device = nullptr;
    std::string path;
    int outputSize = ATUSBHID_DEFAULT_REPORT_SIZE;
    bool hidReady = false;

    atusbhid::NotifyTarget target;
    std::thread watcher;
    int stopPipe[2] = {-1, -1};

    ~Library()
    {
        stopWatcher();
        std::lock_guard lock(mutex);
        if (device)
            hid_close(device);
        device = nullptr;
        if (hidReady)
            hid_exit();
    }

    void startWatcher()
    {
        if (watcher.joinable() || ::pipe(stopPipe) != 0)
            return;
        watcher = std::thread([this] { watch(); });
    }

    void stopWatcher()
    {
        if (!watcher.joinable())
            return;
        const char byte = 0;
        [[maybe_unused]] ssize_t n = ::write(stopPipe[1], &byte, 1);
        watcher.join();
        ::close(stopPipe[0]);
        ::close(stopPipe[1]);
        stopPipe[0] = stopPipe[1] = -1;
    }

    void watch()
    {
        struct udev *udev = udev_new();
        struct udev_monitor *monitor = udev ? udev_monitor_new_from_netlink(udev, "udev") : nullptr;
        if (monitor) {
            udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr);
            if (udev_monitor_enable_receiving(monitor) != 0) {
                udev_monitor_unref(monitor);
                monitor = nullptr;
            }
        }
        pollfd fds[2] = {{stopPipe[0], POLLIN, 0}, {monitor ? udev_monitor_get_fd(monitor) : -1, POLLIN, 0}};
        for (;;) {
            if (::poll(fds, monitor ? 2 : 1, -1) < 0)
                continue;
            if (fds[0].revents)
                break;
            if (!(fds[1].revents & POLLIN))
                continue;
            struct udev_device *dev = udev_monitor_receive_device(monitor);
            if (!dev)
                continue;
            report(dev);
            udev_device_unref(dev);
        }
        if (monitor)
            udev_monitor_unref(monitor);
        if (udev)
            udev_unref(udev);
    }

    void report(struct udev_device *dev)
    {
        const char *action = udev_device_get_action(dev);
        unsigned int event = 0;
        if (action && std::strcmp(action, "add") == 0)
            event = ATUSBHID_DEVICE_ARRIVAL;
        else if (action && std::strcmp(action, "remove") == 0)
            event = ATUSBHID_DEVICE_REMOVE_COMPLETE;
        if (!event)
            return;
        AtUsbHidDeviceRecord record{};
        atusbhid::setRecordPath(record, udev_device_get_devnode(dev));
        // HID_ID reads "bus:vendor:product" in hexadecimal; the parent is
        // still readable on arrival only.
        if (struct udev_device *hid = udev_device_get_parent_with_subsystem_devtype(dev, "hid", nullptr)) {
            unsigned bus = 0, vendor = 0, product = 0;
            if (const char *id = udev_device_get_property_value(hid, "HID_ID"))
                if (std::sscanf(id, "%x:%x:%x", &bus, &vendor, &product) == 3) {
                    record.vendorId = static_cast<unsigned short>(vendor);
                    record.productId = static_cast<unsigned short>(product);
                }
        }
        target.notify(event, record);
    }
};

Library &library()
{
    static Library instance;
    return instance;
}

} // namespace

extern "C" {

int findHidDevice(unsigned int vendorId, unsigned int productId)
{
    Library &lib = library();
    std::lock_guard lock(lib.mutex);
    if (!lib.hidReady) {
        if (hid_init() != 0)
            return 0;
        lib.hidReady = true;
    }
    if (lib.device) {
        hid_close(lib.device);
        lib.device = nullptr;
        lib.path.clear();
    }
    hid_device_info *list = hid_enumerate(static_cast<unsigned short>(vendorId), static_cast<unsigned short>(productId));
    for (hid_device_info *info = list; info && !lib.device; info = info->next) {
        if (!info->path)
            continue;
        lib.device = hid_open_path(info->path);
        if (lib.device)
            lib.path = info->path;
    }
    hid_free_enumeration(list);
    if (!lib.device)
        return 0;
    hid_set_nonblocking(lib.device, 1);
    lib.outputSize = outputReportSize(lib.path);
    return 1;
}

void closeDevice(void)
{
    Library &lib = library();
    std::lock_guard lock(lib.mutex);
    if (lib.device)
        hid_close(lib.device);
    lib.device = nullptr;
    lib.path.clear();
    lib.outputSize = ATUSBHID_DEFAULT_REPORT_SIZE;
}

int writeData(const unsigned char *report)
{
    Library &lib = library();
    std::lock_guard lock(lib.mutex);
    if (!lib.device || !report)
        return 0;
    // Report ID 0 first: the reader has one unnumbered output report.
    unsigned char buffer[ATUSBHID_MAX_REPORT_SIZE + 1] = {0};
    std::memcpy(buffer + 1, report, std::size_t(lib.outputSize));
    return hid_write(lib.device, buffer, std::size_t(lib.outputSize) + 1) > 0;
}

int readData(unsigned char *buffer)
{
    Library &lib = library();
    std::lock_guard lock(lib.mutex);
    if (!lib.device || !buffer)
        return 0;
    const int n = hid_read_timeout(lib.device, buffer, ATUSBHID_READ_BUFFER_SIZE, 0);
    return n > 0 ? n : 0;
}

int hidRegisterDeviceNotification(AtUsbHidWindow *window)
{
    if (!window || !window->notify)
        return 0;
    Library &lib = library();
    lib.target.set(window);
    lib.startWatcher();
    return 1;
}

void hidUnregisterDeviceNotification(AtUsbHidWindow *window)
{
    Library &lib = library();
    lib.target.clear(window);
    if (!lib.target.registered())
        lib.stopWatcher();
}

int isMyDeviceNotification(const AtUsbHidDeviceRecord *record)
{
    Library &lib = library();
    std::lock_guard lock(lib.mutex);
    return record && lib.device && lib.path == record->path;
}

int setFeature(const unsigned char *report)
{
    Library &lib = library();
    std::lock_guard lock(lib.mutex);
    if (!lib.device || !report)
        return 0;
    unsigned char buffer[ATUSBHID_MAX_REPORT_SIZE + 1] = {0};
    std::memcpy(buffer + 1, report, std::size_t(lib.outputSize));
    return hid_send_feature_report(lib.device, buffer, std::size_t(lib.outputSize) + 1) > 0;
}

} // extern "C"
