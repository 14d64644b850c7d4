// VexaHost - "Upgrade firmware...".
#include "firmwareupgrade.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <utility>

#include "core/loader/firmwarehost.h"
#include "core/loader/firmwareloader.h"
#include "core/loader/loaderusblink.h"
#include "core/util/operatorprompt.h"

namespace vexa {

namespace {

constexpr int kLinkIdlePollMs = 10;
constexpr int kVirtualPortSettleMs = 4000;
constexpr int kUsbSettleMs = 2000;
constexpr int kUsbOpenChecks = 51;
constexpr int kUsbOpenCheckMs = 100;
// Between version questions in the boot window: an exchange that ended
// early (garbled bytes) does not become a stream of questions.
constexpr int kVersionAgainMs = 100;

} // namespace

FirmwareUpgrade::FirmwareUpgrade(FirmwareHost &host, QObject *parent) : QObject(parent), m_host(host)
{
    // An installed program's folder is not the operator's: then a folder of
    // their own that they can find, not one inside a hidden data folder.
    firmwareFolder = chooseFirmwareFolder(
        QCoreApplication::applicationDirPath(),
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(QStringLiteral("VexaHost")));
    m_loader = new FirmwareLoader(host.loaderPort(), host.usbLink(), host.prompt(), [this] { m_host.resetReader(); }, this);
    m_step.setSingleShot(true);
    // The settles wait for a restarting reader or a port coming back; a
    // coarse timer may end them up to 5 % early.
    m_step.setTimerType(Qt::PreciseTimer);
    connect(&m_step, &QTimer::timeout, this, &FirmwareUpgrade::onStep);
    driveLoader();
}

void FirmwareUpgrade::driveLoader()
{
    connect(m_loader, &FirmwareLoader::programAvailableChanged, this, [this](bool available) {
        if (!unattended || m_state != State::Loader || !available || std::exchange(m_programmed, true))
            return;
        if (m_stopRequested) {
            leaveLoader();
            return;
        }
        // Once the capture has handed over, as the operator's button would.
        QTimer::singleShot(0, this, [this] {
            m_programStarted = true;
            m_loader->program();
            if (!m_loader->busy())
                leaveLoader();
        });
    });
    connect(m_loader, &FirmwareLoader::busyChanged, this, [this](bool busy) {
        // A capture that handed over to the transfer is not the end.
        if (unattended && m_state == State::Loader && !busy && (!m_programmed || m_programStarted))
            leaveLoader();
    });
    connect(m_loader, &FirmwareLoader::goDone, this, [this] {
        if (unattended)
            loaderLeft();
    });
}

void FirmwareUpgrade::leaveLoader()
{
    if (!std::exchange(m_leaving, true))
        QTimer::singleShot(0, m_loader, &FirmwareLoader::go);
}

void FirmwareUpgrade::stop()
{
    if (!unattended)
        return;
    m_stopRequested = true;
    m_loader->cancel();
}

FirmwareUpgrade::~FirmwareUpgrade() = default;

void FirmwareUpgrade::setWaitCursor(bool waiting)
{
    if (waiting == m_waitCursor)
        return;
    m_waitCursor = waiting;
    emit waitCursorChanged(waiting);
}

void FirmwareUpgrade::start()
{
    if (m_state != State::Idle)
        return;
    m_stopRequested = false;
    // A Repeat cycle would keep sending frames into the loader's line.
    m_host.stopRepeat();
    m_host.requestLoaderInfo();
    if (!m_host.prompt().proceed(
            QStringLiteral("Loading firmware will cause all reader settings to be lost.  Continue?"))) {
        finish(FirmwareOutcome::Cancelled, QStringLiteral("The warning was not confirmed."));
        return;
    }
    // The loader's answer decides the file type preselected and the
    // transport of the capture: let it arrive (or time out) first.
    if (m_host.linkBusy()) {
        m_state = State::LoaderQuery;
        m_step.start(kLinkIdlePollMs);
        return;
    }
    chooseAndPrepare();
}

void FirmwareUpgrade::chooseAndPrepare()
{
    m_state = State::Idle;
    const bool usbChosen = m_host.usbChosen();
    upgradeInterface = usbChosen ? UpgradeInterface::Usb : UpgradeInterface::Serial;
    const QString path =
        chooseFile ? chooseFile(firmwareFileRequest(usbChosen, m_host.bootLoaderComType(), firmwareFolder)) : QString();
    if (path.isEmpty()) {
        finish(FirmwareOutcome::Cancelled, QStringLiteral("No firmware file was chosen."));
        return;
    }
    if (!QFileInfo::exists(path)) {
        m_host.prompt().error(QStringLiteral("File doen not exist!"));
        finish(FirmwareOutcome::RefusedFile,
               QStringLiteral("The firmware file \"%1\" does not exist.").arg(QDir::toNativeSeparators(path)));
        return;
    }
    m_loader->prepare(path, m_host.bootLoaderComType(), upgradeInterface);
    m_state = State::Loader;
    m_programmed = m_programStarted = m_leaving = false;
    emit loaderReady();
    if (!unattended)
        return;
    if (m_stopRequested)
        leaveLoader();
    else
        m_loader->begin();
}

void FirmwareUpgrade::loaderLeft()
{
    if (m_state != State::Loader)
        return;
    m_host.usbLink().setPollSuspended(false);
    m_loaderOutcome = m_loader->outcome();
    m_sinceGo.start();
    setWaitCursor(true);
    AfterUpgrade after = afterUpgrade(m_loader->firmwarePath());
    if (awaitUsbReturn && after == AfterUpgrade::RequestVersion && m_host.bootLoaderComType() != LoaderComType::Serial)
        after = AfterUpgrade::ReconnectUsb;
    switch (after) {
    case AfterUpgrade::SelectVirtualComPort:
        // The reader comes back as a new virtual COM port: give the system
        // time to create it, then let the operator pick it.
        m_state = State::PortSettle;
        m_step.start(kVirtualPortSettleMs);
        return;
    case AfterUpgrade::ReconnectUsb:
        // The new firmware enumerates as the USB reader; ask for its version
        // once it is open, and send nothing when it never opens.
        m_state = State::UsbSettle;
        m_step.start(kUsbSettleMs);
        return;
    case AfterUpgrade::RequestVersion:
        askVersion();
        return;
    }
}

void FirmwareUpgrade::onStep()
{
    switch (m_state) {
    case State::LoaderQuery:
        if (m_host.linkBusy())
            m_step.start(kLinkIdlePollMs);
        else
            chooseAndPrepare();
        return;
    case State::PortSettle:
        m_host.refreshPorts();
        m_host.chooseSerial();
        setWaitCursor(false);
        m_state = State::Idle;
        m_host.prompt().information(QStringLiteral("Please select a virtual com port!"));
        finishLeft(FirmwareOutcome::NoApplication,
                   QStringLiteral("The new firmware makes the reader a virtual COM port; choose that port and ask for "
                                  "the reader's version."));
        return;
    case State::UsbSettle:
        if (!m_host.usbChosen())
            m_host.chooseUsb();
        m_state = State::UsbReturn;
        m_usbChecks = 0;
        checkUsbReturn();
        return;
    case State::Version:
        queryVersion();
        return;
    case State::UsbReturn:
        if (m_usbChecks >= kUsbOpenChecks)
            finishLeft(FirmwareOutcome::NoApplication,
                       QStringLiteral("The reader did not come back over USB after the go command."));
        else
            checkUsbReturn();
        return;
    default:
        return;
    }
}

void FirmwareUpgrade::checkUsbReturn()
{
    if (m_host.usbLink().isOpen()) {
        askVersion();
        return;
    }
    ++m_usbChecks;
    m_step.start(kUsbOpenCheckMs);
}

void FirmwareUpgrade::askVersion()
{
    setWaitCursor(false);
    // Only the application's answer shows that the go command reached the
    // loader and the new image runs. Its exchange is waited for also after
    // a failure: a program that ends on finished() closes the port, and the
    // go command must have left it by then.
    m_state = State::Version;
    queryVersion();
}

void FirmwareUpgrade::queryVersion()
{
    m_host.requestVersion([self = QPointer<FirmwareUpgrade>(this)](bool answered) {
        if (!self || self->m_state != State::Version)
            return;
        if (answered)
            self->finishLeft(FirmwareOutcome::Succeeded);
        else if (self->m_loaderOutcome.outcome == FirmwareOutcome::Succeeded && !self->m_stopRequested
                 && self->m_sinceGo.elapsed() < self->bootWindowMs)
            self->m_step.start(kVersionAgainMs);
        else
            self->finishLeft(FirmwareOutcome::NoApplication,
                             QStringLiteral("The reader did not answer the version query after the go command; it "
                                            "may still be in its boot loader."));
    });
}

void FirmwareUpgrade::finishLeft(FirmwareOutcome outcome, const QString &reason)
{
    // A loader that failed decides, whatever happened after it.
    if (m_loaderOutcome.outcome != FirmwareOutcome::Succeeded)
        finish(m_loaderOutcome.outcome, m_loaderOutcome.reason);
    else
        finish(outcome, reason);
}

void FirmwareUpgrade::finish(FirmwareOutcome outcome, const QString &reason)
{
    m_outcome = {outcome, reason};
    m_state = State::Idle;
    setWaitCursor(false);
    emit finished();
}

} // namespace vexa
