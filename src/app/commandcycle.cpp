// VexaHost - Go, Repeat and Pause, the clock, and what the main window does
// with every exchange the link reports.
#include "mainwindow.h"

#include <QDateTime>
#include <QLabel>
#include <QTabWidget>
#include <QToolButton>

#include "app/icons.h"
#include "session/operatorprompt.h"
#include "app/responsepane.h"
#include "app/statuslight.h"
#include "config/management.h"
#include "link/frame.h"
#include "link/readerlink.h"
#include "link/serialtransport.h"
#include "link/usbtransport.h"
#include "tags/iso14443page.h"
#include "tags/isopage.h"
#include "tags/tagitpage.h"

namespace vexa {

void MainWindow::wireLink()
{
    connect(m_link, &ReaderLink::frameSent, this, [this](const QByteArray &wire) {
        if (messagesAction->isChecked())
            logMessage(QStringLiteral("Host --") + clockText() + QStringLiteral("->") + hexBytes(wire));
    });
    connect(m_link, &ReaderLink::sendFailed, this, [this](const QString &error) { m_prompt->error(error); });
    connect(m_link, &ReaderLink::blockReceived, this, [this](const QByteArray &bytes) {
        rxLight->setLit(false);
        if (messagesAction->isChecked())
            logMessage(QStringLiteral("Vexa --") + clockText() + QStringLiteral("->") + hexBytes(bytes));
    });
    connect(m_link, &ReaderLink::timedOut, this, [this] {
        rxLight->setLit(false);
        writeHeading(QStringLiteral("Error: Message timeout"));
    });
    connect(m_link, &ReaderLink::responseReady, this, &MainWindow::onResponse);
    connect(m_serial, &Transport::transmitted, txLight, &StatusLight::flash);
    connect(m_serial, &Transport::received, rxLight, &StatusLight::flash);
    connect(m_usb, &Transport::transmitted, txLight, &StatusLight::flash);
    connect(m_usb, &Transport::received, rxLight, &StatusLight::flash);
    connect(m_usb, &UsbTransport::polled, txLight, [this] { txLight->setLit(false); });
}

QString MainWindow::clockText() const
{
    return statusPanels[7]->text();
}

void MainWindow::updateClock()
{
    statusPanels[7]->setText(QTime::currentTime().toString(QStringLiteral(" HH:mm:ss ")));
}

void MainWindow::writeHeading(const QString &text)
{
    responsePane->writeHeading(text, clockText());
}

void MainWindow::writeReport(const Report &report)
{
    responsePane->writeReport(report, clockText());
}

bool MainWindow::repeating() const
{
    return goButton->text() != QLatin1String("Go");
}

void MainWindow::setGoLook(bool repeatingLook)
{
    const QString caption = repeatingLook ? QStringLiteral("Pause") : QStringLiteral("Go");
    const QIcon icon = toolIcon(repeatingLook ? 1 : 0);
    goButton->setText(caption);
    goButton->setAccessibleName(caption);
    goButton->setIcon(icon);
    goButton->setChecked(repeatingLook);
    // "Pause" cannot keep Go's key: "&Print" has it.
    goAction->setText(repeatingLook ? QStringLiteral("Pa&use") : QStringLiteral("&Go"));
    goAction->setIcon(icon);
    goAction->setChecked(repeatingLook);
}

void MainWindow::onGo()
{
    // The stored frame is gone: until a page builds a new one there is
    // nothing to repeat, so a cycle still running cannot re-send zeros.
    m_link->clearCommandBuffer();
    m_link->commandLength = 0;
    if (repeating()) {
        // Pause: the answer still in flight is reported, nothing more is sent.
        setGoLook(false);
        return;
    }
    if (repeatAction->isChecked()) {
        setGoLook(true);
    } else {
        goButton->setChecked(false);
        goAction->setChecked(false);
    }
    switch (pageTabs->currentIndex()) {
    case 2: tagitPage->sendTagitCommand(); break;
    case 0: isoPage->sendIsoCommand(); break;
    default: iso14443Page->send14443Command(); break;
    }
}

void MainWindow::toggleRepeat()
{
    repeatAction->setChecked(!repeatAction->isChecked());
    const bool on = repeatAction->isChecked();
    m_link->setRepeat(on);
    repeatButton->setChecked(on);
    setPanel(2, on ? QStringLiteral("Repeat: On") : QStringLiteral("Repeat: Off"));
    if (!on && goButton->isChecked()) {
        setGoLook(false);
        m_link->commandLength = 0;
    }
}

void MainWindow::clearResponse()
{
    responsePane->clear();
    messageView->clear();
}

void MainWindow::exitProgram()
{
    close();
}

void MainWindow::onResponse(const FrameView &frame)
{
    TagPage visible = TagPage::Iso14443;
    if (pageTabs->currentWidget() == tagitPage)
        visible = TagPage::Tagit;
    else if (pageTabs->currentWidget() == isoPage)
        visible = TagPage::Iso15693;

    switch (routeResponse(frame.code(), visible)) {
    case ResponseFamily::Management: reportManagementResponse(frame); break;
    case ResponseFamily::Tagit: writeReport(tagitPage->reportTagitResponse(frame)); break;
    case ResponseFamily::Iso15693: writeReport(isoPage->reportIsoResponse(frame)); break;
    case ResponseFamily::Iso14443: writeReport(iso14443Page->report14443Response(frame)); break;
    }
}

// --- reader identity

void MainWindow::sendManagementCommand(uint8_t code)
{
    m_link->sendSimpleCommand(flagsFor(code), code);
}

void MainWindow::requestVersion()
{
    m_link->clearCommandBuffer();
    sendManagementCommand(mgmt::GetVersion);
}

void MainWindow::requestInfo()
{
    m_link->clearCommandBuffer();
    sendManagementCommand(mgmt::ReadInfo);
}

void MainWindow::requestSetup()
{
    m_link->clearCommandBuffer();
    sendManagementCommand(mgmt::ReadSetup);
}

void MainWindow::resetReader()
{
    m_link->clearCommandBuffer();
    sendManagementCommand(mgmt::Reset);
}

void MainWindow::runTest()
{
    m_link->clearCommandBuffer();
    // The ISO 15693 option bits travel in the flags byte as for tag commands.
    m_link->sendSimpleCommand(uint8_t(options.isoConfig | 0x20), mgmt::Test);
}

void MainWindow::requestLoaderInfo()
{
    bootLoaderComType = 1;
    sendManagementCommand(mgmt::GetLoaderInfo);
}

void MainWindow::reportManagementResponse(const FrameView &frame)
{
    const ManagementOutcome outcome = vexa::reportManagementResponse(frame);
    writeReport(outcome.report);
    if (outcome.audioOn) {
        options.audioOn = *outcome.audioOn;
        setPanel(5, options.audioOn ? QStringLiteral("Audio: On") : QStringLiteral("Audio: Off"));
    }
    if (outcome.ledOn) {
        options.ledOn = *outcome.ledOn;
        setPanel(4, options.ledOn ? QStringLiteral("LED: On") : QStringLiteral("LED: Off"));
    }
    if (outcome.bootLoaderComType)
        bootLoaderComType = *outcome.bootLoaderComType;
}

} // namespace vexa
