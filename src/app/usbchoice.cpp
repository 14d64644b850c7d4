// VexaHost - choosing the USB interface: loading the USB HID library,
// opening and closing the reader, device changes, and "View auto read...".
#include "mainwindow.h"

#include <QLabel>
#include <QMenu>

#include "app/autoreadwindow.h"
#include "app/responsepane.h"
#include "link/readerlink.h"
#include "link/usbtransport.h"
#include "session/operatorprompt.h"

namespace vexa {

void MainWindow::wireUsb()
{
    m_usb->setReceiveCount([this] { return m_link->receiveCount(); });
    connect(m_usb, &UsbTransport::deviceChanged, this, &MainWindow::onUsbDeviceChange);
    connect(m_usb, &UsbTransport::autoReadLine, autoReadWindow, &AutoReadWindow::appendLine);
    connect(autoReadWindow, &QDialog::finished, this, [this] { m_usb->setAutoReadMode(false); });
}

void MainWindow::chooseUsbInterface()
{
    enableCommandControls(false);
    usbSelect();
    usbAction->setChecked(true);
    setControlEnabled(autoReadAction, true);
    setControlEnabled(portMenu->menuAction(), false);
    setControlEnabled(baudMenu->menuAction(), false);
    setPanel(0, QStringLiteral("USB"));
    statusPanels[0]->setToolTip(m_usb->libraryPath());
    m_link->setTransport(m_usb);
}

void MainWindow::usbSelect()
{
    usbDeviceLost = true;
    m_usb->vendorId = UsbTransport::kVendorId;
    m_usb->productId = UsbTransport::kProductId;
    QString message;
    if (m_usb->loadLibrary(&message) != UsbTransport::LoadResult::Bound) {
        m_prompt->error(message);
        return;
    }
    usbOpen();
    m_usb->registerNotifications();
}

void MainWindow::usbOpen()
{
    if (!m_usb->openDevice()) {
        setPanel(1, QStringLiteral("Device not found"));
        return;
    }
    setPanel(1, QStringLiteral("Device ready"));
    enableCommandControls(true);
    logMessage(QStringLiteral("USB Connected"));
}

void MainWindow::usbClose()
{
    if (m_usb->isOpen()) {
        m_usb->closeDevice();
        enableCommandControls(false);
    }
    m_usb->releaseLibrary();
    logMessage(QStringLiteral("USB Disconnected"));
    usbDeviceLost = true;
    setPanel(1, QStringLiteral("Device disconnected"));
}

void MainWindow::releaseUsbForSerial()
{
    if (m_usb->isOpen())
        usbClose();
    else
        m_usb->releaseLibrary();
}

void MainWindow::onUsbDeviceChange(unsigned int event, const AtUsbHidDeviceRecord &record)
{
    switch (event) {
    case ATUSBHID_DEVICE_ARRIVAL:
        setPanel(1, QStringLiteral("Device arrival"));
        // Without the library (serial in use, or it failed to load) there
        // is nobody to ask and nothing to open.
        if (!m_usb->isLoaded())
            return;
        if (m_usb->isMyDevice(record) && m_usb->isOpen())
            setPanel(1, QStringLiteral("Device Already Connected"));
        else
            usbOpen();
        return;
    case ATUSBHID_DEVICE_REMOVE_COMPLETE:
        setPanel(1, QStringLiteral("Device disconnected"));
        if (!m_usb->isLoaded() || !m_usb->isOpen() || !m_usb->isMyDevice(record))
            return;
        enableCommandControls(false);
        m_usb->closeDevice();
        setPanel(1, QStringLiteral("Device removed"));
        logMessage(QStringLiteral("USB Disconnected"));
        usbDeviceLost = true;
        return;
    case ATUSBHID_DEVNODES_CHANGED:
        devicesChanged();
        return;
    default:
        setPanel(1, QStringLiteral("USB Message %1").arg(event));
        return;
    }
}

void MainWindow::viewAutoRead()
{
    m_usb->setAutoReadMode(true);
    // Modal for the operator; the handler returns at once and the mode ends
    // when the window closes (wireUsb).
    autoReadWindow->setWindowModality(Qt::ApplicationModal);
    autoReadWindow->show();
    autoReadWindow->raise();
}

} // namespace vexa
