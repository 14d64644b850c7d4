// VexaHost - the main window's status bar as a view of the session: port,
// baud rate or USB state, Repeat, the Tx and Rx lights, LED, audio, the
// addressed reader and the clock, each in its panel "StatusPanel<n>".
#pragma once

#include "app/statusrow.h"

namespace vexa {

class ReaderSession;

class SessionStatusRow : public StatusPanelRow
{
    Q_OBJECT
public:
    SessionStatusRow(ReaderSession &session, QWidget *parent = nullptr);
};

} // namespace vexa
