// VexaHost - "Settings" > "Port": the session's COM ports, one checkable
// item each ("COM&3"), a port the user may not open greyed with the reason
// as its tool tip. Rebuilt whenever the session probes the ports afresh.
#pragma once

#include <QMenu>

class QActionGroup;

namespace vexa {

class ReaderSession;

class PortMenu : public QMenu
{
    Q_OBJECT
public:
    PortMenu(ReaderSession &session, QWidget *parent = nullptr);

    // "COM&3": the caption of a port's item; the digit is its access key.
    static QString itemCaption(int number);

private:
    void rebuild();

    ReaderSession &m_session;
    QActionGroup *m_group;
};

} // namespace vexa
