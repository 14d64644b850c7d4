// vexactl - opening the interface before the first command: a serial
// port at the rate to talk at, or the USB reader through the session's start.
#include "connect.h"

#include <QFileInfo>

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
        const bool open = session.beginAtRate(settings, QString(), nullptr);
        const QStringList said = prompt.release();
        if (!open) {
            printReason(said.isEmpty() ? QStringLiteral("no USB reader is connected.") : oneLine(said));
            return false;
        }
        for (const QString &text : said)
            printError(printableText(oneLine({text})));
        return true;
    }
    if (!c.device.isEmpty() && !QFileInfo::exists(c.device)) {
        printReason(shownText(c.device) + QStringLiteral(": no such device."));
        return false;
    }
    ReaderSession::Settings settings;
    settings.options = session.options();
    settings.baudRate = c.baud.value_or(isKnownBaudRate(stored.baudRate) ? stored.baudRate : 38400);
    settings.portNumber = c.port.value_or(stored.portNumber);
    QString error;
    if (!session.beginAtRate(settings, c.device, &error)) {
        printReason(error);
        return false;
    }
    return true;
}

} // namespace vexa::ctl
