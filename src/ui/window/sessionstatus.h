// VexaHost - the main window's status bar as a view of the session: port,
// baud rate or USB state, Repeat, the Tx and Rx lights, LED, audio, the
// addressed reader and the clock, each in its panel "StatusPanel<n>". The
// session tells facts; the words and the places are the status bar's.
#pragma once

#include "core/session/readersession.h"
#include "ui/window/statusrow.h"

namespace vexa {

class SessionStatusRow : public StatusPanelRow
{
    Q_OBJECT
public:
    SessionStatusRow(ReaderSession &session, QWidget *parent = nullptr);
};

// The panels' words for the session's facts.
QString portCaption(const ReaderSession::PortInUse &port);
QString portToolTip(const ReaderSession::PortInUse &port);
QString connectionCaption(const ReaderSession::ConnectionState &connection);
// The addressed reader; empty when not addressing.
QString addressPanelText(const ReaderAddressing &addressing);

} // namespace vexa
