// VexaHost - the status bar's panels and lights, fed by the session.
#include "sessionstatus.h"

#include <QLabel>

#include "ui/window/statuslight.h"

namespace vexa {

namespace {

// The panels' places, left to right; 3 holds the lights, 7 the clock.
enum Panel { PortPanel = 0, ConnectionPanel = 1, RepeatPanel = 2, LightsPanelPlace = 3, LedPanel = 4,
             AudioPanel = 5, AddressPanel = 6, ClockPanel = 7, PanelCount = 8 };

QString onOff(const char *what, bool on)
{
    return QLatin1String(what) + (on ? QStringLiteral(": On") : QStringLiteral(": Off"));
}

} // namespace

QString portCaption(const ReaderSession::PortInUse &port)
{
    return port.interface == ReaderSession::Interface::Usb ? QStringLiteral("USB")
                                                           : QStringLiteral("COM%1").arg(port.number);
}

QString portToolTip(const ReaderSession::PortInUse &port)
{
    if (port.interface == ReaderSession::Interface::Usb)
        return port.usbLibrary;
    if (port.device.isEmpty())
        return {};
    if (port.denied && !port.gone)
        return ReaderSession::deniedPortText(port.device);
    return port.gone ? QStringLiteral("%1 (gone away)").arg(port.device) : port.device;
}

QString connectionCaption(const ReaderSession::ConnectionState &connection)
{
    using Kind = ReaderSession::ConnectionState::Kind;
    switch (connection.kind) {
    case Kind::Baud: return QStringLiteral("Baud: %1").arg(connection.value);
    case Kind::UsbNotFound: return QStringLiteral("Device not found");
    case Kind::UsbReady: return QStringLiteral("Device ready");
    case Kind::UsbDisconnected: return QStringLiteral("Device disconnected");
    case Kind::UsbArrival: return QStringLiteral("Device arrival");
    case Kind::UsbAlreadyConnected: return QStringLiteral("Device Already Connected");
    case Kind::UsbRemoved: return QStringLiteral("Device removed");
    case Kind::UsbEvent: return QStringLiteral("USB Message %1").arg(connection.value);
    case Kind::DevicesChanged: return QStringLiteral("USB Device change ");
    }
    return {};
}

QString addressPanelText(const ReaderAddressing &addressing)
{
    return addressing.addressReader ? QStringLiteral("Address Reader: ") + addressing.readerSerialNumber : QString();
}

SessionStatusRow::SessionStatusRow(ReaderSession &session, QWidget *parent) : StatusPanelRow(parent)
{
    static const int widths[PanelCount] = {40, 160, 75, 80, 60, 70, 80, 50};
    const QString texts[PanelCount] = {portCaption(session.portInUse()),
                                       connectionCaption(session.connection()),
                                       onOff("Repeat", session.repeating()),
                                       QStringLiteral("Tx         Rx"),
                                       onOff("LED", session.ledShownOn()),
                                       onOff("Audio", session.audioShownOn()),
                                       QString(),
                                       QString()};
    QLabel *panels[PanelCount];
    for (int i = 0; i < PanelCount; ++i) {
        QLabel *panel = i == LightsPanelPlace ? new LightsPanel(texts[i], this) : new QLabel(texts[i], this);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (i == ClockPanel)
            panel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // The addressed reader's serial number gives way first, then the
        // baud rate or USB state; the Tx and Rx lights sit at fixed places.
        addPanel(panel, widths[i], i == LightsPanelPlace, i == AddressPanel ? 1 : i == ConnectionPanel ? 2 : 0);
        panels[i] = panel;
    }
    connect(&session, &ReaderSession::portInUseChanged, this, [panels](const ReaderSession::PortInUse &port) {
        panels[PortPanel]->setText(portCaption(port));
        panels[PortPanel]->setToolTip(portToolTip(port));
    });
    connect(&session, &ReaderSession::connectionChanged, this,
            [panels](const ReaderSession::ConnectionState &c) { panels[ConnectionPanel]->setText(connectionCaption(c)); });
    connect(&session, &ReaderSession::repeatingChanged, this,
            [panels](bool on) { panels[RepeatPanel]->setText(onOff("Repeat", on)); });
    connect(&session, &ReaderSession::ledShownChanged, this,
            [panels](bool on) { panels[LedPanel]->setText(onOff("LED", on)); });
    connect(&session, &ReaderSession::audioShownChanged, this,
            [panels](bool on) { panels[AudioPanel]->setText(onOff("Audio", on)); });
    connect(&session, &ReaderSession::addressingChanged, this,
            [panels](const ReaderAddressing &a) { panels[AddressPanel]->setText(addressPanelText(a)); });
    connect(&session, &ReaderSession::clockChanged, panels[ClockPanel], &QLabel::setText);

    // The two lights sit in panel 3 under the words "Tx" and "Rx".
    auto *tx = new StatusLight(QColor(0, 200, 0), panels[LightsPanelPlace]);
    tx->setObjectName(QStringLiteral("TxLight"));
    tx->setAccessibleName(QStringLiteral("Tx"));
    tx->move(21, 4);
    auto *rx = new StatusLight(QColor(255, 0, 0), panels[LightsPanelPlace]);
    rx->setObjectName(QStringLiteral("RxLight"));
    rx->setAccessibleName(QStringLiteral("Rx"));
    rx->move(61, 4);
    connect(&session, &ReaderSession::transmitted, tx, &StatusLight::flash);
    connect(&session, &ReaderSession::received, rx, &StatusLight::flash);
    connect(&session, &ReaderSession::receiveEnded, rx, [rx] { rx->setLit(false); });
    connect(&session, &ReaderSession::pollStarted, tx, [tx] { tx->setLit(false); });
}

} // namespace vexa
