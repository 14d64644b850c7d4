// VexaHost - what the main window's controls do: Go, Repeat and Pause, the
// views, and the configuration dialogs, each of which lets the operator
// change the options before the session sends what the pure builders make
// of them.
#include "mainwindow.h"

#include <QAction>
#include <QTabWidget>
#include <QToolButton>

#include "core/session/commandcycle.h"
#include "ui/dialogs/activateaudiodialog.h"
#include "ui/dialogs/activateleddialog.h"
#include "ui/dialogs/addressdialog.h"
#include "ui/dialogs/audioleddialog.h"
#include "ui/dialogs/dialogrunner.h"
#include "ui/dialogs/encryptiondialog.h"
#include "ui/dialogs/isooptionsdialog.h"
#include "ui/dialogs/wieganddialog.h"
#include "ui/pages/iso14443page.h"
#include "ui/pages/isopage.h"
#include "ui/pages/tagitpage.h"
#include "ui/window/aboutbox.h"
#include "ui/window/autoreadwindow.h"
#include "ui/window/icons.h"
#include "ui/window/responsepane.h"

namespace vexa {

void MainWindow::onGo()
{
    m_session->go([this] {
        QWidget *page = m_pageTabs->currentWidget();
        if (page == m_tagitPage)
            m_tagitPage->sendTagitCommand();
        else if (page == m_isoPage)
            m_isoPage->sendIsoCommand();
        else
            m_iso14443Page->send14443Command();
    });
    // The click has toggled the check marks on its own.
    showGoLook();
}

void MainWindow::showGoLook()
{
    const bool repeating = m_session->cycleState() == CommandCycle::State::Repeating;
    const QString caption = repeating ? QStringLiteral("Pause") : QStringLiteral("Go");
    const QIcon icon = toolIcon(repeating ? 1 : 0);
    m_goButton->setText(caption);
    m_goButton->setAccessibleName(caption);
    m_goButton->setIcon(icon);
    m_goButton->setChecked(repeating);
    // "Pause" cannot keep Go's key: "&Print" has it.
    m_goAction->setText(repeating ? QStringLiteral("Pa&use") : QStringLiteral("&Go"));
    m_goAction->setIcon(icon);
    m_goAction->setChecked(repeating);
}

void MainWindow::toggleRepeat()
{
    m_session->setRepeatMode(!m_session->repeatMode());
}

void MainWindow::clearResponse()
{
    m_responsePane->clear();
    m_messageView->clear();
}

void MainWindow::toggleMessageView()
{
    const bool show = !m_messagesAction->isChecked();
    m_messagesAction->setChecked(show);
    m_session->setTraceFrames(show);
    // Take the height before the minimum changes: raising the minimum first
    // may already have grown the window.
    const int oldHeight = height();
    const int change = show ? kMessageViewHeight : -kMessageViewHeight;
    if (show)
        m_messageView->clear();
    m_messageView->setVisible(show);
    setMinimumHeight(minimumHeight() + change);
    resize(width(), oldHeight + change);
}

void MainWindow::viewAutoRead()
{
    m_session->setAutoReadMode(true);
    // Modal for the operator; the handler returns at once and the mode ends
    // when the window closes.
    m_autoReadWindow->setWindowModality(Qt::ApplicationModal);
    m_autoReadWindow->show();
    m_autoReadWindow->raise();
}

void MainWindow::showAbout()
{
    // Made for each showing and gone afterwards: it keeps no state.
    AboutBox box(this);
    box.exec();
}

// --- configuration

void MainWindow::buildDialogs()
{
    m_ownDialogRunner = std::make_unique<ModalDialogRunner>();
    m_dialogRunner = m_ownDialogRunner.get();
    // Created once: each keeps its controls' state between showings.
    ReaderOptions &options = m_session->options();
    m_wiegandDialog = new WiegandDialog(options, m_session->prompt(), this);
    m_isoOptionsDialog = new IsoOptionsDialog(options, this);
    m_encryptionDialog = new EncryptionDialog(this);
    m_addressDialog = new AddressDialog(this);
    m_audioLedDialog = new AudioLedDialog(options, this);
    m_activateLedDialog = new ActivateLedDialog(this);
    m_activateAudioDialog = new ActivateAudioDialog(this);
}

void MainWindow::setDialogRunner(DialogRunner *runner)
{
    m_dialogRunner = runner ? runner : m_ownDialogRunner.get();
}

int MainWindow::runDialog(QDialog &dialog)
{
    return m_dialogRunner->run(dialog, this);
}

void MainWindow::chooseWiegandMode()
{
    m_wiegandDialog->prepare();
    if (runDialog(*m_wiegandDialog) == QDialog::Accepted)
        m_session->sendWiegandMode(m_wiegandDialog->modeIndex());
}

void MainWindow::showIsoOptions()
{
    m_isoOptionsDialog->prepare();
    runDialog(*m_isoOptionsDialog); // its buttons do the work
    m_isoPage->applyBlockLength();
}

void MainWindow::sendEncryptionOptions()
{
    if (runDialog(*m_encryptionDialog) != QDialog::Accepted)
        return;
    const bool userKey = m_encryptionDialog->useUserKey();
    m_session->sendEncryption(userKey, userKey ? m_encryptionDialog->takeKeyText() : QString(),
                              m_encryptionDialog->plainText());
}

void MainWindow::chooseReaderAddress()
{
    ReaderOptions options = m_session->options();
    m_addressDialog->prepare(options);
    if (runDialog(*m_addressDialog) != QDialog::Accepted)
        return;
    m_addressDialog->apply(options);
    m_session->setAddressing(options);
}

void MainWindow::configureFeedback()
{
    m_audioLedDialog->prepare();
    if (runDialog(*m_audioLedDialog) == QDialog::Accepted)
        m_session->sendFeedback();
}

void MainWindow::activateLed()
{
    if (runDialog(*m_activateLedDialog) == QDialog::Accepted)
        m_session->activateLed(m_activateLedDialog->colour(), m_activateLedDialog->timeText());
}

void MainWindow::activateAudio()
{
    if (runDialog(*m_activateAudioDialog) == QDialog::Accepted)
        m_session->activateAudio(m_activateAudioDialog->timeText());
}

void MainWindow::setRfTransmitter(bool on)
{
    // The mark shows what was asked for, whatever the reader answers.
    (on ? m_rfOnAction : m_rfOffAction)->setChecked(true);
    m_session->setRfTransmitter(on);
}

} // namespace vexa
