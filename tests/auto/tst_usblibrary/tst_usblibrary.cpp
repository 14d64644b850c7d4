// Loading the USB HID library: none on the search path, one that lacks an
// entry point, and the hidapi build on a machine without a reader. Each
// function runs in its own process with its own LD_LIBRARY_PATH (CMakeLists).
#include <QtTest>

#include <cstdio>
#include <unistd.h>

#include <QLabel>
#include <QMenu>
#include <QTemporaryFile>
#include <QToolButton>

#include "core/link/usbtransport.h"
#include "core/wire/usbreports.h"
#include "controls.h"
#include "fakes.h"
#include "ui/window/mainwindow.h"
#include "ui/window/responsepane.h"

using namespace vexa;
using vexa::test::control;
using vexa::test::ScriptedPrompt;
using vexa::test::statusPanel;

namespace {

// Standard error of this process while `action` runs.
QByteArray captureStandardError(const std::function<void()> &action)
{
    QTemporaryFile file;
    if (!file.open())
        return "cannot capture";
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(file.handle(), STDERR_FILENO);
    action();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    file.seek(0);
    return file.readAll();
}

} // namespace

class tst_UsbLibrary : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void missingLibrary();
    void missingEntryPoint();
    void hidapiWithoutReader();

private:
    QTemporaryDir m_config;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    std::unique_ptr<MainWindow> m_window;
};

void tst_UsbLibrary::init()
{
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    m_prompt = std::make_unique<ScriptedPrompt>();
    m_window = std::make_unique<MainWindow>(m_prompt.get());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void tst_UsbLibrary::cleanup()
{
    if (m_window)
        m_window->close();
    m_window.reset();
    m_prompt.reset();
}

void tst_UsbLibrary::missingLibrary()
{
    QLibrary probe(QStringLiteral("AtUsbHid"));
    if (probe.load())
        QSKIP("a USB HID library is installed on this machine's library path");
    MainWindow &w = *m_window;
    control<QAction>(w, "USB1").trigger();
    QCOMPARE(m_prompt->messages, QStringList{usbErrorText(usberr::ModuleNotFound)});
    // USB stays chosen with the commands off; Com Port brings them back.
    QVERIFY(control<QAction>(w, "USB1").isChecked());
    QCOMPARE(statusPanel(w, 0).text(), QStringLiteral("USB"));
    QVERIFY(!control<QToolButton>(w, "btnSend").isEnabled());
    QVERIFY(!w.session().usb().isLoaded());
    // A notification without the library changes only the panel text.
    w.session().onUsbDeviceChange(ATUSBHID_DEVICE_ARRIVAL, AtUsbHidDeviceRecord{});
    QCOMPARE(statusPanel(w, 1).text(), QStringLiteral("Device arrival"));
    control<QAction>(w, "ComPort1").trigger();
    QVERIFY(control<QToolButton>(w, "btnSend").isEnabled());
    QCOMPARE(m_prompt->messages.size(), 1);
}

void tst_UsbLibrary::missingEntryPoint()
{
    MainWindow &w = *m_window;
    const QByteArray errors = captureStandardError([&w] { control<QAction>(w, "USB1").trigger(); });
    QCOMPARE(errors, QByteArray("Error: Cannot get address of function.\n"));
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("Could not get USB HID library functions addresses")});
    QVERIFY(!w.session().usb().isLoaded());
    QVERIFY(!w.session().usb().isOpen());
    QVERIFY(statusPanel(w, 1).text() != QLatin1String("Device ready"));
    QVERIFY(!control<QToolButton>(w, "btnSend").isEnabled());
    const QByteArray later = captureStandardError([&w] {
        w.session().onUsbDeviceChange(ATUSBHID_DEVICE_REMOVE_COMPLETE, AtUsbHidDeviceRecord{});
        control<QAction>(w, "ComPort1").trigger();
    });
    QCOMPARE(later, QByteArray()); // nothing of the library was called
}

void tst_UsbLibrary::hidapiWithoutReader()
{
    MainWindow &w = *m_window;
    control<QAction>(w, "USB1").trigger();
    QCOMPARE(m_prompt->messages, QStringList{});
    QVERIFY(w.session().usb().isLoaded());
    QVERIFY2(w.session().usb().libraryPath().endsWith(QLatin1String("/src/usb/libAtUsbHid.so")), qPrintable(w.session().usb().libraryPath()));
    QCOMPARE(statusPanel(w, 0).toolTip(), w.session().usb().libraryPath());
    if (w.session().usb().isOpen())
        QSKIP("a reader is plugged into this machine");
    QCOMPARE(statusPanel(w, 1).text(), QStringLiteral("Device not found"));
    QVERIFY(!control<QToolButton>(w, "btnSend").isEnabled());
    QVERIFY(!w.session().usb().pollTimer().isActive());
    control<QAction>(w, "ComPort1").trigger();
    QVERIFY(!w.session().usb().isLoaded());
    QVERIFY(control<QToolButton>(w, "btnSend").isEnabled());
}

QTEST_MAIN(tst_UsbLibrary)
#include "tst_usblibrary.moc"
