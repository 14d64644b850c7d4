// VexaHost - "Upgrade firmware...".
#include "firmwareupgrade.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

#include "app/mainwindow.h"
#include "firmware/loaderwindow.h"
#include "link/readerlink.h"
#include "ui/operatorprompt.h"

namespace vexa {

namespace {

constexpr int kVirtualPortSettleMs = 4000;

QString showFileDialog(QWidget *parent, const FirmwareFileRequest &request)
{
    QFileDialog dialog(parent, request.title, request.folder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(request.filters);
    dialog.selectNameFilter(request.filters.value(request.selectedFilter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace

FirmwareUpgrade::FirmwareUpgrade(MainWindow &window) : QObject(&window), m_window(window)
{
    firmwareFolder = defaultFirmwareFolder(QCoreApplication::applicationDirPath());
    chooseFile = [this](const FirmwareFileRequest &request) { return showFileDialog(&m_window, request); };
    m_loaderWindow = new LoaderWindow(window.serial(), window.prompt(), [this] { m_window.resetReader(); }, &window);
    connect(m_loaderWindow, &QDialog::finished, this, &FirmwareUpgrade::afterLoaderWindow);
}

void FirmwareUpgrade::waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void FirmwareUpgrade::start()
{
    if (m_loaderWindow->isVisible())
        return;
    // A Repeat cycle would keep sending frames into the loader's line.
    if (m_window.repeatAction->isChecked())
        m_window.toggleRepeat();

    m_window.requestLoaderInfo();
    if (!m_window.prompt().proceed(
            QStringLiteral("Loading firmware will cause all reader settings to be lost.  Continue?")))
        return;
    // The loader's answer decides the file type preselected and the
    // transport of the capture: let it arrive (or time out) first.
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!m_window.link().busy())
            loop.quit();
    });
    poll.start(10);
    if (m_window.link().busy())
        loop.exec();
    poll.stop();

    const bool usbChecked = m_window.usbAction->isChecked();
    upgradeInterface = usbChecked ? 2 : 1;
    const QString path = chooseFile(firmwareFileRequest(usbChecked, m_window.bootLoaderComType, firmwareFolder));
    if (path.isEmpty())
        return;
    if (!QFileInfo::exists(path)) {
        m_window.prompt().error(QStringLiteral("File doen not exist!"));
        return;
    }
    m_loaderWindow->prepare(path, m_window.bootLoaderComType);
    m_loaderWindow->open();
}

void FirmwareUpgrade::afterLoaderWindow()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    switch (afterUpgrade(m_loaderWindow->firmwarePath())) {
    case AfterUpgrade::SelectVirtualComPort:
        // The reader comes back as a new virtual COM port: give the system
        // time to create it, then let the operator pick it.
        waitMs(kVirtualPortSettleMs);
        m_window.rebuildPortMenu();
        m_window.chooseSerialInterface();
        QApplication::restoreOverrideCursor();
        m_window.prompt().information(QStringLiteral("Please select a virtual com port!"));
        emit finished();
        return;
    case AfterUpgrade::ReconnectUsb:
        // The USB HID link is not part of this program yet: there is no
        // device to wait for, so no version request goes out.
        break;
    case AfterUpgrade::RequestVersion:
        m_window.requestVersion();
        break;
    }
    QApplication::restoreOverrideCursor();
    emit finished();
}

} // namespace vexa
