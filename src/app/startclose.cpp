// VexaHost - the window's first showing and its close: the stored settings
// are read once when the window is first shown and written once when it
// closes. A serial start brings the reader to the stored rate at once.
#include "mainwindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <utility>

#include "app/responsepane.h"
#include "app/settingsstore.h"
#include "config/addressdialog.h"
#include "config/configframes.h"
#include "config/wieganddialog.h"
#include "firmware/firmwareupgrade.h"
#include "link/readerlink.h"
#include "link/serialtransport.h"
#include "tags/isopage.h"

namespace vexa {

namespace {
// A window placed where no screen is any more (a monitor removed) would be
// out of reach; it then keeps the top-left corner.
bool onSomeScreen(const QPoint &topLeft)
{
    return QGuiApplication::screenAt(topLeft + QPoint(20, 20)) != nullptr;
}
} // namespace

void MainWindow::setVisible(bool visible)
{
    if (visible && !m_startSettings) {
        StoredSettings defaults;
        defaults.baudRate = m_serial->baudRate();
        m_startSettings = std::make_unique<LoadedSettings>(loadSettings(defaults));
        const StoredSettings &s = m_startSettings->settings;
        resize(s.width, s.height);
        // The stored place is the frame's (x() and y() at the close). Given
        // before the window exists, the toolkit asks the window manager to
        // put the frame there; a move() once the window exists, but before
        // the window manager has framed it, places the inside there instead,
        // and every start crept up and left by the frame's width.
        const QPoint place(s.left, s.top);
        if (onSomeScreen(place)) {
            if (testAttribute(Qt::WA_WState_Created) && windowHandle())
                windowHandle()->setFramePosition(place);
            else
                move(place);
        }
    }
    QMainWindow::setVisible(visible);
}

void MainWindow::onFirstShow()
{
    // The upgrade's file dialog starts there (firmwareFolder).
    QDir().mkpath(m_firmwareUpgrade->firmwareFolder); // a read-only place is no reason to complain

    const LoadedSettings &loaded = *m_startSettings;
    if (!loaded.problem.isEmpty())
        qWarning().noquote() << loaded.problem;
    m_settingsNotAFile = loaded.notAFile;
    const StoredSettings &s = loaded.settings;

    options = s.options;
    m_storedPortNumber = s.portNumber;
    m_serial->setBaudRate(baudItemRate(s.baudRate));

    setPanel(6, addressPanelText(options));
    updateClock();
    if (s.debugOn)
        toggleMessageView();

    if (s.comMethod != 0) {
        chooseUsbInterface();
    } else {
        chooseSerialInterface();
        QAction *item = findPortItem(QStringLiteral("COM%1").arg(s.portNumber));
        if (!item)
            item = findPortItem(QStringLiteral("COM1"));
        if (item) {
            m_serial->setPortNumber(s.portNumber);
            choosePort(item); // the item's own number wins
        }
        const int rate = baudItemRate(m_serial->baudRate());
        if (m_chosenPortDenied) {
            // The choice has told the operator why; a start exchange would
            // only say it again.
            showBaudRate(rate);
            m_serial->setBaudRate(rate);
        } else if (linkTalks()) {
            // The change waits about a second for the reader; the window is
            // painted first, so the operator never looks at an empty frame.
            showBaudRate(rate);
            m_startupBaudRate = rate;
            // A window that is never painted (started minimised) still
            // brings the reader to its rate.
            QTimer::singleShot(kStartupUnpaintedMs, this, &MainWindow::runStartupExchange);
        } else {
            changeBaudRate(rate);
        }
    }
    isoPage->applyBlockLength();
    wiegandDialog->selectMode(0);
}

bool MainWindow::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    // Queued, so the first frame reaches the screen before the wait starts.
    if (event->type() == QEvent::Paint && m_startupBaudRate)
        QTimer::singleShot(0, this, &MainWindow::runStartupExchange);
    return handled;
}

void MainWindow::runStartupExchange()
{
    const int rate = std::exchange(m_startupBaudRate, 0);
    // The operator may have moved to USB in the moment before.
    if (rate && !m_closed && m_link->transport() == m_serial)
        changeBaudRate(rate);
}

void MainWindow::onClose()
{
    if (m_closed)
        return;
    m_closed = true;
    emit closing();
    if (repeatAction->isChecked())
        toggleRepeat();
    m_link->setRepeat(false);
    clockTimer.stop();
    m_serial->setAutoOpen(false);
    m_serial->close();
    if (usbAction->isChecked())
        releaseUsbForSerial();

    StoredSettings s;
    s.comMethod = usbAction->isChecked() ? 1 : 0;
    // Without a chosen port the stored one is kept for the next run.
    s.portNumber = m_serial->portNumber() > 0 ? m_serial->portNumber() : m_storedPortNumber;
    s.baudRate = m_serial->baudRate();
    s.debugOn = messagesAction->isChecked();
    s.left = x();
    s.top = y();
    s.options = options;
    s.height = height() - (messagesAction->isChecked() ? kMessageViewHeight : 0);
    s.width = width();
    if (m_settingsNotAFile)
        return; // a named pipe stays one; the start has said why nothing is kept
    const QString problem = saveSettings(s);
    if (!problem.isEmpty())
        qWarning().noquote() << problem;
}

} // namespace vexa
