// VexaHost - what the firmware upgrade needs of whoever owns the reader
// link: the command cycle's Repeat, the loader query and the link's state,
// the interface choice, the reader's reset and version, the transports and
// the operator. A window or a session without one provides it.
#pragma once

#include <functional>

#include "core/loader/loaderinterface.h"

namespace vexa {

class LoaderUsbLink;
class OperatorPrompt;
class SerialTransport;

class FirmwareHost
{
public:
    virtual ~FirmwareHost() = default;

    // Repeat off, as its menu item does; nothing when it is off.
    virtual void stopRepeat() = 0;
    // The loader information command; bootLoaderComType() is Serial until
    // its answer says otherwise.
    virtual void requestLoaderInfo() = 0;
    // An exchange waits for its answer (or its time-out).
    virtual bool linkBusy() const = 0;
    // The boot loader's transport: Serial the serial port, anything else USB.
    virtual LoaderComType bootLoaderComType() const = 0;
    // "USB" is the reader interface.
    virtual bool usbChosen() const = 0;
    virtual void chooseUsb() = 0;
    virtual void chooseSerial() = 0;
    // The serial port list anew, for a port the system has just made.
    virtual void refreshPorts() = 0;
    // The reader's version command. `answered`, when given, is called once
    // the exchange is over: true when the reader answered it with its
    // version, false for a time-out, an error status or a send that failed.
    virtual void requestVersion(std::function<void(bool answered)> answered) = 0;
    virtual void resetReader() = 0;
    virtual SerialTransport &loaderPort() = 0;
    virtual LoaderUsbLink &usbLink() = 0;
    virtual OperatorPrompt &prompt() = 0;
};

} // namespace vexa
