// VexaHost - the reader over a serial or USB-to-serial COM port.
//
// The port opens itself on first use with the current number and rate and
// stays open; number and rate can change at any time and an open port
// follows them at once. 8 data bits, no parity, 1 stop bit, no flow control.
#pragma once

#include <QSerialPort>

#include "link/transport.h"

namespace vexa {

class SerialTransport : public Transport
{
    Q_OBJECT
public:
    explicit SerialTransport(QObject *parent = nullptr);
    ~SerialTransport() override;

    bool write(const QByteArray &frame, QString *error) override;

    // 0 means no port has been chosen.
    int portNumber() const { return m_number; }
    void setPortNumber(int number);
    int baudRate() const { return m_baud; }
    void setBaudRate(int rate);
    bool isOpen() const { return m_port.isOpen(); }
    QString deviceName() const;

    void setAutoOpen(bool on) { m_autoOpen = on; }
    void close();
    // Drops what has arrived and not been read yet.
    void clearInput();
    // Opens the port now with the current number and rate.
    bool open(QString *error);

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    int m_number = 0;
    int m_baud = 38400;
    bool m_autoOpen = true;
};

} // namespace vexa
