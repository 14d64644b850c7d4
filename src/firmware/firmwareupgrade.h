// VexaHost - "Upgrade firmware...": the loader query, the warning, the file
// choice, the loader window, and what the main window does once the loader
// window has closed.
#pragma once

#include <functional>
#include <memory>
#include <QObject>
#include <QString>

#include "firmware/firmwarefile.h"

namespace vexa {

class LoaderUsbLink;
class LoaderWindow;
class MainWindow;

class FirmwareUpgrade : public QObject
{
    Q_OBJECT
public:
    explicit FirmwareUpgrade(MainWindow &window);
    ~FirmwareUpgrade() override;

    // The handler of "Upgrade firmware...".
    void start();

    // Shows the file dialog; an empty text means it was cancelled. Tests
    // put their own answer here.
    std::function<QString(const FirmwareFileRequest &)> chooseFile;
    // Where the file dialog starts.
    QString firmwareFolder;
    // 2 when "USB" was the interface as the upgrade began, 1 otherwise.
    int upgradeInterface = 1;

    LoaderWindow *loaderWindow() const { return m_loaderWindow; }

signals:
    // The loader window has closed and what follows it is done.
    void finished();

private:
    void afterLoaderWindow();
    void waitMs(int ms);

    MainWindow &m_window;
    std::unique_ptr<LoaderUsbLink> m_usbLink;
    LoaderWindow *m_loaderWindow = nullptr;
};

} // namespace vexa
