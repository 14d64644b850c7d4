// VexaHost - the status bar's panels and lights, fed by the session.
#include "sessionstatus.h"

#include <QLabel>

#include "app/statuslight.h"
#include "session/readersession.h"

namespace vexa {

SessionStatusRow::SessionStatusRow(ReaderSession &session, QWidget *parent) : StatusPanelRow(parent)
{
    static const int widths[8] = {40, 160, 75, 80, 60, 70, 80, 50};
    QLabel *panels[8];
    for (int i = 0; i < 8; ++i) {
        const QString text = i == 3   ? QStringLiteral("Tx         Rx")
                             : i == 7 ? QString()
                                      : session.statusText(ReaderSession::StatusField(i));
        QLabel *panel = i == 3 ? new LightsPanel(text, this) : new QLabel(text, this);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (i == 7)
            panel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // The addressed reader's serial number gives way first, then the
        // baud rate or USB state; the Tx and Rx lights sit at fixed places.
        addPanel(panel, widths[i], i == 3, i == 6 ? 1 : i == 1 ? 2 : 0);
        panels[i] = panel;
    }
    connect(&session, &ReaderSession::statusChanged, this,
            [panels](ReaderSession::StatusField field, const QString &text, const QString &toolTip) {
                panels[int(field)]->setText(text);
                panels[int(field)]->setToolTip(toolTip);
            });
    connect(&session, &ReaderSession::clockChanged, panels[7], &QLabel::setText);

    // The two lights sit in panel 3 under the words "Tx" and "Rx".
    auto *tx = new StatusLight(QColor(0, 200, 0), panels[3]);
    tx->setObjectName(QStringLiteral("TxLight"));
    tx->setAccessibleName(QStringLiteral("Tx"));
    tx->move(21, 4);
    auto *rx = new StatusLight(QColor(255, 0, 0), panels[3]);
    rx->setObjectName(QStringLiteral("RxLight"));
    rx->setAccessibleName(QStringLiteral("Rx"));
    rx->move(61, 4);
    connect(&session, &ReaderSession::transmitted, tx, &StatusLight::flash);
    connect(&session, &ReaderSession::received, rx, &StatusLight::flash);
    connect(&session, &ReaderSession::receiveEnded, rx, [rx] { rx->setLit(false); });
    connect(&session, &ReaderSession::pollStarted, tx, [tx] { tx->setLit(false); });
}

} // namespace vexa
