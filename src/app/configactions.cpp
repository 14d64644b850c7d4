// VexaHost - the "Configuration" menu, "File" > "Activate", "Settings" >
// "Baud Rate" and the "Wiegand" button: each shows its dialog, lets it change
// the options, and sends the command the pure builders make of them.
#include "mainwindow.h"

#include <QAction>
#include <QActionGroup>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QToolButton>

#include "config/activateaudiodialog.h"
#include "config/activateleddialog.h"
#include "config/addressdialog.h"
#include "config/audioleddialog.h"
#include "config/configframes.h"
#include "config/dialogrunner.h"
#include "config/encryptiondialog.h"
#include "config/isooptionsdialog.h"
#include "config/wieganddialog.h"
#include "link/readerlink.h"
#include "link/serialtransport.h"
#include "tags/isopage.h"
#include "session/operatorprompt.h"
#include "util/hextext.h"

namespace vexa {

void MainWindow::buildConfiguration()
{
    m_ownDialogRunner = std::make_unique<ModalDialogRunner>();
    m_dialogRunner = m_ownDialogRunner.get();

    // Created once: each keeps its controls' state between showings.
    wiegandDialog = new WiegandDialog(options, *m_prompt, this);
    isoOptionsDialog = new IsoOptionsDialog(options, this);
    encryptionDialog = new EncryptionDialog(this);
    addressDialog = new AddressDialog(this);
    audioLedDialog = new AudioLedDialog(options, this);
    activateLedDialog = new ActivateLedDialog(this);
    activateAudioDialog = new ActivateAudioDialog(this);

    connect(wiegandButton, &QToolButton::clicked, this, &MainWindow::chooseWiegandMode);
    connect(wiegandAction, &QAction::triggered, this, &MainWindow::chooseWiegandMode);
    connect(isoSetupAction, &QAction::triggered, this, &MainWindow::showIsoOptions);
    connect(encryptionAction, &QAction::triggered, this, &MainWindow::sendEncryptionOptions);
    connect(addressReaderAction, &QAction::triggered, this, &MainWindow::chooseReaderAddress);
    connect(audioLedAction, &QAction::triggered, this, &MainWindow::configureFeedback);
    connect(activateLedAction, &QAction::triggered, this, &MainWindow::activateLed);
    connect(activateAudioAction, &QAction::triggered, this, &MainWindow::activateAudio);
    connect(rfOnAction, &QAction::triggered, this, [this] { setRfTransmitter(true); });
    connect(rfOffAction, &QAction::triggered, this, [this] { setRfTransmitter(false); });
    for (QAction *item : baudActions()) {
        const int rate = QString(item->text()).remove(QLatin1Char('&')).toInt();
        connect(item, &QAction::triggered, this, [this, rate] { changeBaudRate(rate); });
    }
}

void MainWindow::setDialogRunner(DialogRunner *runner)
{
    m_dialogRunner = runner ? runner : m_ownDialogRunner.get();
}

std::array<QAction *, 4> MainWindow::baudActions() const
{
    return {baud9600Action, baud19200Action, baud38400Action, baud57600Action};
}

int MainWindow::runDialog(QDialog &dialog)
{
    return m_dialogRunner->run(dialog, this);
}

void MainWindow::chooseWiegandMode()
{
    wiegandDialog->prepare();
    if (runDialog(*wiegandDialog) != QDialog::Accepted)
        return;
    m_link->clearCommandBuffer();
    m_link->commandLength = buildWiegandCommand(m_link->commandBuffer, wiegandDialog->modeIndex(), options);
    m_link->sendFrame();
}

void MainWindow::showIsoOptions()
{
    isoOptionsDialog->prepare();
    runDialog(*isoOptionsDialog); // its buttons do the work
    isoPage->applyBlockLength();
}

void MainWindow::sendEncryptionOptions()
{
    if (runDialog(*encryptionDialog) != QDialog::Accepted)
        return;
    DesKey key{};
    if (encryptionDialog->useUserKey()
        && !hexTextToBytes(encryptionDialog->takeKeyText(), key.data(), int(key.size()))) {
        // Nothing half-built is left for Repeat to send: a stray frame with
        // the default key would undo the operator's choice on the reader.
        m_link->clearCommandBuffer();
        m_link->commandLength = 0;
        m_prompt->warning(kInvalidHexMessage);
        return;
    }
    m_link->clearCommandBuffer();
    m_link->commandLength = buildEncryptionCommand(m_link->commandBuffer, encryptionDialog->useUserKey(), key,
                                                   encryptionDialog->plainText());
    m_link->sendFrame();
}

void MainWindow::chooseReaderAddress()
{
    addressDialog->prepare(options);
    if (runDialog(*addressDialog) != QDialog::Accepted)
        return;
    addressDialog->apply(options);
    setPanel(6, addressPanelText(options));
}

void MainWindow::configureFeedback()
{
    audioLedDialog->prepare();
    if (runDialog(*audioLedDialog) != QDialog::Accepted)
        return;
    m_link->clearCommandBuffer();
    m_link->commandLength = buildFeedbackCommand(m_link->commandBuffer, options.audioOn, options.ledOn);
    m_link->sendFrame();
}

void MainWindow::activateLed()
{
    if (runDialog(*activateLedDialog) != QDialog::Accepted)
        return;
    const QString text = activateLedDialog->timeText();
    const auto timeMs = decimalTextToInt(text);
    if (!timeMs) {
        m_prompt->error(invalidIntegerMessage(text));
        return;
    }
    m_link->commandLength = buildActivateLedCommand(m_link->commandBuffer, activateLedDialog->colour(), *timeMs);
    m_link->sendFrame();
}

void MainWindow::activateAudio()
{
    if (runDialog(*activateAudioDialog) != QDialog::Accepted)
        return;
    const QString text = activateAudioDialog->timeText();
    const auto timeMs = decimalTextToInt(text);
    if (!timeMs) {
        m_prompt->error(invalidIntegerMessage(text));
        return;
    }
    m_link->commandLength = buildActivateAudioCommand(m_link->commandBuffer, *timeMs);
    m_link->sendFrame();
}

void MainWindow::setRfTransmitter(bool on)
{
    // The mark shows what was asked for, whatever the reader answers.
    (on ? rfOnAction : rfOffAction)->setChecked(true);
    m_link->clearCommandBuffer();
    m_link->commandLength = buildRfCommand(m_link->commandBuffer, on);
    m_link->sendFrame();
}

void MainWindow::showBaudRate(int rate)
{
    for (QAction *item : baudActions())
        if (QString(item->text()).remove(QLatin1Char('&')).toInt() == baudItemRate(rate))
            item->setChecked(true);
    setPanel(1, QStringLiteral("Baud: %1").arg(baudItemRate(rate)));
    statusPanels[1]->setToolTip(QString());
}

bool MainWindow::linkTalks() const
{
    return m_link->transport() != m_serial || m_serial->portNumber() > 0;
}

void MainWindow::changeBaudRate(int rate)
{
    if (m_changingBaud) {
        // One change at a time: the item of the change under way stays marked.
        showBaudRate(m_changingBaud);
        return;
    }
    showBaudRate(rate);
    if (!linkTalks()) {
        // No port yet: the host's rate is all there is to change.
        m_serial->setBaudRate(rate);
        return;
    }
    const auto n = buildBaudRateCommand(m_link->commandBuffer, rate);
    if (!n)
        return;
    m_link->commandLength = *n;
    m_link->sendFrame();
    // No time-out report for this command: the reader may already listen at
    // the new rate when its answer would be due.
    m_link->responseTimer().stop();

    // About a second for the reader to answer and switch, with the window
    // alive meanwhile (an answer in this time is handled as usual).
    m_changingBaud = rate;
    QPointer<MainWindow> self(this);
    QEventLoop wait;
    QTimer::singleShot(kBaudSettleMs, &wait, &QEventLoop::quit);
    connect(this, &MainWindow::closing, &wait, &QEventLoop::quit);
    wait.exec();
    if (!self)
        return;
    m_changingBaud = 0;
    if (m_closed)
        return;

    setPanel(1, QStringLiteral("Baud: %1").arg(rate));
    m_serial->setBaudRate(rate);
    requestSetup();
}

} // namespace vexa
