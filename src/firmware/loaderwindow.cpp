// VexaHost - the loader window: capture, transfer, go.
#include "loaderwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "firmware/firmwarefile.h"
#include "firmware/firmwaretransfer.h"
#include "firmware/packetwatcher.h"
#include "link/serialtransport.h"
#include "ui/operatorprompt.h"

namespace vexa {

namespace {

constexpr int kCaptureTickMs = 10;
constexpr int kLoaderTimeoutMs = 4000;
constexpr int kIdleTimeoutMs = 1000;
constexpr int kStartCaptureMs = 50;
constexpr int kSilentCaptureAttempts = 3;
constexpr int kQuietLineMs = 100;
constexpr int kQuietLineLimitMs = 1000;

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

LoaderWindow::LoaderWindow(SerialTransport &serial, OperatorPrompt &prompt, std::function<void()> resetReader,
                           QWidget *parent)
    : QDialog(parent), m_serial(serial), m_prompt(prompt), m_resetReader(std::move(resetReader))
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

    statusBar = new QStatusBar(this);
    statusBar->setObjectName(QStringLiteral("StatusBar1"));
    statusBar->setSizeGripEnabled(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(programButton);
    buttons->addWidget(captureButton);
    buttons->addStretch(1);
    buttons->addWidget(doneButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(progressBar);
    layout->addWidget(statusBar);
    resize(360, 120);

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

void LoaderWindow::prepare(const QString &firmwarePath, int bootLoaderComType)
{
    m_path = firmwarePath;
    m_comType = bootLoaderComType;
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
    if (m_comType != 1) {
        setStatus(QStringLiteral("USB boot loader not supported"));
        m_prompt.error(QStringLiteral("This reader's boot loader answers over USB, which this version of the program "
                                      "cannot reach. Nothing was sent to the reader."));
        return;
    }
    m_busy = true;
    captureSerial();
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

    FirmwareTransfer transfer(read.bytes, LoaderFraming::Serial);
    progressBar->setRange(0, int(transfer.size()));
    progressBar->setValue(0);
    timeoutTimer.setInterval(kLoaderTimeoutMs);

    for (;;) {
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

        const LoaderReply reply = packetReceived ? parseSerialReply(loaderReply) : LoaderReply::None;
        const FirmwareTransfer::Step step = transfer.onReply(reply);
        if (!step.status.isEmpty())
            setStatus(step.status);
        if (step.outcome == FirmwareTransfer::Outcome::Continue) {
            progressBar->setValue(int(transfer.acknowledged()));
            continue;
        }
        cursor.release();
        if (step.outcome == FirmwareTransfer::Outcome::Failed) {
            failTransfer(step.status, step.caption, step.message);
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
    // Only a captured serial loader is told to go.
    if (m_comType == 1 && programButton->isEnabled()) {
        QString ignored;
        m_serial.write(goCommand(LoaderFraming::Serial), &ignored);
    }
    programButton->setEnabled(false);
}

} // namespace vexa
