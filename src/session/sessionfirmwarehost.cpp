// VexaHost - the reader session as the firmware upgrade's host.
#include "sessionfirmwarehost.h"

#include <memory>
#include <utility>

#include "config/management.h"
#include "link/frameview.h"
#include "link/readerlink.h"
#include "link/serialtransport.h"
#include "link/usbtransport.h"
#include "session/commandcycle.h"
#include "session/readersession.h"

namespace vexa {

void SessionFirmwareHost::stopRepeat()
{
    // A Repeat cycle would keep sending frames into the loader's line.
    if (m_session.cycle().repeatMode())
        m_session.cycle().setRepeatMode(false);
}

void SessionFirmwareHost::requestLoaderInfo() { m_session.requestLoaderInfo(); }
bool SessionFirmwareHost::linkBusy() const { return m_session.link().busy(); }
int SessionFirmwareHost::bootLoaderComType() const { return m_session.bootLoaderComType(); }
bool SessionFirmwareHost::usbChosen() const { return m_session.interface() == ReaderSession::Interface::Usb; }
void SessionFirmwareHost::chooseUsb() { m_session.chooseUsb(); }
void SessionFirmwareHost::chooseSerial() { m_session.chooseSerial(); }
void SessionFirmwareHost::refreshPorts() { m_session.refreshPorts(); }
void SessionFirmwareHost::resetReader() { m_session.resetReader(); }
SerialTransport &SessionFirmwareHost::serial() { return m_session.serial(); }
OperatorPrompt &SessionFirmwareHost::prompt() { return m_session.prompt(); }

SessionFirmwareHost::~SessionFirmwareHost() { stopWatchingVersion(); }

void SessionFirmwareHost::stopWatchingVersion()
{
    QObject::disconnect(m_versionAnswer);
    QObject::disconnect(m_versionEnd);
    QObject::disconnect(m_versionRefused);
}

void SessionFirmwareHost::requestVersion(std::function<void(bool answered)> answered)
{
    stopWatchingVersion();
    if (answered) {
        ReaderLink &link = m_session.link();
        auto versionCame = std::make_shared<bool>(false);
        const auto over = [this, versionCame, answered = std::move(answered)] {
            const auto report = answered;
            stopWatchingVersion();
            report(*versionCame);
        };
        // Any frame is not enough: the application must have answered this
        // very command (a boot loader, or a reader half started, does not).
        m_versionAnswer =
            QObject::connect(&link, &ReaderLink::responseReady, &link, [versionCame](const FrameView &frame) {
                *versionCame = frame.code() == mgmt::GetVersion && frame.status() == 0;
            });
        m_versionEnd = QObject::connect(&link, &ReaderLink::exchangeEnded, &link, over);
        // A send refused for good ends the exchange without a time-out.
        m_versionRefused = QObject::connect(&link, &ReaderLink::sendFailed, &link, [&link, over] {
            if (!link.busy())
                over();
        });
    }
    m_session.requestVersion();
}

bool SessionFirmwareHost::isOpen() const { return m_session.usb().isOpen(); }
bool SessionFirmwareHost::deviceLost() const { return m_session.usbDeviceLost(); }
void SessionFirmwareHost::clearDeviceLost() { m_session.setUsbDeviceLost(false); }
void SessionFirmwareHost::openDevice() { m_session.usbOpen(); }
void SessionFirmwareHost::setPollSuspended(bool suspended) { m_session.usb().usbPollSuspended = suspended; }
void SessionFirmwareHost::stopResponseTimer() { m_session.link().responseTimer().stop(); }
void SessionFirmwareHost::noteReconnected() { emit m_session.messageLine(QStringLiteral("USB Reconnected")); }
bool SessionFirmwareHost::writeReport(QByteArrayView block) { return m_session.usb().writeReport(block); }
QByteArray SessionFirmwareHost::readReport() { return m_session.usb().readReport(); }

} // namespace vexa
