// VexaHost - the reader as a USB HID device, through the USB HID library
// AtUsbHid loaded at run time (usb/atusbhid.h has its entry points and its
// notification convention).
//
// Frames go out as 16-byte output reports. While the device is open a 50 ms
// poll drains the waiting input reports: response frames are put back
// together piece by piece (UsbFrameAssembler) into the link's receive
// buffer; only a frame's last piece restarts the response timer. In
// auto-read mode the reports are text lines instead (AutoReadAssembler).
//
// The library reports arrival and removal on a thread of its own; they are
// handed to this object's thread and come out as deviceChanged(). Nothing
// calls into the library once it is released.
#pragma once

#include <cstdint>
#include <functional>
#include <QLibrary>
#include <QTimer>

#include "core/link/transport.h"
#include "core/wire/usbreports.h"
#include "usb/atusbhid.h"

namespace vexa {

class UsbTransport : public Transport
{
    Q_OBJECT
public:
    static constexpr int kPollMs = 50;
    static constexpr uint32_t kVendorId = 0x03EB;
    static constexpr uint32_t kProductId = 0x2013;
    // A device that never stops sending must not hold the event loop.
    static constexpr int kMaxReportsPerTick = 1024;

    enum class LoadResult { Bound, LibraryMissing, EntryPointMissing };

    explicit UsbTransport(QObject *parent = nullptr);
    ~UsbTransport() override;

    // Loads "AtUsbHid" from the library search path (then from the program's
    // own folders) and binds the eight entry points in their order. On
    // failure *message is the operator's text and nothing stays loaded.
    LoadResult loadLibrary(QString *message);
    bool isLoaded() const { return m_findHidDevice != nullptr; }
    // The file the loaded library came from, for the operator's tool tip.
    QString libraryPath() const;
    // Closes a device still open, unregisters and unloads.
    void releaseLibrary();
    void registerNotifications();

    // findHidDevice with vendorId/productId; on success the poll runs.
    bool openDevice();
    // Stops the poll and closes the device.
    void closeDevice();
    bool isOpen() const { return m_open; }
    // Whether a notification's record is about the open device; false
    // without calling anything when the library is not loaded.
    bool isMyDevice(const AtUsbHidDeviceRecord &record) const;

    bool write(const QByteArray &frame, QString *error) override;

    // The boot loader's exchange, outside the frame path: one block of up to
    // ATUSBHID_MAX_REPORT_SIZE bytes as one output report (the library sends
    // as many bytes as the device's report holds), and one input report of
    // the device's size, empty when none is waiting. Both do nothing while
    // the device is not open.
    bool writeReport(QByteArrayView block);
    QByteArray readReport();

    uint32_t vendorId = kVendorId;
    uint32_t productId = kProductId;

    QTimer &pollTimer() { return m_poll; }
    // While set, the poll reads nothing (the firmware upgrade talks to the
    // reader's loader itself).
    bool usbPollSuspended = false;
    bool autoReadMode() const { return m_autoReadMode; }
    // Turning it on starts a fresh line.
    void setAutoReadMode(bool on);
    const AutoReadAssembler &autoRead() const { return m_autoRead; }
    const UsbFrameAssembler &assembler() const { return m_assembler; }
    // How many bytes of the current block the link holds (receiveCount).
    void setReceiveCount(std::function<int()> count) { m_receiveCount = std::move(count); }

    // One poll tick, as the timer runs it.
    void poll();

signals:
    // A tick that is not suspended begins (the Tx light goes out).
    void polled();
    void autoReadLine(const QString &line);
    // Arrival or removal from the library, on this object's thread.
    void deviceChanged(unsigned int event, const AtUsbHidDeviceRecord &record);

private:
    static void onLibraryNotification(void *context, unsigned int event, const AtUsbHidDeviceRecord *record);
    void unbind();

    QLibrary m_library;
    FindHidDeviceFunction m_findHidDevice = nullptr;
    CloseDeviceFunction m_closeDevice = nullptr;
    WriteDataFunction m_writeData = nullptr;
    ReadDataFunction m_readData = nullptr;
    HidRegisterDeviceNotificationFunction m_register = nullptr;
    HidUnregisterDeviceNotificationFunction m_unregister = nullptr;
    IsMyDeviceNotificationFunction m_isMyDevice = nullptr;
    SetFeatureFunction m_setFeature = nullptr;
    AtUsbHidWindow m_window{};
    bool m_registered = false;

    bool m_open = false;
    bool m_autoReadMode = false;
    QTimer m_poll;
    UsbFrameAssembler m_assembler;
    AutoReadAssembler m_autoRead;
    std::function<int()> m_receiveCount;
};

} // namespace vexa
