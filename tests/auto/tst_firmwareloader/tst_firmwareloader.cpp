// The firmware loader and the upgrade procedure without a window, against a
// host and a USB boot loader made here: what arrives in a state that no
// longer waits for it, and the waits that end in timers.
#include <QtTest>

#include <QTemporaryDir>

#include "fakes.h"
#include "core/link/serialtransport.h"
#include "core/loader/firmwarehost.h"
#include "core/loader/firmwareloader.h"
#include "core/loader/firmwareupgrade.h"
#include "core/loader/loaderprotocol.h"
#include "core/loader/loaderusblink.h"

using namespace vexa;

Q_DECLARE_METATYPE(vexa::FirmwareOutcome)

namespace {

constexpr int kWaitMs = 20000;

const QByteArray kAckReport = QByteArray("\n!\r").leftJustified(loader::kUsbReportBytes, '\0');
const QByteArray kNakReport = QByteArray("\n?\r").leftJustified(loader::kUsbReportBytes, '\0');

// A host whose USB device is a boot loader that answers each report by a
// script: "ack", "nak", "none", or "late-nak" (a refusal that can only be
// read once the exchange has given up: after its 40 reads).
class FakeHost final : public FirmwareHost, public LoaderUsbLink
{
public:
    void stopRepeat() override { ++repeatStops; }
    void requestLoaderInfo() override { ++loaderQueries; }
    bool linkBusy() const override
    {
        ++linkChecks;
        return busyLink;
    }
    LoaderComType bootLoaderComType() const override { return comType; }
    bool usbChosen() const override { return true; }
    void chooseUsb() override {}
    void chooseSerial() override {}
    void refreshPorts() override {}
    void requestVersion(std::function<void(bool)> answered) override
    {
        ++versionRequests;
        if (answered)
            QTimer::singleShot(0, &serialPort, [this, answered] { answered(applicationAnswers); });
    }
    void resetReader() override
    {
        // The application's device leaves; the loader's arrives shortly.
        open = false;
        QTimer::singleShot(30, &serialPort, [this] { open = true; });
    }
    SerialTransport &loaderPort() override { return serialPort; }
    LoaderUsbLink &usbLink() override { return *this; }
    OperatorPrompt &prompt() override { return operatorPrompt; }

    bool isOpen() const override { return open; }
    bool deviceLost() const override { return false; }
    void clearDeviceLost() override {}
    void selectUsb() override {}
    void openDevice() override {}
    void setPollSuspended(bool suspended) override { pollSuspended = suspended; }
    void stopResponseTimer() override {}
    void noteReconnected() override {}
    bool writeReport(QByteArrayView block) override
    {
        written << block.toByteArray();
        const QString answer = script.isEmpty() ? QStringLiteral("none") : script.takeFirst();
        m_answer = answer == QLatin1String("ack") ? kAckReport : answer.endsWith(QLatin1String("nak")) ? kNakReport : QByteArray();
        m_readsUntilAnswer = answer == QLatin1String("late-nak") ? 40 : 0;
        if (leaveOnGo && block.startsWith(loader::kGo))
            QTimer::singleShot(20, &serialPort, [this] { open = false; });
        if (leaveAfterWriteMs >= 0)
            QTimer::singleShot(leaveAfterWriteMs, &serialPort, [this] { open = false; });
        return true;
    }
    QByteArray readReport() override
    {
        if (!open)
            ++readsWhileGone;
        if (m_readsUntilAnswer-- > 0 || m_answer.isEmpty())
            return {};
        return std::exchange(m_answer, {});
    }

    SerialTransport serialPort;
    test::ScriptedPrompt operatorPrompt;
    QStringList script;
    QList<QByteArray> written;
    bool open = true;
    bool busyLink = false;
    bool pollSuspended = false;
    bool leaveOnGo = false; // the loader's device leaves once told to go
    LoaderComType comType = LoaderComType::Usb;
    bool applicationAnswers = true;
    int leaveAfterWriteMs = -1;
    int repeatStops = 0, loaderQueries = 0, versionRequests = 0, readsWhileGone = 0;
    mutable int linkChecks = 0;

private:
    QByteArray m_answer;
    int m_readsUntilAnswer = 0;
};

QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("reader.eud"));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path : QString();
}

QByteArray image(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + 3);
    return bytes;
}

} // namespace

class tst_FirmwareLoader : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void usbTransfer_data();
    void usbTransfer();
    void usbGo_data();
    void usbGo();
    void upgradeWaitsForTheLink();
    void outcome_data();
    void outcome();

private:
    // A captured USB loader with `bytes` as its file.
    void captureWith(FirmwareLoader &loader, const QByteArray &bytes);

    QTemporaryDir m_dir;
    std::unique_ptr<FakeHost> m_host;
};

void tst_FirmwareLoader::init()
{
    m_host = std::make_unique<FakeHost>();
}

void tst_FirmwareLoader::captureWith(FirmwareLoader &loader, const QByteArray &bytes)
{
    const QString path = writeFile(m_dir, bytes);
    QVERIFY(!path.isEmpty());
    loader.prepare(path, LoaderComType::Usb, UpgradeInterface::Usb);
    loader.begin();
    m_host->script = {QStringLiteral("ack")}; // the probe
    QTRY_VERIFY_WITH_TIMEOUT(loader.programAvailable(), kWaitMs);
    QVERIFY(!loader.busy());
    m_host->written.clear();
}

void tst_FirmwareLoader::usbTransfer_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QList<int>>("packets"); // the packet numbers sent, in order
    QTest::newRow("answered in time") << QStringList{"ack", "ack", "ack"} << QList<int>{0, 1, 2};
    // Read for the packet sent again, the late refusal would cost a third try.
    QTest::newRow("refusal after the exchange gave up")
        << QStringList{"late-nak", "ack", "ack", "ack"} << QList<int>{0, 0, 1, 2};
}

void tst_FirmwareLoader::usbTransfer()
{
    QFETCH(QStringList, answers);
    QFETCH(QList<int>, packets);
    FirmwareLoader loader(m_host->serialPort, *m_host, m_host->operatorPrompt, [this] { m_host->resetReader(); });
    const QByteArray bytes = image(3 * loader::kUsbDataBytes - 10);
    captureWith(loader, bytes);
    QSignalSpy busy(&loader, &FirmwareLoader::busyChanged);
    m_host->script = answers;
    loader.program();
    loader.capture(); // nothing while the transfer runs
    loader.go();
    QTRY_VERIFY_WITH_TIMEOUT(!loader.busy(), kWaitMs);
    QCOMPARE(busy.count(), 2);
    QCOMPARE(m_host->operatorPrompt.messages, QStringList{QStringLiteral("Firmware load complete.")});
    QCOMPARE(m_host->written.size(), packets.size());
    for (int i = 0; i < packets.size(); ++i)
        QCOMPARE(m_host->written[i], usbWritePacket(uint8_t(packets[i]), bytes, packets[i] * loader::kUsbDataBytes));
}

void tst_FirmwareLoader::usbGo_data()
{
    QTest::addColumn<int>("leaveMs"); // the loader's device leaves this long after the go report; -1 never
    QTest::newRow("the loader leaves") << 120;
    QTest::newRow("the loader stays and says nothing") << -1;
}

void tst_FirmwareLoader::usbGo()
{
    // The go report's exchange is a state: the loader is busy, and a second
    // go, a capture or "&Program" send nothing until it is over.
    QFETCH(int, leaveMs);
    FirmwareLoader loader(m_host->serialPort, *m_host, m_host->operatorPrompt, [this] { m_host->resetReader(); });
    captureWith(loader, image(100));
    QSignalSpy done(&loader, &FirmwareLoader::goDone);
    m_host->leaveAfterWriteMs = leaveMs;
    loader.go();
    QVERIFY(loader.busy());
    loader.go();
    loader.capture();
    loader.program();
    QCOMPARE(m_host->written, QList<QByteArray>{goCommand(LoaderFraming::Usb)});
    QVERIFY(done.wait(kWaitMs));
    // Gone is gone: no waiting out the 40 reads for an answer.
    QCOMPARE(m_host->readsWhileGone, 0);
    QVERIFY(!loader.busy());
    QVERIFY(!loader.programAvailable());
    // Once per showing.
    loader.go();
    QCOMPARE(done.count(), 2);
    QCOMPARE(m_host->written.size(), 1);
}

void tst_FirmwareLoader::upgradeWaitsForTheLink()
{
    // The loader query's answer decides the file type: the file is asked for
    // only once the link is idle, and a second start meanwhile is ignored.
    FirmwareUpgrade upgrade(*m_host);
    const QString path = writeFile(m_dir, image(10));
    QVERIFY(!path.isEmpty());
    QList<FirmwareFileRequest> requests;
    upgrade.chooseFile = [&](const FirmwareFileRequest &request) {
        requests << request;
        return path;
    };
    QSignalSpy ready(&upgrade, &FirmwareUpgrade::loaderReady);
    QSignalSpy finished(&upgrade, &FirmwareUpgrade::finished);
    m_host->busyLink = true;
    upgrade.start();
    upgrade.start();
    QCOMPARE(m_host->loaderQueries, 1);
    QCOMPARE(m_host->operatorPrompt.confirmations.size(), 1); // the warning
    QTRY_VERIFY_WITH_TIMEOUT(m_host->linkChecks > 5, kWaitMs);
    QVERIFY(requests.isEmpty());
    m_host->busyLink = false;
    QVERIFY(ready.wait(kWaitMs));
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].selectedFilter, 1);
    QCOMPARE(upgrade.loader().firmwarePath(), path);
    upgrade.start(); // the loader is the operator's now
    QCOMPARE(m_host->loaderQueries, 1);

    m_host->pollSuspended = true;
    upgrade.loaderLeft();
    QVERIFY(!m_host->pollSuspended);
    QCOMPARE(m_host->versionRequests, 1);
    // Once the version request's exchange is over.
    QVERIFY(finished.count() == 1 || finished.wait(kWaitMs));
}

void tst_FirmwareLoader::outcome_data()
{
    // "missing": the file at the choice; "gone": the file once captured;
    // "stop": the upgrade told to stop then; "serial": a serial loader
    QTest::addColumn<QString>("twist");
    QTest::addColumn<QStringList>("answers");     // the USB loader's, report by report
    QTest::addColumn<bool>("warningConfirmed");   // then "capture again?" is answered No
    QTest::addColumn<bool>("applicationAnswers"); // the version query after the go command
    QTest::addColumn<FirmwareOutcome>("outcome");
    const QStringList acks{"ack", "ack", "ack", "ack"}; // the probe and three packets
    QTest::newRow("succeeded") << "" << acks << true << true << FirmwareOutcome::Succeeded;
    // A refusal is the loader answering: it is there, and takes the image.
    QTest::newRow("capture probe refused")
        << "" << QStringList{"nak"} + acks.mid(1) << true << true << FirmwareOutcome::Succeeded;
    QTest::newRow("no application after the go") << "" << acks << true << false << FirmwareOutcome::NoApplication;
    QTest::newRow("packets refused") << "" << QStringList{"ack", "nak", "nak", "nak", "nak", "nak"} << true
                                     << true << FirmwareOutcome::LoaderRefused;
    QTest::newRow("no loader") << "" << QStringList{} << true << true << FirmwareOutcome::NoLoader;
    QTest::newRow("serial line fails") << "serial" << QStringList{} << true << true << FirmwareOutcome::LineLost;
    QTest::newRow("file missing") << "missing" << QStringList{} << true << true << FirmwareOutcome::RefusedFile;
    QTest::newRow("file gone before the transfer") << "gone" << acks << true << true << FirmwareOutcome::RefusedFile;
    QTest::newRow("stopped during the transfer") << "stop" << acks << true << true << FirmwareOutcome::Cancelled;
    QTest::newRow("warning declined") << "" << QStringList{} << false << true << FirmwareOutcome::Cancelled;
}

void tst_FirmwareLoader::outcome()
{
    QFETCH(QString, twist);
    QFETCH(QStringList, answers);
    QFETCH(bool, warningConfirmed);
    QFETCH(bool, applicationAnswers);
    QFETCH(FirmwareOutcome, outcome);
    m_host->comType = twist == QLatin1String("serial") ? LoaderComType::Serial : LoaderComType::Usb;
    m_host->script = answers;
    m_host->operatorPrompt.confirmAnswer = warningConfirmed;
    m_host->applicationAnswers = applicationAnswers;
    m_host->leaveOnGo = true;
    const QString path = twist == QLatin1String("missing") ? m_dir.filePath(QStringLiteral("none.eud"))
                                                           : writeFile(m_dir, image(3 * loader::kUsbDataBytes - 10));
    FirmwareUpgrade upgrade(*m_host);
    upgrade.unattended = true;
    upgrade.chooseFile = [&](const FirmwareFileRequest &) { return path; };
    connect(&upgrade, &FirmwareUpgrade::loaderReady, this, [this] { m_host->operatorPrompt.confirmAnswer = false; });
    connect(&upgrade.loader(), &FirmwareLoader::programAvailableChanged, this, [&](bool available) {
        if (available && twist == QLatin1String("gone"))
            QFile::remove(path);
        else if (available && twist == QLatin1String("stop"))
            upgrade.stop();
    });
    QSignalSpy finished(&upgrade, &FirmwareUpgrade::finished);
    upgrade.start();
    QVERIFY(finished.count() == 1 || finished.wait(kWaitMs));
    QCOMPARE(upgrade.outcome().outcome, outcome);
    QCOMPARE(upgrade.outcome().reason.isEmpty(), outcome == FirmwareOutcome::Succeeded);
    QCOMPARE(finished.count(), 1);
}

QTEST_GUILESS_MAIN(tst_FirmwareLoader)
#include "tst_firmwareloader.moc"
