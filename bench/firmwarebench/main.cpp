// VexaHost firmware benchmark against vexa-sim: a 64 KiB firmware file sent
// through "Upgrade firmware..." of the real main window to the simulator's
// boot loader, at 57600 and at 9600 baud, as a ratio to what the line
// allows (every packet and its answer on the line, back to back), and over
// USB (vexa-sim --usb, the simulator's USB library first on
// LD_LIBRARY_PATH) as a ratio to 1058 reports of at least 50 ms each. Also
// CPU time during the transfer. Prints figures with their limits; asserts
// nothing. Arguments: the rates to run and/or "usb" (default 57600 9600;
// the USB leg only when asked for, since it needs the simulator's USB
// library first on the search path).
#include <cstdio>
#include <sys/resource.h>

#include <QApplication>
#include <QCryptographicHash>
#include <QDialog>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "core/link/readerlink.h"
#include "controls.h"
#include "fakes.h"
#include "core/link/serialtransport.h"
#include "core/link/usbtransport.h"
#include "core/loader/firmwareloader.h"
#include "core/loader/firmwareupgrade.h"
#include "core/loader/loaderprotocol.h"
#include "ui/window/mainwindow.h"
#include "eventwait.h"
#include "simprocess.h"

using namespace vexa;
using vexa::test::control;
using vexa::test::cpuSeconds;

namespace {

constexpr int kFileBytes = 64 * 1024;
constexpr double kLimitRatio = 1.05;
// The loader answers each report after the host's first 50 ms wait.
constexpr int kUsbReplyWaitMs = 50;


struct Upgrade
{
    bool done = false;
    double seconds = 0, cpu = 0;
    bool exact = false;
};

// Captures the loader through "Upgrade firmware..." and presses "&Program";
// `label` prefixes any complaint.
Upgrade upgrade(MainWindow &window, test::ScriptedPrompt &prompt, test::SimProcess &sim, const QString &path,
                const QByteArray &image, LoaderFraming framing, const char *label)
{
    Upgrade result;
    window.firmwareUpgrade().chooseFile = [&](const FirmwareFileRequest &) { return path; };
    control<QAction>(window, "UpgradeFirmware1").trigger();
    FirmwareLoader &loader = window.firmwareUpgrade().loader();
    auto *loaderWindow = &control<QDialog>(window, "frmLdr");
    auto *programButton = &control<QPushButton>(*loaderWindow, "btnProgram");
    if (!test::waitUntil([&] { return programButton->isEnabled(); }, 30000)) {
        std::fprintf(stderr, "%s: the loader was not captured\n", label);
        return result;
    }
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    // The transfer's end is taken as it happens, not when the wait notices.
    QEventLoop ended;
    const auto connection = QObject::connect(&loader, &FirmwareLoader::busyChanged, &ended, [&](bool busy) {
        if (busy)
            return;
        result.seconds = double(clock.nsecsElapsed()) / 1e9;
        result.cpu = cpuSeconds() - cpuBefore;
        ended.quit();
    });
    clock.start();
    programButton->click();
    if (loader.busy())
        ended.exec();
    QObject::disconnect(connection);
    if (!prompt.messages.contains(QStringLiteral("Firmware load complete."))) {
        std::fprintf(stderr, "%s: the transfer failed: %s\n", label, qPrintable(prompt.messages.join(" / ")));
        return result;
    }
    result.done = true;
    sim.control(QStringLiteral("loader state"));
    const QString expected = QString::fromLatin1(
        QCryptographicHash::hash(paddedImage(image, framing), QCryptographicHash::Sha256).toHex());
    for (const QString &line : sim.output())
        if (line.startsWith(QLatin1String("loader: mode=")))
            result.exact = line.contains(QStringLiteral("sha256=") + expected);
    loaderWindow->close();
    test::waitUntil([&] { return !loaderWindow->isVisible(); }, 10000);
    return result;
}

void print(const char *what, const Upgrade &u, const QString &limitText, double limitSeconds)
{
    const double ratio = u.seconds / limitSeconds;
    std::printf("%-10s 64 KiB in %8.2f s   %s %8.2f s   ratio %5.3f  limit %.2f  %s   CPU %5.2f s (%4.1f %%)  image %s\n",
                what, u.seconds, qPrintable(limitText), limitSeconds, ratio, kLimitRatio,
                ratio <= kLimitRatio ? "ok  " : "OVER", u.cpu, 100.0 * u.cpu / u.seconds, u.exact ? "exact" : "WRONG");
    std::fflush(stdout);
}

// One upgrade at `rate`; false with a message when it did not complete.
bool run(int rate, const QString &path, const QByteArray &image)
{
    test::SimProcess sim;
    if (!sim.start({QStringLiteral("--baud"), QString::number(rate)})) {
        std::fprintf(stderr, "vexa-sim did not start\n");
        return false;
    }
    test::ScriptedPrompt prompt;
    MainWindow window(&prompt);
    window.session().serial().setBaudRate(rate);
    window.show();
    test::waitUntil([&] { return !window.startingUp() && !window.session().link().busy(); }, 10000);
    const QByteArray label = QByteArray::number(rate) + " baud";
    const Upgrade u = upgrade(window, prompt, sim, path, image, LoaderFraming::Serial, label.constData());
    if (!u.done)
        return false;
    const int packets = (kFileBytes + loader::kSerialDataBytes - 1) / loader::kSerialDataBytes;
    print(label.constData(), u, QStringLiteral("line allows"),
          double(packets) * (loader::kSerialPacketBytes + 3) * 10.0 / rate);
    window.close();
    return u.exact;
}

// The same over USB, from the USB interface.
bool runUsb(const QString &path, const QByteArray &image)
{
    test::SimProcess sim;
    if (!sim.start({QStringLiteral("--usb")})) {
        std::fprintf(stderr, "vexa-sim did not start\n");
        return false;
    }
    test::ScriptedPrompt prompt;
    MainWindow window(&prompt);
    window.show();
    test::waitUntil([&] { return !window.startingUp() && !window.session().link().busy(); }, 10000);
    control<QAction>(window, "USB1").trigger();
    if (!window.session().usb().isOpen()) {
        std::fprintf(stderr, "usb: the simulated reader was not found (is build/sim/usb first on LD_LIBRARY_PATH?)\n");
        return false;
    }
    const Upgrade u = upgrade(window, prompt, sim, path, image, LoaderFraming::Usb, "usb");
    if (!u.done)
        return false;
    const int reports = (kFileBytes + loader::kUsbDataBytes - 1) / loader::kUsbDataBytes;
    print("USB", u, QStringLiteral("%1 reports allow").arg(reports), reports * kUsbReplyWaitMs / 1000.0);
    window.close();
    return u.exact;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QList<int> rates;
    bool usb = false;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "usb")
            usb = true;
        else
            rates << QByteArray(argv[i]).toInt();
    }
    if (rates.isEmpty() && !usb)
        rates = {57600, 9600};

    QTemporaryDir dir;
    QByteArray image(kFileBytes, '\0');
    for (int i = 0; i < kFileBytes; ++i)
        image[i] = char((i * 131 + (i >> 8)) & 0xFF);
    const QString path = dir.filePath(QStringLiteral("reader.enc"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
        return 1;
    file.close();

    std::printf("VexaHost firmware benchmark: 64 KiB (512 serial packets of 261 bytes, 1058 USB reports of 64 bytes) against vexa-sim\n");
    bool ok = true;
    for (int rate : rates)
        ok = run(rate, path, image) && ok;
    if (usb)
        ok = runUsb(path, image) && ok;
    return ok ? 0 : 1;
}
