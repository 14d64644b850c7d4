// VexaHost - "Upgrade firmware...".
#include "firmwareupgrade.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QStandardPaths>
#include <QFileInfo>
#include <QUrl>
#include <QTimer>

#include "app/mainwindow.h"
#include "firmware/loaderusblink.h"
#include "firmware/loaderwindow.h"
#include "link/readerlink.h"
#include "link/usbtransport.h"
#include "link/serialtransport.h"
#include "session/commandcycle.h"
#include "session/operatorprompt.h"
#include "ui/windowframe.h"

namespace vexa {

namespace {

constexpr int kVirtualPortSettleMs = 4000;
constexpr int kUsbSettleMs = 2000;
constexpr int kUsbOpenChecks = 51;
constexpr int kUsbOpenCheckMs = 100;

// The main window's USB link as the loader window sees it.
class MainWindowUsbLink final : public LoaderUsbLink
{
public:
    explicit MainWindowUsbLink(MainWindow &window) : m_window(window) {}

    bool isOpen() const override { return m_window.session().usb().isOpen(); }
    bool deviceLost() const override { return m_window.session().usbDeviceLost(); }
    void clearDeviceLost() override { m_window.session().setUsbDeviceLost(false); }
    void selectUsb() override { m_window.session().chooseUsb(); }
    void openDevice() override { m_window.session().usbOpen(); }
    void setPollSuspended(bool suspended) override { m_window.session().usb().usbPollSuspended = suspended; }
    void stopResponseTimer() override { m_window.session().link().responseTimer().stop(); }
    void noteReconnected() override { emit m_window.session().messageLine(QStringLiteral("USB Reconnected")); }
    bool writeReport(QByteArrayView block) override { return m_window.session().usb().writeReport(block); }
    QByteArray readReport() override { return m_window.session().usb().readReport(); }

private:
    MainWindow &m_window;
};

QString showFileDialog(QWidget *parent, const FirmwareFileRequest &request)
{
    QFileDialog dialog(parent, request.title, request.folder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(request.filters);
    dialog.selectNameFilter(request.filters.value(request.selectedFilter));
    // The firmware folder beside the places the operator knows.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QList<QUrl> places{QUrl::fromLocalFile(request.folder), QUrl::fromLocalFile(QDir::homePath())};
    if (QFileInfo(documents).isDir())
        places << QUrl::fromLocalFile(documents);
    dialog.setSidebarUrls(places);
    fitFileDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace

FirmwareUpgrade::FirmwareUpgrade(MainWindow &window)
    : QObject(&window), m_window(window), m_usbLink(std::make_unique<MainWindowUsbLink>(window))
{
    // An installed program's folder is not the operator's: then a folder of
    // their own that they can find, not one inside a hidden data folder.
    firmwareFolder = chooseFirmwareFolder(
        QCoreApplication::applicationDirPath(),
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(QStringLiteral("VexaHost")));
    chooseFile = [this](const FirmwareFileRequest &request) { return showFileDialog(&m_window, request); };
    m_loaderWindow = new LoaderWindow(window.session().serial(), *m_usbLink, window.session().prompt(), [this] { m_window.session().resetReader(); },
                                      &window);
    connect(m_loaderWindow, &QDialog::finished, this, &FirmwareUpgrade::afterLoaderWindow);
}

FirmwareUpgrade::~FirmwareUpgrade() = default;

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
    if (m_window.session().cycle().repeatMode())
        m_window.session().cycle().setRepeatMode(false);

    m_window.session().requestLoaderInfo();
    if (!m_window.session().prompt().proceed(
            QStringLiteral("Loading firmware will cause all reader settings to be lost.  Continue?")))
        return;
    // The loader's answer decides the file type preselected and the
    // transport of the capture: let it arrive (or time out) first.
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!m_window.session().link().busy())
            loop.quit();
    });
    poll.start(10);
    if (m_window.session().link().busy())
        loop.exec();
    poll.stop();

    const bool usbChecked = (m_window.session().interface() == ReaderSession::Interface::Usb);
    upgradeInterface = usbChecked ? 2 : 1;
    const QString path = chooseFile(firmwareFileRequest(usbChecked, m_window.session().bootLoaderComType(), firmwareFolder));
    if (path.isEmpty())
        return;
    if (!QFileInfo::exists(path)) {
        m_window.session().prompt().error(QStringLiteral("File doen not exist!"));
        return;
    }
    m_loaderWindow->prepare(path, m_window.session().bootLoaderComType(), upgradeInterface);
    m_loaderWindow->open();
}

void FirmwareUpgrade::afterLoaderWindow()
{
    m_window.session().usb().usbPollSuspended = false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    switch (afterUpgrade(m_loaderWindow->firmwarePath())) {
    case AfterUpgrade::SelectVirtualComPort:
        // The reader comes back as a new virtual COM port: give the system
        // time to create it, then let the operator pick it.
        waitMs(kVirtualPortSettleMs);
        m_window.session().refreshPorts();
        m_window.session().chooseSerial();
        QApplication::restoreOverrideCursor();
        m_window.session().prompt().information(QStringLiteral("Please select a virtual com port!"));
        emit finished();
        return;
    case AfterUpgrade::ReconnectUsb:
        // The new firmware enumerates as the USB reader; ask for its version
        // once it is open, and send nothing when it never opens.
        waitMs(kUsbSettleMs);
        if (!(m_window.session().interface() == ReaderSession::Interface::Usb))
            m_window.session().chooseUsb();
        for (int check = 0; check < kUsbOpenChecks; ++check) {
            if (m_window.session().usb().isOpen()) {
                m_window.session().requestVersion();
                break;
            }
            waitMs(kUsbOpenCheckMs);
        }
        break;
    case AfterUpgrade::RequestVersion:
        m_window.session().requestVersion();
        break;
    }
    QApplication::restoreOverrideCursor();
    emit finished();
}

} // namespace vexa
