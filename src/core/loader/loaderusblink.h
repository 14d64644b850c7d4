// VexaHost - what the loader window needs of the USB link: the device's
// state, the main window's USB operations that the capture runs, and the
// raw report exchange with the boot loader. The main window provides it;
// tests may put in their own.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace vexa {

class LoaderUsbLink
{
public:
    virtual ~LoaderUsbLink() = default;

    // usbOpen: the device is open.
    virtual bool isOpen() const = 0;
    // usbDeviceLost: set whenever the link closes the device, selects USB
    // afresh or sees the device removed.
    virtual bool deviceLost() const = 0;
    virtual void clearDeviceLost() = 0;
    // The "USB" interface choice of the main window.
    virtual void selectUsb() = 0;
    // The main window's USB open (status panel, message view, poll).
    virtual void openDevice() = 0;
    // While suspended, the USB poll reads nothing, so the loader's replies
    // reach the loader window.
    virtual void setPollSuspended(bool suspended) = 0;
    // The reset was sent; its answer is not awaited.
    virtual void stopResponseTimer() = 0;
    // "USB Reconnected" on top of the message view.
    virtual void noteReconnected() = 0;

    // One block of up to 64 bytes as one output report; false when nothing
    // was sent (no device, or the library refused).
    virtual bool writeReport(QByteArrayView block) = 0;
    // One waiting input report (64 bytes, zero after the device's report),
    // or empty.
    virtual QByteArray readReport() = 0;
};

} // namespace vexa
