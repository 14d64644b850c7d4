// VexaHost - "Upgrade firmware...": the loader query, the warning, the file
// choice, the loader, and what follows once the loader is left: the new
// firmware's interface and its version.
//
// It talks to whoever owns the reader link through FirmwareHost only, and
// waits in states ended by timers: the link going idle after the loader
// query, the system making a new port, the USB reader coming back.
#pragma once

#include <functional>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include "core/loader/firmwarefile.h"
#include "core/loader/firmwareoutcome.h"
#include "core/loader/loaderinterface.h"

namespace vexa {

class FirmwareHost;
class FirmwareLoader;

class FirmwareUpgrade : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Idle,
        LoaderQuery,  // the loader query's answer (or time-out) is awaited
        Loader,       // the loader is the operator's until loaderLeft()
        PortSettle,   // the system makes the new virtual COM port
        UsbSettle,    // the reader leaves its loader
        UsbReturn,    // the application's USB device is awaited
        Version,      // the application's version answer is awaited, or the next question
    };

    explicit FirmwareUpgrade(FirmwareHost &host, QObject *parent = nullptr);
    ~FirmwareUpgrade() override;

    // The handler of "Upgrade firmware...". Nothing while an upgrade runs.
    void start();
    // The operator has left the loader (its go command is done).
    void loaderLeft();

    // Asks for the firmware file; an empty text means cancelled. A view puts
    // its file dialog here, tests their own answer; unset, nothing is chosen.
    std::function<QString(const FirmwareFileRequest &)> chooseFile;
    // Where the file choice starts.
    QString firmwareFolder;
    // "USB" or the serial port, as the upgrade began.
    UpgradeInterface upgradeInterface = UpgradeInterface::Serial;
    // After a USB boot loader, ask for the version once the USB reader is
    // back, whatever the file's name. The window asks at once unless the
    // name holds "Vx_USB"; a program that takes its result from the answer
    // sets this.
    bool awaitUsbReturn = false;
    // A reader starting its new image loses what it is sent meanwhile: the
    // version is asked for again until the application answers or this many
    // milliseconds have passed since the go command. 0 asks once, as the
    // window does, for an operator who can ask again.
    int bootWindowMs = 0;
    // Nobody at the loader: it starts as soon as it is ready, programs the
    // file as soon as it is captured and is left (told to go) once its
    // capture or transfer is over, as the window's buttons would be used.
    bool unattended = false;
    // An unattended upgrade stops at the loader's next safe point and
    // leaves it (FirmwareLoader::cancel). Nothing for a window's.
    void stop();

    FirmwareLoader &loader() { return *m_loader; }
    State state() const { return m_state; }
    // How the last upgrade ended; read when finished() comes.
    const FirmwareEnd &outcome() const { return m_outcome; }

signals:
    // The loader is prepared: show it to the operator now.
    void loaderReady();
    // The operator is kept waiting (the hour-glass), or no longer.
    void waitCursorChanged(bool waiting);
    // The upgrade is over: declined, refused, or the loader left and what
    // follows it done. outcome() says how.
    void finished();

private:
    void onStep();
    void chooseAndPrepare();
    void checkUsbReturn();
    void askVersion();
    void queryVersion();
    void finish(FirmwareOutcome outcome, const QString &reason = {});
    void driveLoader();
    void leaveLoader();
    // Once the loader is left: its own failure, if it had one, wins.
    void finishLeft(FirmwareOutcome outcome, const QString &reason = {});
    void setWaitCursor(bool waiting);

    FirmwareHost &m_host;
    FirmwareLoader *m_loader = nullptr;
    QTimer m_step;
    State m_state = State::Idle;
    FirmwareEnd m_outcome;
    FirmwareEnd m_loaderOutcome; // the loader's, as it was left
    int m_usbChecks = 0;
    QElapsedTimer m_sinceGo;
    // Unattended: the file was handed to the loader, its transfer began,
    // the go command was asked for, a stop was asked for.
    bool m_programmed = false;
    bool m_programStarted = false;
    bool m_leaving = false;
    bool m_stopRequested = false;
    bool m_waitCursor = false;
};

} // namespace vexa
