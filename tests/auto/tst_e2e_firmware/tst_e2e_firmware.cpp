// End to end: "Upgrade firmware..." in the real main window against the
// simulator's boot loader over a pseudo-terminal, at 57600 baud, and (the
// usb... functions) against the boot loader of vexa-sim --usb through the
// simulator's build of the USB HID library.
#include <QtTest>

#include <QCryptographicHash>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>

#include <csignal>
#include <sys/stat.h>
#include <utility>

#include "core/link/usbtransport.h"
#include "core/loader/firmwarefile.h"
#include "e2efixture.h"
#include "core/loader/firmwareloader.h"
#include "core/loader/firmwareupgrade.h"
#include "core/loader/loaderprotocol.h"
#include "core/settings/settingsstore.h"
#include "ui/window/signalclose.h"

using namespace vexa;
using vexa::test::control;
using vexa::test::E2eFixture;
using vexa::test::panel;
using vexa::test::ScriptedPrompt;

namespace {

constexpr int kRate = 57600;
constexpr int kCaptureMs = 30000; // up to three silent attempts of 4 s, with margin
constexpr int kAnswerMs = 10000;
constexpr int kTransferMs = 300000; // the longest transfer here takes about 15 s

// Answers each question from a script, then with `confirmAnswer`, and keeps
// the captions of titled messages (in `dismissable` too for those with OK
// and Cancel).
class LoaderPrompt : public ScriptedPrompt
{
public:
    bool confirm(const QString &text) override
    {
        confirmations << text;
        return answers.isEmpty() ? confirmAnswer : answers.takeFirst();
    }
    bool proceed(const QString &text) override
    {
        warnings << text;
        return proceedAnswer;
    }
    void titledMessage(Kind kind, const QString &caption, const QString &text) override
    {
        captions << caption;
        message(kind, text);
    }
    void titledDismissable(Kind kind, const QString &caption, const QString &text) override
    {
        dismissable << caption;
        titledMessage(kind, caption, text);
    }
    QList<bool> answers;
    QStringList dismissable;
    QStringList warnings;
    QStringList captions;
    bool proceedAnswer = true;
};

QByteArray firmwareBytes(int size, int seed)
{
    QByteArray bytes(size, '\0');
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (char &b : bytes) {
        x = x * 1103515245u + 12345u;
        b = char(x >> 24);
    }
    return bytes;
}

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace

class tst_E2eFirmware : public QObject, public E2eFixture
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void cleanUpgrade();
    void captureRetries();
    void refusedCaptureAnsweredNo();
    void refusedPackets();
    void tooManyRefusals();
    void droppedReplyFailsThenProgramAgain();
    void randomFaultsNeverReportAWrongImage_data();
    void randomFaultsNeverReportAWrongImage();
    void fileDisappears_data();
    void fileDisappears();
    void emptyFileSendsNothing();
    void oddFileRefused_data();
    void oddFileRefused();
    void missingFileAtTheDialog();
    void signalDuringTransfer();
    void sequenceNumberWraps_data();
    void sequenceNumberWraps();
    void virtualComPortFirmware();

    void usbUpgrade_data();
    void usbUpgrade();
    void usbCaptureRetry();
    void usbPacketFaults_data();
    void usbPacketFaults();
    void usbReaderDoesNotReturn();
    void usbLoaderLeavesDuringTransfer();
    void usbLateAnswerIsNotTheNextPackets();

private:
    bool selectUsb();
    QString writeFile(const QString &name, const QByteArray &bytes);
    // Starts "Upgrade firmware..." with `path` chosen; true once the loader
    // window is shown.
    bool startUpgrade(const QString &path);
    bool waitForCapture(int timeoutMs = kCaptureMs);
    // Presses "&Program"; true once the transfer has ended.
    bool program();
    void closeLoaderWindow();
    // The simulator's "loader state" fields.
    QMap<QString, QString> loaderState();
    int loaderTraceCount(const QString &fragment) const;

    QTemporaryDir m_files;
    std::unique_ptr<LoaderPrompt> m_prompt; // the loader's questions, in place of the fixture's prompt
    FirmwareLoader &loader() { return m_window->firmwareUpgrade().loader(); }

    // The loader window and its controls, found by their object names.
    QDialog *m_loader = nullptr;
    QPushButton *m_programButton = nullptr, *m_doneButton = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QStatusBar *m_statusBar = nullptr;
    QLabel *m_fileLabel = nullptr;
    QList<FirmwareFileRequest> m_requests;
};

void tst_E2eFirmware::init()
{
    // A USB reader for the USB tests and for the "usb" rows of the others.
    const bool usb = QByteArray(QTest::currentTestFunction()).startsWith("usb")
        || QByteArray(QTest::currentDataTag()) == "usb";
    QStringList arguments{QStringLiteral("--baud"), QString::number(kRate)};
    if (usb)
        arguments << QStringLiteral("--usb");
    QVERIFY(startSim(arguments));
    if (usb)
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->output().contains(QStringLiteral("usb: ") + m_sim->configHome()
                                                          + QStringLiteral("/Kestrune/VexaHost/usb/reader")),
                                 kAnswerMs);
    m_prompt = std::make_unique<LoaderPrompt>();
    makeWindow(m_prompt.get()).session().serial().setBaudRate(kRate);
    QVERIFY(showWindow());
    QVERIFY(waitForStartExchange());
    m_sim->forgetTraffic();
    m_loader = m_window->findChild<QDialog *>(QStringLiteral("frmLdr"));
    QVERIFY(m_loader);
    m_programButton = m_loader->findChild<QPushButton *>(QStringLiteral("btnProgram"));
    m_doneButton = m_loader->findChild<QPushButton *>(QStringLiteral("Button3"));
    m_progressBar = m_loader->findChild<QProgressBar *>(QStringLiteral("ProgressBar1"));
    m_statusBar = m_loader->findChild<QStatusBar *>(QStringLiteral("StatusBar1"));
    m_fileLabel = m_loader->findChild<QLabel *>(QStringLiteral("FirmwareFile"));
    QVERIFY(m_programButton && m_doneButton && m_progressBar && m_statusBar && m_fileLabel);
    m_requests.clear();
}

void tst_E2eFirmware::cleanup()
{
    if (m_loader && m_loader->isVisible() && !loader().busy())
        m_loader->close();
    closeAll();
    m_loader = nullptr;
    m_prompt.reset();
}

QString tst_E2eFirmware::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = m_files.filePath(name);
    return vexa::test::writeBytes(path, bytes) ? path : QString();
}

bool tst_E2eFirmware::startUpgrade(const QString &path)
{
    m_window->firmwareUpgrade().chooseFile = [this, path](const FirmwareFileRequest &request) {
        m_requests << request;
        return path;
    };
    control<QAction>(*m_window, "UpgradeFirmware1").trigger();
    // The loader query's answer comes first.
    if (!QTest::qWaitFor([this] { return m_window->firmwareUpgrade().state() != FirmwareUpgrade::State::LoaderQuery; },
                         kAnswerMs))
        return false;
    // The window names the file it is about to program.
    return m_loader->isVisible() && m_fileLabel->toolTip() == QDir::toNativeSeparators(path)
        && m_fileLabel->text().contains(QFileInfo(path).fileName());
}

bool tst_E2eFirmware::waitForCapture(int timeoutMs)
{
    return QTest::qWaitFor([this] { return m_programButton->isEnabled(); }, timeoutMs);
}

bool tst_E2eFirmware::program()
{
    m_programButton->click();
    return QTest::qWaitFor([this] { return !loader().busy(); }, kTransferMs);
}

void tst_E2eFirmware::closeLoaderWindow()
{
    QSignalSpy finished(&m_window->firmwareUpgrade(), &FirmwareUpgrade::finished);
    m_doneButton->click();
    // Over USB the window closes once the go report's exchange is over.
    QTRY_VERIFY_WITH_TIMEOUT(!m_loader->isVisible(), kAnswerMs);
    QVERIFY(finished.count() == 1 || finished.wait(kAnswerMs));
}

QMap<QString, QString> tst_E2eFirmware::loaderState()
{
    QMap<QString, QString> fields;
    if (!m_sim->control(QStringLiteral("loader state")))
        return fields;
    const QStringList lines = m_sim->output();
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (!lines[i].startsWith(QLatin1String("loader: mode=")))
            continue;
        for (const QString &field : lines[i].mid(8).split(QLatin1Char(' '))) {
            const qsizetype eq = field.indexOf(QLatin1Char('='));
            fields.insert(field.left(eq), field.mid(eq + 1));
        }
        break;
    }
    return fields;
}

int tst_E2eFirmware::loaderTraceCount(const QString &fragment) const
{
    int count = 0;
    for (const QString &line : m_sim->output())
        if (line.startsWith(QLatin1String("loader: ")) && line.contains(fragment))
            ++count;
    return count;
}

void tst_E2eFirmware::cleanUpgrade()
{
    const QByteArray image = firmwareBytes(3000, 1);
    const QString path = writeFile(QStringLiteral("reader.enc"), image);
    QVERIFY(startUpgrade(path));
    QCOMPARE(m_sim->requests().value(0), QStringLiteral("01 08 00 10 80 E3 7A 85")); // the loader query first
    QCOMPARE(m_prompt->warnings,
             QStringList{QStringLiteral("Loading firmware will cause all reader settings to be lost.  Continue?")});
    QCOMPARE(m_requests.size(), 1);
    QCOMPARE(m_requests[0].selectedFilter, 0); // the serial loader's files
    QCOMPARE(m_window->session().bootLoaderComType(), LoaderComType::Serial);
    QCOMPARE(m_loader->windowTitle(), QStringLiteral("Upgrade firmware"));
    QVERIFY(!m_programButton->isEnabled());

    QVERIFY(waitForCapture());
    QCOMPARE(m_statusBar->currentMessage(), QStringLiteral("Loader captured"));
    QCOMPARE(loaderState().value(QStringLiteral("mode")), QStringLiteral("captured"));

    // The window keeps working while the transfer waits.
    QList<int> progress;
    connect(m_progressBar, &QProgressBar::valueChanged, this, [&](int value) { progress << value; });
    QTimer ticker;
    int ticks = 0;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(20);
    QVERIFY(program());
    ticker.stop();
    QVERIFY2(ticks > 5, "the event loop did not run during the transfer");
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("Firmware load complete.")});
    QCOMPARE(m_statusBar->currentMessage(), QStringLiteral("Firmware load complete"));
    QCOMPARE(m_progressBar->value(), 0);
    QCOMPARE(m_progressBar->maximum(), 3000);
    QVERIFY(progress.contains(128) && progress.contains(2944));
    QVERIFY(m_programButton->isEnabled());

    QMap<QString, QString> state = loaderState();
    QCOMPARE(state.value(QStringLiteral("packets")), QStringLiteral("24"));
    QCOMPARE(state.value(QStringLiteral("sha256")), sha256(paddedImage(image, LoaderFraming::Serial)));

    const int before = int(m_sim->requests().size());
    closeLoaderWindow();
    state = loaderState();
    QCOMPARE(state.value(QStringLiteral("mode")), QStringLiteral("off"));
    QCOMPARE(state.value(QStringLiteral("starts")), QStringLiteral("1"));
    QCOMPARE(state.value(QStringLiteral("started-sha256")), sha256(paddedImage(image, LoaderFraming::Serial)));
    // Back in the application, the version request is answered.
    QVERIFY(m_sim->waitForRequests(before + 1, kAnswerMs));
    QCOMPARE(m_sim->requests().last(), QStringLiteral("01 08 00 10 80 E0 79 86"));
}

void tst_E2eFirmware::captureRetries()
{
    // The loader ignores the capture after three resets: three silent
    // attempts, then the question; Yes captures it at the fourth.
    QVERIFY(m_sim->control(QStringLiteral("loader deaf 3")));
    m_prompt->answers = {true};
    const QByteArray image = firmwareBytes(500, 2);
    QVERIFY(startUpgrade(writeFile(QStringLiteral("reader.enc"), image)));
    QVERIFY(waitForCapture(4 * kCaptureMs));
    QCOMPARE(m_prompt->confirmations, QStringList{QStringLiteral("Could not capture loader, retry?")});
    QCOMPARE(loaderTraceCount(QStringLiteral("listening")), 4);
    QVERIFY(program());
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("Firmware load complete.")});
    QCOMPARE(loaderState().value(QStringLiteral("sha256")), sha256(paddedImage(image, LoaderFraming::Serial)));
}

void tst_E2eFirmware::refusedCaptureAnsweredNo()
{
    // A refusal leads straight to the question; No leaves "&Program"
    // disabled, and closing the window then sends no go command.
    QVERIFY(m_sim->control(QStringLiteral("loader nakcapture 1")));
    m_prompt->answers = {false};
    QVERIFY(startUpgrade(writeFile(QStringLiteral("reader.enc"), firmwareBytes(100, 3))));
    QTRY_COMPARE_WITH_TIMEOUT(m_prompt->confirmations.size(), 1, kCaptureMs);
    QCOMPARE(loaderTraceCount(QStringLiteral("listening")), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!loader().busy(), kAnswerMs);
    QVERIFY(!m_programButton->isEnabled());
    // Once the reader is back in its application, a go command would reach
    // the line before the version request that follows the window.
    QTRY_COMPARE_WITH_TIMEOUT(loaderTraceCount(QStringLiteral("not captured")), 1, kAnswerMs);
    const int before = int(m_sim->requests().size());
    closeLoaderWindow();
    QVERIFY(m_sim->waitForRequests(before + 1, kAnswerMs));
    QCOMPARE(m_sim->requests().last(), QStringLiteral("01 08 00 10 80 E0 79 86"));
    for (const QString &line : m_sim->output())
        QVERIFY2(!(line.startsWith(QLatin1String("discard:")) && line.contains(QStringLiteral("0A 47 0D"))), qPrintable(line));
    QCOMPARE(loaderTraceCount(QStringLiteral("go")), 0);
    QCOMPARE(loaderTraceCount(QStringLiteral("packet")), 0);
}

void tst_E2eFirmware::refusedPackets()
{
    // Four refusals of the first packet and one of the last, short packet:
    // each is sent again with the same number and data.
    const QByteArray image = firmwareBytes(1000, 4);
    QVERIFY(startUpgrade(writeFile(QStringLiteral("reader.enc"), image)));
    QVERIFY(waitForCapture());
    QVERIFY(m_sim->control(QStringLiteral("loader refuse 4")));
    QVERIFY(program());
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("Firmware load complete.")});
    QCOMPARE(loaderTraceCount(QStringLiteral("packet 00 refused (fault)")), 4);
    QCOMPARE(loaderState().value(QStringLiteral("sha256")), sha256(paddedImage(image, LoaderFraming::Serial)));
}

void tst_E2eFirmware::tooManyRefusals()
{
    const QByteArray image = firmwareBytes(1000, 5);
    QVERIFY(startUpgrade(writeFile(QStringLiteral("reader.enc"), image)));
    QVERIFY(waitForCapture());
    QVERIFY(m_sim->control(QStringLiteral("loader refuse 5")));
    QVERIFY(program());
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("Communication error")});
    QCOMPARE(m_prompt->captions, QStringList{QStringLiteral("Too many retries")});
    QCOMPARE(m_prompt->dismissable, m_prompt->captions);
    QCOMPARE(m_statusBar->currentMessage(), QStringLiteral("Communication error"));
    QCOMPARE(loaderTraceCount(QStringLiteral("refused (fault)")), 5);
    // The reader stays in its loader: "&Program" starts again and succeeds.
    QVERIFY(m_programButton->isEnabled());
    QVERIFY(program());
    QCOMPARE(m_prompt->messages.last(), QStringLiteral("Firmware load complete."));
    QCOMPARE(loaderState().value(QStringLiteral("sha256")), sha256(paddedImage(image, LoaderFraming::Serial)));
}

void tst_E2eFirmware::droppedReplyFailsThenProgramAgain()
{
    const QByteArray image = firmwareBytes(2000, 6);
    QVERIFY(startUpgrade(writeFile(QStringLiteral("reader.enc"), image)));
    QVERIFY(waitForCapture());
    QVERIFY(m_sim->control(QStringLiteral("loader drop 1")));
    QVERIFY(program());
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("Communication error")});
    QCOMPARE(m_prompt->captions, QStringList{QStringLiteral("Communication timeout")});
    QCOMPARE(m_prompt->dismissable, m_prompt->captions);
    QVERIFY(program());
    QCOMPARE(m_prompt->messages.last(), QStringLiteral("Firmware load complete."));
    QCOMPARE(loaderState().value(QStringLiteral("sha256")), sha256(paddedImage(image, LoaderFraming::Serial)));
}

void tst_E2eFirmware::randomFaultsNeverReportAWrongImage_data()
{
    QTest::addColumn<bool>("usb");
    QTest::addColumn<QString>("faults");
    QTest::addColumn<int>("completions"); // runs until this many complete
    QTest::addColumn<int>("needed");      // of which at least these must
    // A lost answer ends a serial transfer at once, so fewer complete there.
    QTest::newRow("serial") << false << QStringLiteral("loader random 1 1 11") << 3 << 1;
    QTest::newRow("usb") << true << QStringLiteral("loader random 1 1 5") << 2 << 2;
}

void tst_E2eFirmware::randomFaultsNeverReportAWrongImage()
{
    // 1 % of packets refused and 1 % of answers lost: a transfer ends with
    // "Firmware load complete." only with exactly the file in the loader;
    // otherwise it says so and "&Program" starts again.
    QFETCH(bool, usb);
    QFETCH(QString, faults);
    QFETCH(int, completions);
    QFETCH(int, needed);
    if (usb)
        QVERIFY(selectUsb());
    const QByteArray image = firmwareBytes(5000, usb ? 24 : 7);
    QVERIFY(startUpgrade(writeFile(usb ? QStringLiteral("reader.eud") : QStringLiteral("reader.enc"), image)));
    QVERIFY(waitForCapture());
    QVERIFY(m_sim->control(faults));
    int complete = 0;
    for (int run = 0; run < 12 && complete < completions; ++run) {
        m_prompt->messages.clear();
        QVERIFY(m_programButton->isEnabled());
        QVERIFY(program());
        QCOMPARE(m_prompt->messages.size(), 1);
        if (m_prompt->messages.first() == QLatin1String("Firmware load complete.")) {
            ++complete;
            QCOMPARE(loaderState().value(QStringLiteral("sha256")),
                     sha256(paddedImage(image, usb ? LoaderFraming::Usb : LoaderFraming::Serial)));
        } else {
            QVERIFY2(m_prompt->messages.first().startsWith(QLatin1String("Communication error")),
                     qPrintable(m_prompt->messages.first()));
        }
    }
    QVERIFY(complete >= needed);
    QVERIFY2(loaderTraceCount(QStringLiteral("(fault)")) > 0, "the faults never happened: choose another seed");
}

void tst_E2eFirmware::fileDisappears_data()
{
    QTest::addColumn<bool>("usb");
    QTest::newRow("serial") << false;
    QTest::newRow("usb") << true;
}

void tst_E2eFirmware::fileDisappears()
{
    QFETCH(bool, usb);
    if (usb)
        QVERIFY(selectUsb());
    const QString path = writeFile(usb ? QStringLiteral("reader.eud") : QStringLiteral("reader.enc"),
                                   firmwareBytes(700, usb ? 25 : 8));
    QVERIFY(startUpgrade(path));
    QVERIFY(waitForCapture());
    QVERIFY(QFile::remove(path));
    QVERIFY(program());
    QCOMPARE(m_prompt->messages.size(), 1);
    QVERIFY2(m_prompt->messages[0].contains(path) && m_prompt->messages[0].contains(QStringLiteral("No such file")),
             qPrintable(m_prompt->messages[0]));
    QCOMPARE(m_prompt->captions, QStringList{QStringLiteral("File Error")});
    QCOMPARE(m_statusBar->currentMessage(), QStringLiteral("File read error"));
    QCOMPARE(loaderTraceCount(QStringLiteral("packet")), 0);
    QVERIFY(m_programButton->isEnabled());
}

void tst_E2eFirmware::emptyFileSendsNothing()
{
    const QString path = writeFile(QStringLiteral("empty.enc"), QByteArray());
    QVERIFY(startUpgrade(path));
    QVERIFY(waitForCapture());
    QVERIFY(program());
    QCOMPARE(m_prompt->messages.size(), 1);
    QVERIFY2(m_prompt->messages[0].contains(path) && m_prompt->messages[0].contains(QStringLiteral("empty")),
             qPrintable(m_prompt->messages[0]));
    QVERIFY(!m_prompt->messages.contains(QStringLiteral("Firmware load complete.")));
    QCOMPARE(loaderTraceCount(QStringLiteral("packet")), 0);
}

void tst_E2eFirmware::oddFileRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("named pipe without writer") << "fifo" << "named pipe";
    QTest::newRow("link to an endless device") << "/dev/zero" << "device";
    QTest::newRow("folder") << "folder" << "folder";
    QTest::newRow("larger than any reader holds") << "large" << QString::number(kLargestFirmwareFile);
}

void tst_E2eFirmware::oddFileRefused()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    const QString name = QStringLiteral("odd-%1.enc").arg(kind.startsWith(QLatin1Char('/')) ? QStringLiteral("link") : kind);
    const QString path = m_files.filePath(name);
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path));
    else if (kind == QLatin1String("large"))
        QVERIFY(QFile(writeFile(name, "x")).resize(kLargestFirmwareFile + 1)); // sparse
    else
        QVERIFY(QFile::link(kind, path));
    QVERIFY(startUpgrade(path));
    QVERIFY(waitForCapture());
    QVERIFY(program()); // ends: the file is never waited on
    QCOMPARE(m_prompt->messages.size(), 1);
    QVERIFY2(m_prompt->messages[0].contains(path) && m_prompt->messages[0].contains(reason),
             qPrintable(m_prompt->messages[0]));
    QCOMPARE(m_prompt->captions, QStringList{QStringLiteral("File Error")});
    QCOMPARE(loaderTraceCount(QStringLiteral("packet")), 0);
    QVERIFY(m_programButton->isEnabled());
}

void tst_E2eFirmware::signalDuringTransfer()
{
    // The desktop ends the program mid-transfer: the main window's close
    // closes the port, which ends the transfer; the loader window, which
    // refuses to close while it works, follows once it is done.
    const SignalClose signalClose(m_window.get());
    QFile::remove(settingsFilePath());
    QVERIFY(startUpgrade(writeFile(QStringLiteral("reader.enc"), firmwareBytes(20000, 7))));
    QVERIFY(waitForCapture());
    connect(m_progressBar, &QProgressBar::valueChanged, this, [](int value) {
        static bool raised = false;
        if (value > 0 && !std::exchange(raised, true))
            std::raise(SIGTERM);
    });
    QVERIFY(program());
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->isVisible() && !m_loader->isVisible(), kAnswerMs);
    QVERIFY(!m_prompt->messages.contains(QStringLiteral("Firmware load complete.")));
    QVERIFY(!m_window->session().serial().isOpen());
    QVERIFY(QFile::exists(settingsFilePath()));
}

void tst_E2eFirmware::missingFileAtTheDialog()
{
    QVERIFY(!startUpgrade(m_files.filePath(QStringLiteral("not-there.enc"))));
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("File doen not exist!")});
    // Cancelling the warning ends the action before the dialog.
    m_prompt->proceedAnswer = false;
    m_requests.clear();
    QVERIFY(!startUpgrade(writeFile(QStringLiteral("reader.enc"), firmwareBytes(10, 9))));
    QVERIFY(m_requests.isEmpty());
}

void tst_E2eFirmware::sequenceNumberWraps_data()
{
    QTest::addColumn<bool>("usb");
    QTest::newRow("serial") << false;
    QTest::newRow("usb") << true;
}

void tst_E2eFirmware::sequenceNumberWraps()
{
    // 258 packets or reports: numbers 00 ... FF, 00, 01.
    QFETCH(bool, usb);
    if (usb)
        QVERIFY(selectUsb());
    const LoaderFraming framing = usb ? LoaderFraming::Usb : LoaderFraming::Serial;
    const QByteArray image = usb ? firmwareBytes(258 * 62 - 20, 26) : firmwareBytes(258 * 128 - 77, 10);
    QVERIFY(startUpgrade(writeFile(usb ? QStringLiteral("big.eud") : QStringLiteral("big.enc"), image)));
    QVERIFY(waitForCapture());
    QVERIFY(program());
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("Firmware load complete.")});
    const QMap<QString, QString> state = loaderState();
    QCOMPARE(state.value(QStringLiteral("packets")), QStringLiteral("258"));
    QCOMPARE(state.value(QStringLiteral("sha256")), sha256(paddedImage(image, framing)));
    QCOMPARE(loaderTraceCount(QStringLiteral("image started over")), 0);
}

void tst_E2eFirmware::virtualComPortFirmware()
{
    // Closing after a capture sends the go command even without a transfer;
    // a "Vx_VIR" file then asks for the new virtual COM port.
    QVERIFY(startUpgrade(writeFile(QStringLiteral("Vx_VIR_4_10.enc"), firmwareBytes(10, 11))));
    QVERIFY(waitForCapture());
    closeLoaderWindow();
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("Please select a virtual com port!")});
    QCOMPARE(loaderState().value(QStringLiteral("starts")), QStringLiteral("1"));
    QVERIFY(control<QAction>(*m_window, "ComPort1").isChecked());
}

// --- over USB

bool tst_E2eFirmware::selectUsb()
{
    // The caller stops at once when this fails (the simulator's library not
    // on the library path, say), rather than waiting out a capture.
    control<QAction>(*m_window, "USB1").trigger();
    return panel(*m_window, 1) == QLatin1String("Device ready") && m_window->session().usb().isOpen();
}

void tst_E2eFirmware::usbUpgrade_data()
{
    QTest::addColumn<bool>("fromUsb"); // the interface when the upgrade begins
    QTest::newRow("USB interface") << true;
    QTest::newRow("serial interface, USB boot loader") << false;
}

void tst_E2eFirmware::usbUpgrade()
{
    QFETCH(bool, fromUsb);
    if (fromUsb)
        QVERIFY(selectUsb());
    const QByteArray image = firmwareBytes(3000, 21);
    QVERIFY(startUpgrade(writeFile(QStringLiteral("Vx_USB_4_10.eud"), image)));
    QCOMPARE(m_window->session().bootLoaderComType(), LoaderComType::Usb);
    QCOMPARE(m_requests.size(), 1);
    QCOMPARE(m_requests[0].selectedFilter, 1); // the USB readers' files
    QCOMPARE(m_window->firmwareUpgrade().upgradeInterface, fromUsb ? UpgradeInterface::Usb : UpgradeInterface::Serial);

    QVERIFY(waitForCapture());
    QCOMPARE(m_statusBar->currentMessage(), QStringLiteral("Loader captured"));
    QVERIFY(control<QAction>(*m_window, "USB1").isChecked());
    QVERIFY(m_window->session().usb().usbPollSuspended);
    QVERIFY(control<LinePane>(*m_window, "rchEditAPDLog").lines().contains(QStringLiteral("USB Reconnected")));
    QCOMPARE(loaderState().value(QStringLiteral("mode")), QStringLiteral("captured"));
    QVERIFY(m_sim->output().contains(QStringLiteral("usb: device back as boot-loader")));

    QList<int> progress;
    connect(m_progressBar, &QProgressBar::valueChanged, this, [&](int value) { progress << value; });
    QTimer ticker;
    int ticks = 0;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(20);
    QVERIFY(program());
    ticker.stop();
    QVERIFY2(ticks > 5, "the event loop did not run during the transfer");
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("Firmware load complete.")});
    QCOMPARE(m_progressBar->maximum(), 3000);
    QVERIFY(progress.contains(62) && progress.contains(48 * 62));
    QMap<QString, QString> state = loaderState();
    QCOMPARE(state.value(QStringLiteral("packets")), QStringLiteral("49"));
    QCOMPARE(state.value(QStringLiteral("sha256")), sha256(paddedImage(image, LoaderFraming::Usb)));

    // Closing sends the go report; the window stays, refusing another
    // close, until its exchange is over. The application comes back over
    // USB and answers the version request.
    const int before = int(m_sim->requests().size());
    QSignalSpy finished(&m_window->firmwareUpgrade(), &FirmwareUpgrade::finished);
    m_doneButton->click();
    QVERIFY(loader().busy());
    m_loader->close();
    QVERIFY(m_loader->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!m_loader->isVisible(), kAnswerMs);
    QVERIFY(finished.count() == 1 || finished.wait(kAnswerMs));
    QCOMPARE(loaderTraceCount(QStringLiteral("go")), 1);
    QVERIFY(!m_window->session().usb().usbPollSuspended);
    state = loaderState();
    QCOMPARE(state.value(QStringLiteral("mode")), QStringLiteral("off"));
    QCOMPARE(state.value(QStringLiteral("starts")), QStringLiteral("1"));
    QCOMPARE(state.value(QStringLiteral("started-sha256")), sha256(paddedImage(image, LoaderFraming::Usb)));
    QVERIFY(m_sim->waitForRequests(before + 1, kAnswerMs));
    QCOMPARE(m_sim->requests().last(), QStringLiteral("01 08 00 10 80 E0 79 86"));
    auto &pane = control<ResponsePane>(*m_window, "memoResponse");
    QTRY_VERIFY_WITH_TIMEOUT(pane.lines().value(0).endsWith(QLatin1String("Reader Version: VexaIII")), kAnswerMs);
    QCOMPARE(&m_window->session().link().transport()->metaObject()->className()[0], "vexa::UsbTransport");
}

void tst_E2eFirmware::usbCaptureRetry()
{
    // The first loader ignores the capture reports and gives way to the
    // application again; Yes resets the reader and captures the second.
    QVERIFY(selectUsb());
    QVERIFY(m_sim->control(QStringLiteral("loader deaf 1")));
    m_prompt->answers = {true};
    const QByteArray image = firmwareBytes(500, 22);
    QVERIFY(startUpgrade(writeFile(QStringLiteral("reader.eud"), image)));
    QVERIFY(waitForCapture(2 * kCaptureMs));
    QCOMPARE(m_prompt->confirmations, QStringList{QStringLiteral("Could not capture loader, retry?")});
    QCOMPARE(loaderTraceCount(QStringLiteral("listening")), 2);
    QCOMPARE(loaderTraceCount(QStringLiteral("not captured")), 1);
    QVERIFY(program());
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("Firmware load complete.")});
    QCOMPARE(loaderState().value(QStringLiteral("sha256")), sha256(paddedImage(image, LoaderFraming::Usb)));
}

void tst_E2eFirmware::usbPacketFaults_data()
{
    QTest::addColumn<QStringList>("faults");   // loader control lines before "&Program"
    QTest::addColumn<QStringList>("messages"); // one per press of "&Program", until complete
    QTest::addColumn<QStringList>("captions");
    const QString complete = QStringLiteral("Firmware load complete.");
    QTest::newRow("four refusals, then stored") << QStringList{"refuse 4"} << QStringList{complete} << QStringList{};
    QTest::newRow("five refusals")
        << QStringList{"refuse 5"} << QStringList{"Communication error: NAK", complete} << QStringList{"Too many retries"};
    QTest::newRow("five answers lost")
        << QStringList{"drop 5"} << QStringList{"Communication error", complete}
        << QStringList{"Communication timeout: No reponse to packet"};
    QTest::newRow("lost and refused share the count, last refused")
        << QStringList{"silent 3", "refuse 2"} << QStringList{"Communication error: NAK", complete}
        << QStringList{"Too many retries"};
    QTest::newRow("two lost, two refused, then stored")
        << QStringList{"silent 2", "refuse 2"} << QStringList{complete} << QStringList{};
}

void tst_E2eFirmware::usbPacketFaults()
{
    QFETCH(QStringList, faults);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, captions);
    QVERIFY(selectUsb());
    const QByteArray image = firmwareBytes(700, 23);
    QVERIFY(startUpgrade(writeFile(QStringLiteral("reader.eud"), image)));
    QVERIFY(waitForCapture());
    for (const QString &fault : faults)
        QVERIFY(m_sim->control(QStringLiteral("loader ") + fault));
    for (qsizetype press = 0; press < messages.size(); ++press) {
        QVERIFY(m_programButton->isEnabled());
        QVERIFY(program());
    }
    QCOMPARE(m_prompt->messages, messages);
    QCOMPARE(m_prompt->captions, captions);
    QCOMPARE(m_prompt->dismissable, captions);
    QCOMPARE(loaderState().value(QStringLiteral("sha256")), sha256(paddedImage(image, LoaderFraming::Usb)));
}

void tst_E2eFirmware::usbReaderDoesNotReturn()
{
    // A "Vx_USB" file, and the reader is unplugged before the window
    // closes: no version request goes anywhere.
    QVERIFY(selectUsb());
    QVERIFY(startUpgrade(writeFile(QStringLiteral("Vx_USB_4_10.eud"), firmwareBytes(100, 27))));
    QVERIFY(waitForCapture());
    QVERIFY(m_sim->control(QStringLiteral("usb unplug")));
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->session().usb().isOpen(), kAnswerMs);
    const int before = int(m_sim->requests().size());
    closeLoaderWindow();
    QVERIFY(!m_window->session().usb().usbPollSuspended);
    QVERIFY(m_sim->control(QStringLiteral("state")));
    QCOMPARE(int(m_sim->requests().size()), before);
    QCOMPARE(loaderState().value(QStringLiteral("starts")), QStringLiteral("0"));
}

void tst_E2eFirmware::usbLoaderLeavesDuringTransfer()
{
    // The loader's device leaves and enumerates again in the middle of the
    // transfer: the packet without an answer is sent again once it is back,
    // and the image arrives whole.
    QVERIFY(selectUsb());
    const QByteArray image = firmwareBytes(2000, 28);
    QVERIFY(startUpgrade(writeFile(QStringLiteral("reader.eud"), image)));
    QVERIFY(waitForCapture());
    bool replugged = false;
    connect(m_progressBar, &QProgressBar::valueChanged, this, [&](int value) {
        if (value >= 10 * 62 && !replugged)
            replugged = m_sim->control(QStringLiteral("usb replug"));
    });
    QVERIFY(program());
    QVERIFY(replugged);
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("Firmware load complete.")});
    QVERIFY(m_sim->output().contains(QStringLiteral("usb: device left")));
    QVERIFY(control<LinePane>(*m_window, "rchEditAPDLog").lines().contains(QStringLiteral("USB Disconnected")));
    const QMap<QString, QString> state = loaderState();
    QCOMPARE(state.value(QStringLiteral("packets")), QStringLiteral("33"));
    QCOMPARE(state.value(QStringLiteral("sha256")), sha256(paddedImage(image, LoaderFraming::Usb)));
}

void tst_E2eFirmware::usbLateAnswerIsNotTheNextPackets()
{
    // The first packet is refused, and the refusal comes 4 s late: long
    // after the host has sent the packet again and moved on. Whatever packet
    // it is taken for, the transfer ends with exactly the file. Answers
    // carry no packet number, so a late answer that lands in the moment
    // between a packet leaving and its own answer may still cost one packet
    // sent twice ("stored again"); never more, as the host drops what is
    // waiting before each packet instead of staying one answer behind.
    QVERIFY(selectUsb());
    const QByteArray image = firmwareBytes(100 * 62, 29);
    QVERIFY(startUpgrade(writeFile(QStringLiteral("reader.eud"), image)));
    QVERIFY(waitForCapture());
    QVERIFY(m_sim->control(QStringLiteral("loader refuse 1")));
    QVERIFY(m_sim->control(QStringLiteral("loader late 4000 1")));
    QVERIFY(program());
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("Firmware load complete.")});
    QCOMPARE(loaderTraceCount(QStringLiteral("ms late (fault)")), 1);
    QVERIFY(loaderTraceCount(QStringLiteral("stored again")) <= 1);
    QCOMPARE(loaderState().value(QStringLiteral("packets")), QStringLiteral("100"));
    QCOMPARE(loaderState().value(QStringLiteral("sha256")), sha256(paddedImage(image, LoaderFraming::Usb)));
}

QTEST_MAIN(tst_E2eFirmware)
#include "tst_e2e_firmware.moc"
