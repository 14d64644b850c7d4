// VexaHost - the reader over a serial or USB-to-serial COM port.
//
// The port opens itself on first use with the current number and rate and
// stays open; number and rate can change at any time and an open port
// follows them at once. 8 data bits, no parity, 1 stop bit, no flow control.
//
// Setting the number binds the port to what COMn stands for at that moment
// (see portmap.h); every later open goes through that binding. When the
// bound device has gone, nothing is opened in its place: the write fails
// with a text naming the port and the device, and deviceLost() is emitted.
#pragma once

#include <QSerialPort>

#include "core/link/portmap.h"
#include "core/link/transport.h"

namespace vexa {

class SerialTransport : public Transport
{
    Q_OBJECT
public:
    explicit SerialTransport(QObject *parent = nullptr);
    ~SerialTransport() override;

    bool write(const QByteArray &frame, QString *error) override;
    bool lastFailureFinal() const override { return m_accessDenied; }

    // 0 means no port has been chosen.
    int portNumber() const { return m_binding.number; }
    // Chooses COMn, binding it anew even when the number is the same.
    void setPortNumber(int number);
    // Binds to a device path named directly, outside the COM port names.
    void setDevicePath(const QString &path);
    int baudRate() const { return m_baud; }
    void setBaudRate(int rate);
    bool isOpen() const { return m_port.isOpen(); }
    // The device the chosen port stands for (the last one seen when it has
    // gone), and whether it is there now.
    QString deviceName() const;
    bool devicePresent() const;
    // Called when devices or port-folder entries changed, and before every
    // write: an open port whose binding now stands for another device, or
    // whose device has gone, is closed, so that the next write follows the
    // binding or reports the loss.
    void followBinding();

    void setAutoOpen(bool on) { m_autoOpen = on; }
    void close();
    // Drops what has arrived and not been read yet.
    void clearInput();
    // Opens the port now with the current number and rate.
    bool open(QString *error);
    // The last open failed because the user may not open the device.
    bool accessDenied() const { return m_accessDenied; }

signals:
    // An open found the chosen port's device gone.
    void deviceLost();

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    PortBinding m_binding;
    // The device the open port was opened on.
    QString m_openDevice;
    int m_baud = 38400;
    bool m_autoOpen = true;
    bool m_accessDenied = false;
};

} // namespace vexa
