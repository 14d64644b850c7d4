// VexaHost - Go, Repeat and Pause, the clock, and what the main window does
// with every exchange the link reports.
#include "mainwindow.h"

#include <QDateTime>
#include <QLabel>
#include <QTabWidget>
#include <QToolButton>

#include "app/icons.h"
#include "app/operatorprompt.h"
#include "app/responsepane.h"
#include "app/statuslight.h"
#include "config/management.h"
#include "link/frame.h"
#include "link/readerlink.h"
#include "link/serialtransport.h"
#include "tags/iso14443page.h"
#include "tags/isopage.h"
#include "tags/tagitpage.h"

namespace vexa {

void TFrmMain::wireLink()
{
    connect(m_link, &ReaderLink::frameSent, this, [this](const QByteArray &wire) {
        if (DebugMode1->isChecked())
            logMessage(QStringLiteral("Host --") + clockText() + QStringLiteral("->") + hexBytes(wire));
    });
    connect(m_link, &ReaderLink::sendFailed, this, [this](const QString &error) { m_prompt->error(error); });
    connect(m_link, &ReaderLink::blockReceived, this, [this](const QByteArray &bytes) {
        rxLight->setLit(false);
        if (DebugMode1->isChecked())
            logMessage(QStringLiteral("Vexa --") + clockText() + QStringLiteral("->") + hexBytes(bytes));
    });
    connect(m_link, &ReaderLink::timedOut, this, [this] {
        rxLight->setLit(false);
        writeHeading(QStringLiteral("Error: Message timeout"));
    });
    connect(m_link, &ReaderLink::responseReady, this, &TFrmMain::onResponse);
    connect(m_serial, &Transport::transmitted, txLight, &StatusLight::flash);
    connect(m_serial, &Transport::received, rxLight, &StatusLight::flash);
}

QString TFrmMain::clockText() const
{
    return statusPanels[7]->text();
}

void TFrmMain::Timer2Timer()
{
    statusPanels[7]->setText(QTime::currentTime().toString(QStringLiteral(" HH:mm:ss ")));
}

void TFrmMain::writeHeading(const QString &text)
{
    memoResponse->writeHeading(text, clockText());
}

void TFrmMain::writeReport(const Report &report)
{
    memoResponse->writeReport(report, clockText());
}

bool TFrmMain::repeating() const
{
    return btnSend->text() != QLatin1String("Go");
}

void TFrmMain::setGoLook(bool repeatingLook)
{
    const QString caption = repeatingLook ? QStringLiteral("Pause") : QStringLiteral("Go");
    const QIcon icon = toolIcon(repeatingLook ? 1 : 0);
    btnSend->setText(caption);
    btnSend->setAccessibleName(caption);
    btnSend->setIcon(icon);
    btnSend->setChecked(repeatingLook);
    Send1->setText(caption);
    Send1->setIcon(icon);
    Send1->setChecked(repeatingLook);
}

void TFrmMain::SpeedButton1Click()
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
    if (ContinuousMode1->isChecked()) {
        setGoLook(true);
    } else {
        btnSend->setChecked(false);
        Send1->setChecked(false);
    }
    switch (PageControl1->currentIndex()) {
    case 2: TSTagit->sendTagitCommand(); break;
    case 0: TSISO->sendIsoCommand(); break;
    default: ts14443->send14443Command(); break;
    }
}

void TFrmMain::ContinuousMode1Click()
{
    ContinuousMode1->setChecked(!ContinuousMode1->isChecked());
    const bool on = ContinuousMode1->isChecked();
    m_link->setRepeat(on);
    btnContinuous->setChecked(on);
    setPanel(2, on ? QStringLiteral("Repeat: On") : QStringLiteral("Repeat: Off"));
    if (!on && btnSend->isChecked()) {
        setGoLook(false);
        m_link->commandLength = 0;
    }
}

void TFrmMain::ClearResponse1Click()
{
    memoResponse->clear();
    rchEditAPDLog->clear();
}

void TFrmMain::Exit1Click()
{
    close();
}

void TFrmMain::onResponse(const FrameView &frame)
{
    TagPage visible = TagPage::Iso14443;
    if (PageControl1->currentWidget() == TSTagit)
        visible = TagPage::Tagit;
    else if (PageControl1->currentWidget() == TSISO)
        visible = TagPage::Iso15693;

    switch (routeResponse(frame.code(), visible)) {
    case ResponseFamily::Management: reportManagementResponse(frame); break;
    case ResponseFamily::Tagit: writeReport(TSTagit->reportTagitResponse(frame)); break;
    case ResponseFamily::Iso15693: writeReport(TSISO->reportIsoResponse(frame)); break;
    case ResponseFamily::Iso14443: writeReport(ts14443->report14443Response(frame)); break;
    }
}

// --- reader identity

void TFrmMain::sendManagementCommand(uint8_t code)
{
    m_link->sendSimpleCommand(flagsFor(code), code);
}

void TFrmMain::btnRdrVersionClick()
{
    m_link->clearCommandBuffer();
    sendManagementCommand(mgmt::GetVersion);
}

void TFrmMain::ToolButton4Click()
{
    m_link->clearCommandBuffer();
    sendManagementCommand(mgmt::ReadInfo);
}

void TFrmMain::btnSetupClick()
{
    m_link->clearCommandBuffer();
    sendManagementCommand(mgmt::ReadSetup);
}

void TFrmMain::btnResetReaderClick()
{
    m_link->clearCommandBuffer();
    sendManagementCommand(mgmt::Reset);
}

void TFrmMain::ToolButton3Click()
{
    m_link->clearCommandBuffer();
    // The ISO 15693 option bits travel in the flags byte as for tag commands.
    m_link->sendSimpleCommand(uint8_t(options.isoConfig | 0x20), mgmt::Test);
}

void TFrmMain::requestLoaderInfo()
{
    bootLoaderComType = 1;
    sendManagementCommand(mgmt::GetLoaderInfo);
}

void TFrmMain::reportManagementResponse(const FrameView &frame)
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
