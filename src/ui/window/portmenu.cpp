// VexaHost - the "Port" menu.
#include "portmenu.h"

#include <QActionGroup>

#include "core/session/readersession.h"

namespace vexa {

PortMenu::PortMenu(ReaderSession &session, QWidget *parent)
    : QMenu(QStringLiteral("&Port"), parent), m_session(session), m_group(new QActionGroup(this))
{
    setObjectName(QStringLiteral("Port1"));
    setToolTipsVisible(true);
    connect(&session, &ReaderSession::portsChanged, this, &PortMenu::rebuild);
}

QString PortMenu::itemCaption(int number)
{
    return QStringLiteral("COM&%1").arg(number);
}

void PortMenu::rebuild()
{
    for (QAction *item : actions()) {
        m_group->removeAction(item);
        removeAction(item);
        item->deleteLater();
    }
    for (const ReaderSession::PortEntry &entry : m_session.ports()) {
        auto *item = new QAction(itemCaption(entry.number), this);
        item->setCheckable(true);
        item->setChecked(entry.chosen);
        item->setToolTip(entry.toolTip);
        item->setEnabled(!entry.denied);
        m_group->addAction(item);
        addAction(item);
        const int number = entry.number;
        connect(item, &QAction::triggered, &m_session, [this, item, number] {
            item->setChecked(true);
            m_session.choosePort(number);
        });
    }
}

} // namespace vexa
