// vexa-sim - the reader as a USB HID device, for the simulator's build of
// the USB library (usb/simwire.h describes the socket and its messages).
//
// The device is plugged in while the simulator runs with --usb, unless the
// "usb unplug" control line took it out. Requests arrive as output reports,
// answers leave as input reports, and "autoread <text>" sends text records
// as the reader's automatic reading mode does.
//
// The reader's boot loader is a USB device of its own: a reset the reader
// carried out (over USB or the serial line) makes the application's device
// leave (kLeaveMs after the answer) and, kAbsentMs later, the boot loader
// enumerate with 64-byte reports under the same IDs. It listens kListenMs
// for the capture report; without one it leaves and the application comes
// back. Captured, it takes write reports until the go report, then leaves
// and the application comes back with its 16-byte reports.
//
// An answer with air time (Reply::airUs) leaves that much after the request
// came, or after the answer before it: the reader does one exchange after
// the other, and the answers keep their order.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include "readermodel.h"
#include "usbframes.h"

namespace vexa::sim {

class BootLoader;

class UsbReader : public QObject
{
    Q_OBJECT
public:
    static constexpr uint16_t kVendorId = 0x03EB;
    static constexpr uint16_t kProductId = 0x2013;
    static constexpr int kApplicationReportSize = kReaderReportSize;
    static constexpr int kLoaderReportSize = 64;
    static constexpr int kLeaveMs = 30;
    static constexpr int kAbsentMs = 300;
    static constexpr int kListenMs = 1500;

    UsbReader(ReaderModel &model, std::function<void(const QString &)> trace, QObject *parent = nullptr);
    ~UsbReader() override;

    // Listens on the socket and prints "usb: <path>". False with a message.
    bool start(QString *error);
    void stop();
    bool isListening() const { return m_listenFd >= 0; }

    bool isPlugged() const { return m_plugged; }
    void setPlugged(bool plugged);
    // The loader the device becomes after a reset; not owned.
    void setBootLoader(BootLoader *loader) { m_loader = loader; }
    // The reader carried out a reset: leave, come back as the boot loader.
    void resetToLoader();
    // Leave and enumerate again as what the device is now.
    void replug();
    // "application", "boot-loader" or "gone".
    QString deviceName() const;
    // Text records as input reports of up to 16 characters, zero-padded.
    void sendText(const QByteArray &text);
    // Bytes as input reports, as they are (a frame, or noise).
    void sendBytes(const QByteArray &bytes);

private:
    void accept();
    void readClient();
    void dropClient();
    enum class Role { Application, Loader };

    void sendMessage(char kind, const uint8_t *body, int size);
    void sendState();
    void answer(const Reply &reply);
    void sendAnswer(const Reply &reply);
    void sendDueAnswers();
    void dropHeldAnswers();
    bool visible() const { return m_plugged && m_present; }
    void feedLoader(const uint8_t *report);
    void leaveAndReturnAs(Role role, int leaveMs);
    void endOfListening();

    ReaderModel &m_model;
    std::function<void(const QString &)> m_trace;
    QByteArray m_path;
    int m_listenFd = -1;
    int m_clientFd = -1;
    bool m_plugged = true;
    bool m_present = true; // enumerated (not between leaving and coming back)
    Role m_role = Role::Application;
    BootLoader *m_loader = nullptr;
    QTimer m_leaveTimer;
    QTimer m_returnTimer;
    QTimer m_listenTimer;
    Role m_nextRole = Role::Application;
    qint64 m_bootDoneNs = 0; // until then the application started by the go report boots
    std::unique_ptr<QSocketNotifier> m_listenNotifier;
    std::unique_ptr<QSocketNotifier> m_clientNotifier;
    QByteArray m_incoming;
    UsbRequestCollector m_collector;
    struct Held
    {
        qint64 dueNs;
        Reply reply;
    };
    std::deque<Held> m_held; // answers waiting for their air time, in order
    QTimer m_airTimer;
    QElapsedTimer m_clock;
    qint64 m_airDoneNs = 0; // when the last exchange with the tags is over
};

} // namespace vexa::sim
