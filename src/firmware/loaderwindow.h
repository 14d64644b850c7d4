// VexaHost - the loader window: captures the reader's boot loader, sends
// the firmware file to it with "&Program", and starts the new firmware when
// it closes.
//
// Every wait (capture, transfer, the line falling quiet, the USB device
// leaving and coming back, a USB reply) is a nested event loop that the
// window's timers and the serial port's data events end, so the window
// repaints and the progress bar moves while the program waits. Over USB the
// window talks to the loader itself while the link's poll is suspended.
#pragma once

#include <functional>
#include <QDialog>
#include <QTimer>

#include "firmware/loaderprotocol.h"

class QEventLoop;
class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace vexa {

class LoaderUsbLink;
class OperatorPrompt;
class PacketWatcher;
class SerialTransport;

class LoaderWindow : public QDialog
{
    Q_OBJECT
public:
    // `resetReader` sends the reader's reset command through the reader link.
    LoaderWindow(SerialTransport &serial, LoaderUsbLink &usb, OperatorPrompt &prompt,
                 std::function<void()> resetReader, QWidget *parent = nullptr);
    ~LoaderWindow() override;

    // Before each showing: the file "&Program" sends, the loader's transport
    // (1 = serial port, anything else USB) and the interface the upgrade
    // began on (2 = USB, 1 = serial).
    void prepare(const QString &firmwarePath, int bootLoaderComType, int upgradeInterface = 1);
    const QString &firmwarePath() const { return m_path; }
    // A capture or transfer is running.
    bool busy() const { return m_busy; }

    void capture();       // "&Capture", run by the window itself once shown
    void program();       // "&Program"
    void sendGoCommand(); // whenever the window closes
    void done(int result) override;

    // The capture probe: a 64-byte block of `character`, then up to 20
    // reads 50 ms apart. 1 acknowledged, 2 refused, 0 neither or nothing.
    int usbLoaderProbe(char character);
    // One block out, then up to 40 reads 50 ms apart until a report comes.
    // Same results. With `untilGone` it stops once the device has left.
    int usbLoaderExchange(const QByteArray &block, bool untilGone = false);

    QPushButton *programButton = nullptr, *doneButton = nullptr, *captureButton = nullptr;
    QProgressBar *progressBar = nullptr;
    QStatusBar *statusBar = nullptr;
    // The file being programmed: its name, the whole path in the tool tip.
    QLabel *fileLabel = nullptr;
    QTimer timeoutTimer;      // loader time-out: sets replyTimedOut
    QTimer captureTickTimer;  // one capture character per tick
    QTimer startCaptureTimer; // starts the capture once the window is shown

    // The loader's last reply and the flags the waits end on.
    QByteArray loaderReply;
    bool replyTimedOut = false;
    bool packetReceived = false;
    bool packetTimedOut = false;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void captureSerial();
    void captureUsb();
    int judgeUsbReply(const QByteArray &report);
    void dropStaleReports();
    void sleep(int ms);
    void sendCaptureCharacter();
    void onReplyTimeout();
    void onPacket(const QByteArray &packet);
    void onPacketTimeout();
    void waitUntil(const std::function<bool()> &done);
    void wake();
    void waitForQuietLine();
    void setStatus(const QString &text);
    void failTransfer(const QString &status, const QString &caption, const QString &text);

    SerialTransport &m_serial;
    LoaderUsbLink &m_usb;
    OperatorPrompt &m_prompt;
    std::function<void()> m_resetReader;
    PacketWatcher *m_watcher = nullptr;
    QEventLoop *m_wait = nullptr;
    QString m_path;
    int m_comType = 1;
    int m_upgradeInterface = 1;
    QString m_lineError;
    bool m_busy = false;
    bool m_goPending = false;
};

} // namespace vexa
