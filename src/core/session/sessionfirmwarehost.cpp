// VexaHost - the reader session as the firmware upgrade's host.
#include "sessionfirmwarehost.h"

#include <utility>

#include "core/session/readersession.h"

namespace vexa {

void SessionFirmwareHost::stopRepeat() { m_session.stopRepeat(); }
void SessionFirmwareHost::requestLoaderInfo() { m_session.requestLoaderInfo(); }
bool SessionFirmwareHost::linkBusy() const { return m_session.awaitingAnswer(); }
LoaderComType SessionFirmwareHost::bootLoaderComType() const { return m_session.bootLoaderComType(); }
bool SessionFirmwareHost::usbChosen() const { return m_session.interface() == ReaderSession::Interface::Usb; }
void SessionFirmwareHost::chooseUsb() { m_session.chooseUsb(); }
void SessionFirmwareHost::chooseSerial() { m_session.chooseSerial(); }
void SessionFirmwareHost::refreshPorts() { m_session.refreshPorts(); }
void SessionFirmwareHost::resetReader() { m_session.resetReader(); }
SerialTransport &SessionFirmwareHost::loaderPort() { return m_session.serialPortForLoader(); }
OperatorPrompt &SessionFirmwareHost::prompt() { return m_session.prompt(); }

void SessionFirmwareHost::requestVersion(std::function<void(bool answered)> answered)
{
    m_session.requestVersionThen(std::move(answered));
}

bool SessionFirmwareHost::isOpen() const { return m_session.usbDeviceOpen(); }
bool SessionFirmwareHost::deviceLost() const { return m_session.usbDeviceLost(); }
void SessionFirmwareHost::clearDeviceLost() { m_session.setUsbDeviceLost(false); }
void SessionFirmwareHost::openDevice() { m_session.usbOpen(); }
void SessionFirmwareHost::stopResponseTimer() { m_session.stopAwaitingAnswer(); }
void SessionFirmwareHost::noteReconnected() { m_session.noteUsbReconnected(); }
bool SessionFirmwareHost::writeReport(QByteArrayView block) { return m_session.writeUsbReport(block); }
QByteArray SessionFirmwareHost::readReport() { return m_session.readUsbReport(); }

void SessionFirmwareHost::setPollSuspended(bool suspended)
{
    if (suspended)
        m_session.suspendUsbPollForLoader();
    else
        m_session.resumeUsbPollAfterLoader();
}

} // namespace vexa
