// VexaHost - the main window as the firmware upgrade's host.
#include "windowfirmwarehost.h"

#include <QAction>

#include "app/mainwindow.h"
#include "link/readerlink.h"
#include "link/usbtransport.h"

namespace vexa {

WindowFirmwareHost::WindowFirmwareHost(MainWindow &window) : QObject(&window), m_window(window) {}

void WindowFirmwareHost::stopRepeat()
{
    if (m_window.repeatAction->isChecked())
        m_window.toggleRepeat();
}

void WindowFirmwareHost::requestLoaderInfo() { m_window.requestLoaderInfo(); }
bool WindowFirmwareHost::linkBusy() const { return m_window.link().busy(); }
int WindowFirmwareHost::bootLoaderComType() const { return m_window.bootLoaderComType; }
bool WindowFirmwareHost::usbChosen() const { return m_window.usbAction->isChecked(); }
void WindowFirmwareHost::chooseUsb() { m_window.chooseUsbInterface(); }
void WindowFirmwareHost::chooseSerial() { m_window.chooseSerialInterface(); }
void WindowFirmwareHost::refreshPorts() { m_window.rebuildPortMenu(); }
void WindowFirmwareHost::requestVersion() { m_window.requestVersion(); }
void WindowFirmwareHost::resetReader() { m_window.resetReader(); }
SerialTransport &WindowFirmwareHost::serial() { return m_window.serial(); }
OperatorPrompt &WindowFirmwareHost::prompt() { return m_window.prompt(); }

bool WindowFirmwareHost::isOpen() const { return m_window.usb().isOpen(); }
bool WindowFirmwareHost::deviceLost() const { return m_window.usbDeviceLost; }
void WindowFirmwareHost::clearDeviceLost() { m_window.usbDeviceLost = false; }
void WindowFirmwareHost::openDevice() { m_window.usbOpen(); }
void WindowFirmwareHost::setPollSuspended(bool suspended) { m_window.usb().usbPollSuspended = suspended; }
void WindowFirmwareHost::stopResponseTimer() { m_window.link().responseTimer().stop(); }
void WindowFirmwareHost::noteReconnected() { m_window.logMessage(QStringLiteral("USB Reconnected")); }
bool WindowFirmwareHost::writeReport(QByteArrayView block) { return m_window.usb().writeReport(block); }
QByteArray WindowFirmwareHost::readReport() { return m_window.usb().readReport(); }

} // namespace vexa
