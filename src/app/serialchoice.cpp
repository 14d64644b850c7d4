// VexaHost - choosing the serial interface and its port, the command
// controls, device changes, and the window's start and close.
#include "mainwindow.h"

#include <QActionGroup>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QToolButton>

#include "link/portmap.h"
#include "link/readerlink.h"
#include "link/serialtransport.h"

namespace vexa {

void MainWindow::rebuildPortMenu()
{
    for (QAction *item : portMenu->actions()) {
        m_portGroup->removeAction(item);
        portMenu->removeAction(item);
        item->deleteLater();
    }
    auto addItem = [this](int number, bool checked) {
        auto *item = new QAction(QStringLiteral("COM%1").arg(number), portMenu);
        item->setCheckable(true);
        item->setChecked(checked);
        item->setToolTip(resolvePort(number).value_or(QString()));
        m_portGroup->addAction(item);
        portMenu->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { choosePort(item); });
    };
    // The open port cannot be probed: it is listed first, on its own, with
    // the device it is bound to.
    const int open = m_serial->isOpen() ? m_serial->portNumber() : 0;
    if (open) {
        addItem(open, true);
        portMenu->actions().constLast()->setToolTip(m_serial->deviceName());
    }
    for (int n = kLowestListedPort; n <= kHighestListedPort; ++n)
        if (n != open && probePort(n))
            addItem(n, false);
    portMenu->setToolTipsVisible(true);
    if (comPortAction->isChecked())
        statusPanels[0]->setToolTip(chosenPortToolTip());
}

QString MainWindow::chosenPortToolTip() const
{
    if (m_serial->portNumber() <= 0)
        return {};
    // A port whose device went away keeps naming it until chosen again.
    return m_serial->devicePresent() ? m_serial->deviceName() : tr("%1 (gone away)").arg(m_serial->deviceName());
}

QAction *MainWindow::findPortItem(const QString &caption) const
{
    const QString wanted = caption.trimmed();
    for (QAction *item : portMenu->actions())
        if (item->text() == wanted)
            return item;
    return nullptr;
}

void MainWindow::choosePort(QAction *item)
{
    item->setChecked(true);
    const QString caption = QString(item->text()).remove(QLatin1Char('&'));
    setPanel(0, caption);
    const int number = portNumberFromCaption(caption);
    if (number > 0)
        m_serial->setPortNumber(number);
    statusPanels[0]->setToolTip(chosenPortToolTip());
}

void MainWindow::chooseSerialInterface()
{
    releaseUsbForSerial();
    rebuildPortMenu();
    enableCommandControls(true);
    showBaudRate(m_serial->baudRate());
    setControlEnabled(portMenu->menuAction(), true);
    setControlEnabled(baudMenu->menuAction(), true);
    setControlEnabled(autoReadAction, false);
    if (QAction *item = findPortItem(QStringLiteral("COM%1").arg(m_serial->portNumber()))) {
        setPanel(0, item->text());
        statusPanels[0]->setToolTip(chosenPortToolTip());
    }
    comPortAction->setChecked(true);
    m_link->setTransport(m_serial);
}

void MainWindow::enableCommandControls(bool enable)
{
    setControlEnabled(pageTabs, enable);
    for (QObject *c : std::initializer_list<QObject *>{goButton, repeatButton, versionButton, wiegandButton, setupButton,
                                                      testButton, resetButton, goAction, repeatAction, activateMenuAction,
                                                      isoSetupAction, encryptionAction, audioLedAction, rfMenuAction, wiegandAction,
                                                      addressReaderAction})
        setControlEnabled(c, enable);
    if (enable)
        setControlEnabled(upgradeFirmwareAction, true);
}

void MainWindow::devicesChanged()
{
    setPanel(1, QStringLiteral("USB Device change "));
    m_serial->followBinding();
    rebuildPortMenu();
}

} // namespace vexa
