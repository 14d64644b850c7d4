// vexa-sim - the reader as a USB HID device, for the simulator's build of
// the USB library (usb/simwire.h describes the socket and its messages).
//
// The device is plugged in while the simulator runs with --usb, unless the
// "usb unplug" control line took it out. Requests arrive as output reports,
// answers leave as input reports, and "autoread <text>" sends text records
// as the reader's automatic reading mode does.
#pragma once

#include <functional>
#include <memory>
#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

#include "readermodel.h"
#include "usbcollector.h"

namespace vexa::sim {

class UsbReader : public QObject
{
    Q_OBJECT
public:
    static constexpr uint16_t kVendorId = 0x03EB;
    static constexpr uint16_t kProductId = 0x2013;

    UsbReader(ReaderModel &model, std::function<void(const QString &)> trace, QObject *parent = nullptr);
    ~UsbReader() override;

    // Listens on the socket and prints "usb: <path>". False with a message.
    bool start(QString *error);
    void stop();
    bool isListening() const { return m_listenFd >= 0; }

    bool isPlugged() const { return m_plugged; }
    void setPlugged(bool plugged);
    // Text records as input reports of up to 16 characters, zero-padded.
    void sendText(const QByteArray &text);
    // Bytes as input reports, as they are (a frame, or noise).
    void sendBytes(const QByteArray &bytes);

private:
    void accept();
    void readClient();
    void dropClient();
    void sendMessage(char kind, const uint8_t *body);
    void sendState();
    void answer(const Reply &reply);

    ReaderModel &m_model;
    std::function<void(const QString &)> m_trace;
    QByteArray m_path;
    int m_listenFd = -1;
    int m_clientFd = -1;
    bool m_plugged = true;
    std::unique_ptr<QSocketNotifier> m_listenNotifier;
    std::unique_ptr<QSocketNotifier> m_clientNotifier;
    QByteArray m_incoming;
    UsbRequestCollector m_collector;
};

} // namespace vexa::sim
