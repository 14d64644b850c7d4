// VexaHost - the reader over a serial or USB-to-serial COM port.
#include "serialtransport.h"

#include <QFileInfo>

namespace vexa {

SerialTransport::SerialTransport(QObject *parent) : Transport(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialTransport::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialTransport::onError);
    connect(&m_port, &QSerialPort::bytesWritten, this, &Transport::transmitted);
}

SerialTransport::~SerialTransport()
{
    m_port.close();
}

QString SerialTransport::deviceName() const
{
    if (m_port.isOpen())
        return m_openDevice;
    return resolveBinding(m_binding).value_or(m_binding.device);
}

bool SerialTransport::devicePresent() const
{
    const auto device = resolveBinding(m_binding);
#ifdef Q_OS_WIN
    return device.has_value();
#else
    return device && QFileInfo::exists(*device);
#endif
}

void SerialTransport::setPortNumber(int number)
{
    const bool wasOpen = m_port.isOpen();
    m_binding = bindPort(number);
    if (wasOpen) {
        m_port.close();
        QString ignored;
        open(&ignored);
    }
}

void SerialTransport::setDevicePath(const QString &path)
{
    m_port.close();
    m_binding = PortBinding{0, PortBinding::Source::BuiltIn, path, path};
}

void SerialTransport::followBinding()
{
    if (!m_port.isOpen())
        return;
    if (!devicePresent() || resolveBinding(m_binding) != m_openDevice)
        m_port.close();
}

void SerialTransport::setBaudRate(int rate)
{
    m_baud = rate;
    if (m_port.isOpen())
        m_port.setBaudRate(rate);
}

void SerialTransport::close()
{
    m_port.close();
}

void SerialTransport::clearInput()
{
    if (m_port.isOpen())
        m_port.clear(QSerialPort::Input);
}

bool SerialTransport::open(QString *error)
{
    if (m_port.isOpen())
        return true;
    m_accessDenied = false;
    // A device named by its path has no COM number.
    const QString com = m_binding.number > 0 ? QStringLiteral("COM%1").arg(m_binding.number) : m_binding.path;
    if (m_binding.number <= 0 && m_binding.source == PortBinding::Source::None) {
        *error = tr("No COM port is chosen. Choose one in Settings > Port.");
        return false;
    }
    if (m_binding.source == PortBinding::Source::None) {
        *error = tr("%1: the port is not present.").arg(com);
        return false;
    }
    if (!devicePresent()) {
        *error = tr("%1 (%2): the device has gone away. Choose the port again in Settings > Port.")
                     .arg(com, m_binding.device);
        emit deviceLost();
        return false;
    }
    const auto device = resolveBinding(m_binding);
    m_binding.device = *device;
    m_port.setPortName(*device);
    m_port.setBaudRate(m_baud);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_accessDenied = deviceAccessDenied(*device);
        *error = m_accessDenied ? tr("%1 (%2): %3.").arg(com, *device, permissionDeniedText())
                                : tr("%1 (%2): %3").arg(com, *device, m_port.errorString());
        m_port.clearError();
        return false;
    }
    m_openDevice = *device;
    // Pseudo-terminals and some adapters have no modem lines; that is no
    // reason to refuse the port.
    m_port.setDataTerminalReady(true);
    m_port.setRequestToSend(true);
    m_port.clearError();
    return true;
}

bool SerialTransport::write(const QByteArray &frame, QString *error)
{
    QString local;
    QString &text = error ? *error : local;
    // The binding is checked on every write, not only on device-change
    // notices: a frame must never go to a device the port no longer stands for.
    followBinding();
    m_accessDenied = false;
    if (!m_port.isOpen()) {
        if (!m_autoOpen) {
            text = tr("COM%1: the port is closed.").arg(m_binding.number);
            return false;
        }
        if (!open(&text))
            return false;
    }
    if (m_port.write(frame) != frame.size()) {
        text = tr("COM%1: %2").arg(m_binding.number).arg(m_port.errorString());
        m_port.clearError();
        return false;
    }
    return true;
}

void SerialTransport::onReadyRead()
{
    const QByteArray bytes = m_port.readAll();
    if (bytes.isEmpty())
        return;
    emit received();
    emit bytesArrived(bytes);
}

void SerialTransport::onError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError && error != QSerialPort::WriteError)
        return;
    // The device has gone (unplugged, or the other end closed): reads keep
    // failing for as long as it stays open. Close it, so that the next write
    // tries to open it again and tells the operator why it cannot.
    const QString text = m_port.errorString();
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
    emit readFailed(text);
}

} // namespace vexa
