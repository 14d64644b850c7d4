// VexaHost - the loader window: capture, transfer, go.
#include "loaderwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "firmware/firmwarefile.h"
#include "firmware/firmwaretransfer.h"
#include "firmware/loaderusblink.h"
#include "firmware/packetwatcher.h"
#include "link/serialtransport.h"
#include "session/operatorprompt.h"
#include "ui/windowframe.h"

namespace vexa {

namespace {

constexpr int kCaptureTickMs = 10;
constexpr int kLoaderTimeoutMs = 4000;
constexpr int kIdleTimeoutMs = 1000;
constexpr int kStartCaptureMs = 50;
constexpr int kSilentCaptureAttempts = 3;
constexpr int kQuietLineMs = 100;
constexpr int kQuietLineLimitMs = 1000;
// USB capture: 10 ms turns while the reader leaves and the loader arrives.
constexpr int kUsbTurnMs = 10;
constexpr int kUsbLeaveTurns = 700;
constexpr int kUsbArriveTurns = 500;
constexpr int kSelectUsbMs = 500;
constexpr int kUsbReplyWaitMs = 50;
constexpr int kProbeReads = 20;
constexpr int kExchangeReads = 40;
// Reports a device may have queued before a probe or packet: answers that
// came after their exchange had given up.
constexpr int kMaxStaleReports = 64;

const QString kRetryCapture = QStringLiteral("Could not capture loader, retry?");

// The hour-glass for as long as it lives.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { release(); }
    void release()
    {
        if (m_held)
            QApplication::restoreOverrideCursor();
        m_held = false;
    }

private:
    bool m_held = true;
};

} // namespace

LoaderWindow::LoaderWindow(SerialTransport &serial, LoaderUsbLink &usb, OperatorPrompt &prompt,
                           std::function<void()> resetReader, QWidget *parent)
    : QDialog(parent), m_serial(serial), m_usb(usb), m_prompt(prompt), m_resetReader(std::move(resetReader))
{
    setObjectName(QStringLiteral("frmLdr"));
    setWindowTitle(QStringLiteral("Upgrade firmware"));
    setModal(true);

    programButton = new QPushButton(QStringLiteral("&Program"), this);
    programButton->setObjectName(QStringLiteral("btnProgram"));
    programButton->setToolTip(QStringLiteral("Program application firmware to the reader"));
    programButton->setEnabled(false);
    programButton->setAutoDefault(false);
    connect(programButton, &QPushButton::clicked, this, &LoaderWindow::program);

    doneButton = new QPushButton(QStringLiteral("&Done"), this);
    doneButton->setObjectName(QStringLiteral("Button3"));
    doneButton->setAutoDefault(false);
    connect(doneButton, &QPushButton::clicked, this, &QDialog::close);

    captureButton = new QPushButton(QStringLiteral("&Capture"), this);
    captureButton->setObjectName(QStringLiteral("btnCapture"));
    captureButton->setToolTip(QStringLiteral("Capture the loader for programming"));
    captureButton->setAutoDefault(false);
    captureButton->hide();
    connect(captureButton, &QPushButton::clicked, this, &LoaderWindow::capture);

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar->setAccessibleName(QStringLiteral("Progress"));
    progressBar->setTextVisible(false);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);

    fileLabel = new QLabel(this);
    fileLabel->setObjectName(QStringLiteral("FirmwareFile"));
    fileLabel->setTextFormat(Qt::PlainText);

    statusBar = new QStatusBar(this);
    statusBar->setObjectName(QStringLiteral("StatusBar1"));
    statusBar->setSizeGripEnabled(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(programButton);
    buttons->addWidget(captureButton);
    buttons->addStretch(1);
    buttons->addWidget(doneButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(fileLabel);
    layout->addLayout(buttons);
    layout->addWidget(progressBar);
    layout->addWidget(statusBar);
    resize(360, 120);
    keepTitleWhole(this);

    timeoutTimer.setObjectName(QStringLiteral("TimerTimeOut"));
    timeoutTimer.setParent(this);
    timeoutTimer.setInterval(kIdleTimeoutMs);
    connect(&timeoutTimer, &QTimer::timeout, this, &LoaderWindow::onReplyTimeout);
    captureTickTimer.setObjectName(QStringLiteral("TimerOutA"));
    captureTickTimer.setParent(this);
    captureTickTimer.setInterval(kCaptureTickMs);
    connect(&captureTickTimer, &QTimer::timeout, this, &LoaderWindow::sendCaptureCharacter);
    startCaptureTimer.setObjectName(QStringLiteral("TimerGoCapture"));
    startCaptureTimer.setParent(this);
    startCaptureTimer.setInterval(kStartCaptureMs);
    startCaptureTimer.setSingleShot(true);
    connect(&startCaptureTimer, &QTimer::timeout, this, &LoaderWindow::capture);

    m_watcher = new PacketWatcher(serial, this);
    connect(m_watcher, &PacketWatcher::packetReceived, this, &LoaderWindow::onPacket);
    connect(m_watcher, &PacketWatcher::packetTimedOut, this, &LoaderWindow::onPacketTimeout);
}

LoaderWindow::~LoaderWindow() = default;

void LoaderWindow::prepare(const QString &firmwarePath, int bootLoaderComType, int upgradeInterface)
{
    m_path = firmwarePath;
    // The operator sees which file goes to the reader before Program.
    // A name of any length keeps the window a sensible width.
    const QString name = fileLabel->fontMetrics().elidedText(QFileInfo(firmwarePath).fileName(), Qt::ElideMiddle,
                                                             fileLabel->fontMetrics().averageCharWidth() * 60);
    fileLabel->setText(QStringLiteral("File: %1").arg(name));
    fileLabel->setToolTip(QDir::toNativeSeparators(firmwarePath));
    fileLabel->setAccessibleName(QStringLiteral("File: %1").arg(QDir::toNativeSeparators(firmwarePath)));
    m_comType = bootLoaderComType;
    m_upgradeInterface = upgradeInterface;
    programButton->setEnabled(false);
    progressBar->setValue(0);
    statusBar->clearMessage();
    timeoutTimer.setInterval(kIdleTimeoutMs);
}

void LoaderWindow::setStatus(const QString &text)
{
    statusBar->showMessage(text);
}

void LoaderWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        m_goPending = true;
        startCaptureTimer.start();
    }
}

void LoaderWindow::closeEvent(QCloseEvent *event)
{
    // Leaving in the middle of a capture or transfer would start whatever
    // half of an image the loader holds.
    if (m_busy) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void LoaderWindow::done(int result)
{
    if (m_busy)
        return;
    startCaptureTimer.stop();
    sendGoCommand();
    QDialog::done(result);
}

// --- waits

void LoaderWindow::waitUntil(const std::function<bool()> &done)
{
    while (!done()) {
        QEventLoop loop;
        m_wait = &loop;
        loop.exec();
        m_wait = nullptr;
    }
}

void LoaderWindow::sleep(int ms)
{
    bool over = false;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, [&] {
        over = true;
        wake();
    });
    timer.start(ms);
    waitUntil([&] { return over; });
}

void LoaderWindow::wake()
{
    if (m_wait)
        m_wait->quit();
}

void LoaderWindow::onReplyTimeout()
{
    timeoutTimer.stop();
    replyTimedOut = true;
    wake();
}

void LoaderWindow::onPacket(const QByteArray &packet)
{
    loaderReply = packet;
    packetTimedOut = false;
    packetReceived = true;
    wake();
}

void LoaderWindow::onPacketTimeout()
{
    packetReceived = false;
    packetTimedOut = true;
    wake();
}

void LoaderWindow::waitForQuietLine()
{
    // Answers to capture characters sent just before the first answer came
    // may still be on their way; they must not pass for the answer to the
    // first packet. Wait until the line has been quiet, then drop them.
    QTimer quiet;
    quiet.setSingleShot(true);
    QTimer limit;
    limit.setSingleShot(true);
    bool over = false;
    connect(&quiet, &QTimer::timeout, this, [&] { over = true; wake(); });
    connect(&limit, &QTimer::timeout, this, [&] { over = true; wake(); });
    const auto connection = connect(&m_serial, &Transport::bytesArrived, this, [&] { quiet.start(kQuietLineMs); });
    quiet.start(kQuietLineMs);
    limit.start(kQuietLineLimitMs);
    waitUntil([&] { return over; });
    disconnect(connection);
    m_serial.clearInput();
}

// --- capture

void LoaderWindow::capture()
{
    startCaptureTimer.stop();
    if (m_busy)
        return;
    m_busy = true;
    if (m_comType == 1)
        captureSerial();
    else
        captureUsb();
    m_busy = false;
}

void LoaderWindow::captureSerial()
{
    int failedAttempts = 0;
    for (;;) {
        setStatus(QStringLiteral("Capturing loader function, please wait..."));
        QCoreApplication::processEvents();
        BusyCursor cursor;
        m_lineError.clear();
        m_resetReader();
        replyTimedOut = false;
        packetReceived = false;
        captureTickTimer.start(kCaptureTickMs);
        timeoutTimer.setInterval(kLoaderTimeoutMs);
        timeoutTimer.start();
        waitUntil([this] { return packetReceived || replyTimedOut || !m_lineError.isEmpty(); });
        captureTickTimer.stop();
        timeoutTimer.stop();
        m_watcher->disarm();

        if (!m_lineError.isEmpty()) {
            cursor.release();
            setStatus(QStringLiteral("Communication error"));
            m_prompt.error(m_lineError);
            timeoutTimer.setInterval(kIdleTimeoutMs);
            return;
        }
        if (!packetReceived) {
            if (++failedAttempts < kSilentCaptureAttempts)
                continue;
            cursor.release();
            if (!m_prompt.confirm(kRetryCapture)) {
                setStatus(QString());
                return;
            }
            failedAttempts = 0;
            continue;
        }
        cursor.release();
        if (parseSerialReply(loaderReply) == LoaderReply::Ack) {
            waitForQuietLine();
            programButton->setEnabled(true);
            setStatus(QStringLiteral("Loader captured"));
            return; // the loader time-out stays at 4000 ms for the transfer
        }
        if (!m_prompt.confirm(kRetryCapture)) {
            timeoutTimer.setInterval(kIdleTimeoutMs);
            setStatus(QString());
            return;
        }
        failedAttempts = 0;
    }
}

void LoaderWindow::captureUsb()
{
    int turns = 0;
    // The question after a wait that came to nothing; true: start over.
    const auto retry = [&](BusyCursor &cursor) {
        cursor.release();
        if (!m_prompt.confirm(kRetryCapture)) {
            timeoutTimer.setInterval(kIdleTimeoutMs);
            setStatus(QString());
            return false;
        }
        turns = 0;
        return true;
    };
    for (;;) {
        setStatus(QStringLiteral("Resetting reader, please wait..."));
        QCoreApplication::processEvents();
        BusyCursor cursor;
        m_usb.clearDeviceLost();
        m_resetReader();
        m_usb.stopResponseTimer();
        if (m_upgradeInterface == 1) {
            sleep(kSelectUsbMs);
            m_usb.selectUsb();
        }
        replyTimedOut = false;
        m_usb.setPollSuspended(true);

        // The application's device leaves. Opening it again each turn also
        // notices a reader that left without a removal notice.
        bool again = false;
        while (m_usb.isOpen() && !m_usb.deviceLost()) {
            sleep(kUsbTurnMs);
            if (turns++ >= kUsbLeaveTurns) {
                if (!retry(cursor))
                    return;
                again = true;
                break;
            }
            m_usb.openDevice();
        }
        if (again)
            continue;

        // The loader's device arrives; the link's arrival handling opens it.
        setStatus(QStringLiteral("Waiting for loader, please wait..."));
        while (!m_usb.isOpen()) {
            sleep(kUsbTurnMs);
            if (turns++ >= kUsbArriveTurns) {
                if (!retry(cursor))
                    return;
                again = true;
                break;
            }
        }
        if (again)
            continue;

        setStatus(QStringLiteral("Connecting to loader, please wait..."));
        m_usb.noteReconnected();
        timeoutTimer.setInterval(kLoaderTimeoutMs);
        timeoutTimer.start();
        while (!replyTimedOut) {
            // A refusal is the loader answering too: it is there.
            if (usbLoaderProbe(loader::kCapture) != 0) {
                timeoutTimer.stop();
                break;
            }
            sleep(kUsbTurnMs);
        }
        if (replyTimedOut) {
            if (!retry(cursor))
                return;
            continue;
        }
        cursor.release();
        programButton->setEnabled(true);
        setStatus(QStringLiteral("Loader captured"));
        timeoutTimer.setInterval(kIdleTimeoutMs);
        return;
    }
}

int LoaderWindow::judgeUsbReply(const QByteArray &report)
{
    loaderReply = report.left(3);
    switch (parseUsbReply(report)) {
    case LoaderReply::Ack:
        return 1;
    case LoaderReply::Nak:
        return 2;
    default:
        return 0;
    }
}

void LoaderWindow::dropStaleReports()
{
    // The loader's answers carry no packet number: an answer that came too
    // late for its packet would otherwise pass for the next packet's.
    for (int n = 0; n < kMaxStaleReports && !m_usb.readReport().isEmpty(); ++n) {
    }
}

int LoaderWindow::usbLoaderProbe(char character)
{
    dropStaleReports();
    m_usb.writeReport(QByteArray(loader::kUsbReportBytes, character));
    sleep(kUsbReplyWaitMs);
    QByteArray report;
    for (int read = 0; read < kProbeReads; ++read) {
        report = m_usb.readReport();
        if (!report.isEmpty())
            break;
        sleep(kUsbReplyWaitMs);
    }
    return judgeUsbReply(report);
}

int LoaderWindow::usbLoaderExchange(const QByteArray &block, bool untilGone)
{
    dropStaleReports();
    m_usb.writeReport(block);
    QByteArray report;
    for (int read = 0; read < kExchangeReads && report.isEmpty(); ++read) {
        sleep(kUsbReplyWaitMs);
        // A device that has left has nothing more to say.
        if (untilGone && !m_usb.isOpen())
            break;
        report = m_usb.readReport();
    }
    return judgeUsbReply(report);
}

void LoaderWindow::sendCaptureCharacter()
{
    captureTickTimer.start(kCaptureTickMs);
    packetTimedOut = false;
    packetReceived = false;
    m_serial.clearInput();
    m_watcher->disarm();
    m_watcher->arm();
    QString error;
    if (!m_serial.write(QByteArray(1, loader::kCapture), &error)) {
        m_lineError = error;
        wake();
    }
}

// --- transfer

void LoaderWindow::failTransfer(const QString &status, const QString &caption, const QString &text)
{
    setStatus(status);
    m_prompt.titledMessage(OperatorPrompt::Kind::Error, caption, text);
}

void LoaderWindow::program()
{
    if (m_busy || !programButton->isEnabled())
        return;
    m_busy = true;
    BusyCursor cursor;
    setStatus(QStringLiteral("Loading firmware, please wait..."));

    // Read now: the file may have changed or gone since it was chosen.
    const FirmwareRead read = readFirmwareFile(m_path);
    if (!read.error.isEmpty()) {
        cursor.release();
        failTransfer(QStringLiteral("File read error"), QStringLiteral("File Error"), read.error);
        m_busy = false;
        return;
    }

    const bool usb = m_comType != 1;
    FirmwareTransfer transfer(read.bytes, usb ? LoaderFraming::Usb : LoaderFraming::Serial);
    progressBar->setRange(0, int(transfer.size()));
    progressBar->setValue(0);
    if (!usb)
        timeoutTimer.setInterval(kLoaderTimeoutMs);

    for (;;) {
        LoaderReply reply = LoaderReply::None;
        if (usb) {
            // The exchange waits for the reply itself (at most 40 reads).
            const int result = usbLoaderExchange(transfer.packet());
            reply = result == 1 ? LoaderReply::Ack : result == 2 ? LoaderReply::Nak : LoaderReply::None;
        } else {
            m_serial.clearInput();
            m_watcher->arm();
            packetTimedOut = false;
            packetReceived = false;
            replyTimedOut = false;
            QString error;
            if (!m_serial.write(transfer.packet(), &error)) {
                cursor.release();
                failTransfer(QStringLiteral("File read error"), QStringLiteral("File Error"),
                             QStringLiteral("Can't perform one of the following file operations: Open, Seek, Read, Close.\n")
                                 + error);
                break;
            }
            timeoutTimer.start();
            waitUntil([this] { return packetTimedOut || packetReceived || replyTimedOut; });
            timeoutTimer.stop();
            reply = packetReceived ? parseSerialReply(loaderReply) : LoaderReply::None;
        }
        const FirmwareTransfer::Step step = transfer.onReply(reply);
        if (!step.status.isEmpty())
            setStatus(step.status);
        if (step.outcome == FirmwareTransfer::Outcome::Continue) {
            progressBar->setValue(int(transfer.acknowledged()));
            continue;
        }
        cursor.release();
        if (step.outcome == FirmwareTransfer::Outcome::Failed) {
            setStatus(step.status);
            m_prompt.titledDismissable(OperatorPrompt::Kind::Error, step.caption, step.message);
            break;
        }
        m_prompt.information(step.message);
        progressBar->setValue(0);
        m_watcher->disarm();
        break;
    }
    m_busy = false;
}

// --- go

void LoaderWindow::sendGoCommand()
{
    if (!m_goPending)
        return;
    m_goPending = false;
    m_watcher->disarm();
    if (m_comType == 1) {
        // Only a captured serial loader is told to go.
        if (programButton->isEnabled()) {
            QString ignored;
            m_serial.write(goCommand(LoaderFraming::Serial), &ignored);
        }
    } else {
        // Always over USB; the loader leaves without answering, and a closing
        // window must not be closed again meanwhile.
        m_busy = true;
        usbLoaderExchange(goCommand(LoaderFraming::Usb), true);
        m_busy = false;
    }
    programButton->setEnabled(false);
}

} // namespace vexa
