// VexaHost - choosing the serial interface and its port, the command
// controls, device changes, and the window's start and close.
#include "mainwindow.h"

#include <QActionGroup>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include "link/portmap.h"
#include "link/readerlink.h"
#include "link/serialtransport.h"
#include "session/operatorprompt.h"

namespace vexa {

void MainWindow::rebuildPortMenu()
{
    for (QAction *item : portMenu->actions()) {
        m_portGroup->removeAction(item);
        portMenu->removeAction(item);
        item->deleteLater();
    }
    auto addItem = [this](int number, bool checked, const QString &toolTip) {
        auto *item = new QAction(portItemCaption(number), portMenu);
        item->setCheckable(true);
        item->setChecked(checked);
        item->setToolTip(toolTip);
        m_portGroup->addAction(item);
        portMenu->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { choosePort(item); });
        return item;
    };
    // The open port cannot be probed: it is listed first, on its own, with
    // the device it is bound to.
    const int open = m_serial->isOpen() ? m_serial->portNumber() : 0;
    if (open)
        addItem(open, true, m_serial->deviceName());
    for (int n = kLowestListedPort; n <= kHighestListedPort; ++n) {
        if (n == open)
            continue;
        const PortProbe probe = probePortState(n);
        if (probe.state == PortState::Free) {
            addItem(n, false, probe.device);
        } else if (probe.state == PortState::Denied) {
            // There, but not for this user: shown, so that the operator
            // learns why it cannot be chosen and what to do about it.
            QAction *item = addItem(n, m_chosenPortDenied && n == m_serial->portNumber(),
                                    deniedPortText(probe.device));
            item->setEnabled(false);
            item->setData(true);
        }
    }
    portMenu->setToolTipsVisible(true);
    if (comPortAction->isChecked())
        statusPanels[0]->setToolTip(chosenPortToolTip());
}

QString MainWindow::portItemCaption(int number)
{
    // The digit is the item's access key: unique within the menu.
    return QStringLiteral("COM&%1").arg(number);
}

QString MainWindow::deniedPortText(const QString &device)
{
    return QStringLiteral("%1: %2").arg(device, permissionDeniedText());
}

QString MainWindow::chosenPortToolTip() const
{
    if (m_serial->portNumber() <= 0)
        return {};
    if (m_chosenPortDenied && m_serial->devicePresent())
        return deniedPortText(m_serial->deviceName());
    // A port whose device went away keeps naming it until chosen again.
    return m_serial->devicePresent() ? m_serial->deviceName() : tr("%1 (gone away)").arg(m_serial->deviceName());
}

QAction *MainWindow::findPortItem(const QString &caption) const
{
    const QString wanted = QString(caption).remove(QLatin1Char('&')).trimmed();
    for (QAction *item : portMenu->actions())
        if (QString(item->text()).remove(QLatin1Char('&')) == wanted)
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
    m_chosenPortDenied = item->data().toBool();
    statusPanels[0]->setToolTip(chosenPortToolTip());
    if (m_chosenPortDenied) {
        // After the choice has shown (the start chooses too, before the
        // window is on screen).
        const QString text = QStringLiteral("COM%1 (%2): %3.").arg(number).arg(m_serial->deviceName(), permissionDeniedText());
        QTimer::singleShot(0, this, [this, text] { m_prompt->error(text); });
    }
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
        setPanel(0, QString(item->text()).remove(QLatin1Char('&')));
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
