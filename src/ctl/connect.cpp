// vexactl - opening the interface before the first command: a serial
// port at the rate to talk at, or the USB reader through the session's start.
#include "connect.h"

#include <QFileInfo>

#include "core/link/serialtransport.h"
#include "core/link/usbtransport.h"
#include "core/session/readersession.h"
#include "core/settings/settingsstore.h"
#include "ctl/commandline.h"
#include "ctl/terminal.h"

namespace vexa::ctl {

bool connectReader(ReaderSession &session, TerminalPrompt &prompt, const Connection &c, const StoredSettings &stored)
{
    const bool usb = c.usb || (!c.port && c.device.isEmpty() && stored.comMethod != 0);
    if (usb) {
        ReaderSession::Settings settings;
        settings.usb = true;
        settings.options = session.options();
        // What the session says on the way is the reason when it fails.
        prompt.hold();
        session.begin(settings);
        const QStringList said = prompt.release();
        if (!session.usb().isOpen()) {
            printReason(said.isEmpty() ? QStringLiteral("no USB reader is connected.") : oneLine(said));
            return false;
        }
        for (const QString &text : said)
            printError(printableText(oneLine({text})));
        return true;
    }
    session.tickClock();
    SerialTransport &serial = session.serial();
    serial.setBaudRate(c.baud.value_or(isKnownBaudRate(stored.baudRate) ? stored.baudRate : 38400));
    if (!c.device.isEmpty()) {
        if (!QFileInfo::exists(c.device)) {
            printReason(c.device + QStringLiteral(": no such device."));
            return false;
        }
        serial.setDevicePath(c.device);
    } else {
        serial.setPortNumber(c.port.value_or(stored.portNumber));
    }
    QString error;
    if (!serial.open(&error)) {
        printReason(error);
        return false;
    }
    return true;
}

} // namespace vexa::ctl
