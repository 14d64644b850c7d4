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

void TFrmMain::rebuildPortMenu()
{
    for (QAction *item : Port1->actions()) {
        m_portGroup->removeAction(item);
        Port1->removeAction(item);
        item->deleteLater();
    }
    auto addItem = [this](int number, bool checked) {
        auto *item = new QAction(QStringLiteral("COM%1").arg(number), Port1);
        item->setCheckable(true);
        item->setChecked(checked);
        item->setToolTip(resolvePort(number).value_or(QString()));
        m_portGroup->addAction(item);
        Port1->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { portChoice(item); });
    };
    // The open port cannot be probed: it is listed first, on its own, with
    // the device it is bound to.
    const int open = m_serial->isOpen() ? m_serial->portNumber() : 0;
    if (open) {
        addItem(open, true);
        Port1->actions().constLast()->setToolTip(m_serial->deviceName());
    }
    for (int n = kLowestListedPort; n <= kHighestListedPort; ++n)
        if (n != open && probePort(n))
            addItem(n, false);
    Port1->setToolTipsVisible(true);
    if (ComPort1->isChecked())
        statusPanels[0]->setToolTip(chosenPortToolTip());
}

QString TFrmMain::chosenPortToolTip() const
{
    if (m_serial->portNumber() <= 0)
        return {};
    // A port whose device went away keeps naming it until chosen again.
    return m_serial->devicePresent() ? m_serial->deviceName() : tr("%1 (gone away)").arg(m_serial->deviceName());
}

QAction *TFrmMain::findPortItem(const QString &caption) const
{
    const QString wanted = caption.trimmed();
    for (QAction *item : Port1->actions())
        if (item->text() == wanted)
            return item;
    return nullptr;
}

void TFrmMain::portChoice(QAction *item)
{
    item->setChecked(true);
    const QString caption = QString(item->text()).remove(QLatin1Char('&'));
    setPanel(0, caption);
    const int number = portNumberFromCaption(caption);
    if (number > 0)
        m_serial->setPortNumber(number);
    statusPanels[0]->setToolTip(chosenPortToolTip());
}

void TFrmMain::ComPort1Click()
{
    rebuildPortMenu();
    enableCommandControls(true);
    setPanel(1, QStringLiteral("Baud: %1").arg(m_serial->baudRate()));
    setControlEnabled(Port1->menuAction(), true);
    setControlEnabled(BaudRate1->menuAction(), true);
    setControlEnabled(viewAutoread1, false);
    if (QAction *item = findPortItem(QStringLiteral("COM%1").arg(m_serial->portNumber()))) {
        setPanel(0, item->text());
        statusPanels[0]->setToolTip(chosenPortToolTip());
    }
    ComPort1->setChecked(true);
    m_link->setTransport(m_serial);
}

void TFrmMain::enableCommandControls(bool enable)
{
    setControlEnabled(PageControl1, enable);
    for (QObject *c : std::initializer_list<QObject *>{btnSend, btnContinuous, btnRdrVersion, btnWgnMode, btnSetup,
                                                      ToolButton3, btnResetReader, Send1, ContinuousMode1, Activate1,
                                                      ISOSetup1, Encryption1, AudioLED1, RFModulation1, Wiegand1,
                                                      Addressreader1})
        setControlEnabled(c, enable);
    if (enable)
        setControlEnabled(UpgradeFirmware1, true);
}

void TFrmMain::devicesChanged()
{
    setPanel(1, QStringLiteral("USB Device change "));
    m_serial->followBinding();
    rebuildPortMenu();
}

void TFrmMain::FormShow()
{
    Timer2Timer();
    ComPort1Click();
    QAction *item = findPortItem(QStringLiteral("COM%1").arg(m_serial->portNumber() > 0 ? m_serial->portNumber() : 1));
    if (!item)
        item = findPortItem(QStringLiteral("COM1"));
    if (item)
        portChoice(item);
}

void TFrmMain::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    if (ContinuousMode1->isChecked())
        ContinuousMode1Click();
    m_link->setRepeat(false);
    Timer2.stop();
    m_serial->setAutoOpen(false);
    m_serial->close();
}

} // namespace vexa
