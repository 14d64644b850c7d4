// The real vexa-sim on its pseudo-terminal, talked to through QSerialPort
// as the host program does.
#include <QtTest>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <csignal>

namespace {

constexpr int kStartMs = 20000;
constexpr int kWaitMs = 10000;

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

const QByteArray kVersion = hex("01 08 00 10 80 E0 79 86");
const QByteArray kVersionReply = hex("01 14 00 10 00 E0 07 04 07 01 34 30 30 30 31 32 33 00 D4 2B");
const QByteArray kSetup = hex("01 08 00 10 80 E7 7E 81");

// One vexa-sim process with its own port folder; stdout collected by line.
class SimRun
{
public:
    ~SimRun()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(kWaitMs))
                process.kill();
            process.waitForFinished(kWaitMs);
        }
    }

    bool start(const QStringList &arguments = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        process.setProcessEnvironment(environment);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] { collect(); });
        process.start(QStringLiteral(VEXA_SIM_PATH), QStringList{QStringLiteral("--trace")} + arguments);
        QDeadlineTimer deadline(kStartMs);
        while (!hasLine(QStringLiteral("port: "), true) && !deadline.hasExpired()) {
            if (process.state() == QProcess::NotRunning)
                return false;
            process.waitForReadyRead(100);
            collect();
        }
        for (const QString &line : std::as_const(lines))
            if (line.startsWith(QLatin1String("device: ")))
                device = line.mid(8);
        return !device.isEmpty();
    }

    void control(const QString &line) { process.write(line.toUtf8() + '\n'); }

    bool hasLine(const QString &text, bool prefix = false) const
    {
        for (const QString &line : lines)
            if (prefix ? line.startsWith(text) : line == text)
                return true;
        return false;
    }

    QString portEntry(const QString &port = QStringLiteral("COM1")) const
    {
        return config.path() + QStringLiteral("/Kestrune/VexaHost/ports/") + port;
    }

    QProcess process;
    QTemporaryDir config;
    QStringList lines;
    QString device;

private:
    void collect()
    {
        while (process.canReadLine())
            lines.append(QString::fromUtf8(process.readLine()).chopped(1));
    }
};

// The host's side of the line.
class Host
{
public:
    bool open(const QString &device, int rate)
    {
        port.setPortName(device);
        if (!port.open(QIODevice::ReadWrite))
            return false;
        QObject::connect(&port, &QSerialPort::readyRead, [this] {
            arrivals.append(clock.elapsed());
            received += port.readAll();
        });
        clock.start();
        return setRate(rate);
    }
    bool setRate(int rate) { return port.setBaudRate(rate); }
    void send(const QByteArray &bytes)
    {
        received.clear();
        arrivals.clear();
        clock.restart();
        port.write(bytes);
    }

    QSerialPort port;
    QByteArray received;
    QList<qint64> arrivals; // ms since the send, one per readyRead
    QElapsedTimer clock;
};

QString traced(const char *prefix, const QByteArray &bytes)
{
    QString text = QLatin1String(prefix);
    for (char b : bytes)
        text += QStringLiteral(" %1").arg(uint8_t(b), 2, 16, QLatin1Char('0')).toUpper();
    return text;
}

} // namespace

class tst_SimPty : public QObject
{
    Q_OBJECT

private slots:
    void versionAnsweredAndTraced();
    void wrongHostRateIsNotUnderstood_data();
    void wrongHostRateIsNotUnderstood();
    void portEntryLivesAsLongAsTheSimulator_data();
    void portEntryLivesAsLongAsTheSimulator();
    void staleEntryIsReplaced();
    void controlFaults_data();
    void controlFaults();
    void gapSplitsTheAnswer();
    void silenceLeavesTheRequestUnanswered();
    void baudCommandSwitchesAfterTheAnswer();
    void answersArePacedAtTheLineRate();
    void hostMayCloseAndReopen();
    void keepsRunningAfterEndOfInput();
    void unsolicitedBytesAtAWrongRateAreGarbled();
    void commandLine_data();
    void commandLine();
    void fieldAtStart_data();
    void fieldAtStart();
    void tagControlLines();
};

void tst_SimPty::versionAnsweredAndTraced()
{
    SimRun sim;
    QVERIFY(sim.start());
    Host host;
    QVERIFY2(host.open(sim.device, 38400), qPrintable(host.port.errorString()));
    host.send(kVersion);
    QTRY_COMPARE_WITH_TIMEOUT(host.received.toHex(' '), kVersionReply.toHex(' '), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("rx: 01 08 00 10 80 E0 79 86")), kWaitMs);
    QVERIFY(sim.hasLine(traced("tx:", kVersionReply)));
}

void tst_SimPty::wrongHostRateIsNotUnderstood_data()
{
    QTest::addColumn<int>("hostRate");
    QTest::newRow("9600") << 9600;
    QTest::newRow("19200") << 19200;
    QTest::newRow("57600") << 57600;
}

void tst_SimPty::wrongHostRateIsNotUnderstood()
{
    QFETCH(int, hostRate);
    SimRun sim;
    QVERIFY(sim.start());
    Host host;
    QVERIFY(host.open(sim.device, hostRate));
    host.send(kVersion);
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("discard: 01 08 00 10 80 E0 79 86"), true), kWaitMs);
    // The control line is handled after the bytes, so an answer would be queued by now.
    sim.control(QStringLiteral("state"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("ok state")), kWaitMs);
    QVERIFY(!sim.hasLine(QStringLiteral("tx:"), true));
    QVERIFY(sim.hasLine(QStringLiteral("state: "), true));
    QCoreApplication::processEvents();
    QVERIFY(host.received.isEmpty());

    // Back at the reader's rate, it is understood.
    QVERIFY(host.setRate(38400));
    host.send(kVersion);
    QTRY_COMPARE_WITH_TIMEOUT(host.received, kVersionReply, kWaitMs);
}

void tst_SimPty::portEntryLivesAsLongAsTheSimulator_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("SIGTERM") << "SIGTERM";
    QTest::newRow("SIGINT") << "SIGINT";
    QTest::newRow("quit") << "quit";
}

void tst_SimPty::portEntryLivesAsLongAsTheSimulator()
{
    QFETCH(QString, how);
    SimRun sim;
    QVERIFY(sim.start({QStringLiteral("--port"), QStringLiteral("COM3")}));
    QVERIFY(sim.hasLine(QStringLiteral("port: COM3")));
    const QFileInfo entry(sim.portEntry(QStringLiteral("COM3")));
    QVERIFY(entry.isSymLink());
    QCOMPARE(entry.symLinkTarget(), sim.device);

    if (how == QLatin1String("SIGTERM"))
        sim.process.terminate();
    else if (how == QLatin1String("SIGINT"))
        ::kill(pid_t(sim.process.processId()), SIGINT);
    else
        sim.control(QStringLiteral("quit"));
    QVERIFY(sim.process.waitForFinished(kWaitMs));
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
    QVERIFY(!QFileInfo(sim.portEntry(QStringLiteral("COM3"))).exists());
    QVERIFY(!QFileInfo(sim.portEntry(QStringLiteral("COM3"))).isSymLink());
}

void tst_SimPty::staleEntryIsReplaced()
{
    SimRun sim;
    QVERIFY(QDir().mkpath(QFileInfo(sim.portEntry()).path()));
    QVERIFY(QFile::link(QStringLiteral("/dev/null-gone"), sim.portEntry()));
    QVERIFY(sim.start());
    QCOMPARE(QFileInfo(sim.portEntry()).symLinkTarget(), sim.device);
    QByteArray errors;
    QTRY_VERIFY_WITH_TIMEOUT((errors += sim.process.readAllStandardError()).contains("warning: replacing"), kWaitMs);
}

void tst_SimPty::controlFaults_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("request"); // empty: nothing sent, the control writes
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("status") << "fault status 2 01" << kVersion << hex("01 09 00 10 02 E0 01 FB 04");
    QTest::newRow("status, tag error") << "fault status 01 0x12" << kSetup << hex("01 09 00 10 01 E7 12 EC 13");
    QTest::newRow("bad check")
        << "fault badcheck" << kVersion << hex("01 14 00 10 00 E0 07 04 07 01 34 30 30 30 31 32 33 00 2B 2B");
    QTest::newRow("stray") << "fault stray FF 00" << kVersion << hex("FF 00") + kVersionReply;
    QTest::newRow("unsolicited frame") << "frame E0 00 07 04" << QByteArray() << hex("01 0A 00 10 00 E0 07 04 F8 07");
    QTest::newRow("raw bytes") << "send 0D 0A 21" << QByteArray() << hex("0D 0A 21");
}

void tst_SimPty::controlFaults()
{
    QFETCH(QString, control);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expected);
    SimRun sim;
    QVERIFY(sim.start());
    Host host;
    QVERIFY(host.open(sim.device, 38400));
    host.send({});
    sim.control(control);
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("ok ") + control), kWaitMs);
    if (!request.isEmpty())
        host.send(request);
    QTRY_COMPARE_WITH_TIMEOUT(host.received.toHex(' '), expected.toHex(' '), kWaitMs);

    // Faults are used up: the next version request gets the plain answer.
    host.send(kVersion);
    QTRY_COMPARE_WITH_TIMEOUT(host.received, kVersionReply, kWaitMs);
}

void tst_SimPty::gapSplitsTheAnswer()
{
    SimRun sim;
    QVERIFY(sim.start());
    Host host;
    QVERIFY(host.open(sim.device, 38400));
    sim.control(QStringLiteral("fault gap 150"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("ok fault gap 150")), kWaitMs);
    host.send(kVersion);
    QTRY_COMPARE_WITH_TIMEOUT(host.received, kVersionReply, kWaitMs);
    // Some arrival after the first is at least the gap later.
    QVERIFY(host.arrivals.size() >= 2);
    QVERIFY2(host.arrivals.last() - host.arrivals.first() >= 140,
             qPrintable(QStringLiteral("%1 ms").arg(host.arrivals.last() - host.arrivals.first())));
}

void tst_SimPty::silenceLeavesTheRequestUnanswered()
{
    SimRun sim;
    QVERIFY(sim.start());
    Host host;
    QVERIFY(host.open(sim.device, 38400));
    sim.control(QStringLiteral("fault silent 2"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("ok fault silent 2")), kWaitMs);
    for (int i = 0; i < 2; ++i) {
        host.send(kVersion);
        QTRY_COMPARE_WITH_TIMEOUT(int(sim.lines.count(QStringLiteral("quiet: silent (fault)"))), i + 1, kWaitMs);
    }
    sim.control(QStringLiteral("state"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("ok state")), kWaitMs);
    QVERIFY(!sim.hasLine(QStringLiteral("tx:"), true));
    QVERIFY(host.received.isEmpty());
    host.send(kVersion);
    QTRY_COMPARE_WITH_TIMEOUT(host.received, kVersionReply, kWaitMs);
}

void tst_SimPty::baudCommandSwitchesAfterTheAnswer()
{
    SimRun sim;
    QVERIFY(sim.start());
    Host host;
    QVERIFY(host.open(sim.device, 38400));
    host.send(hex("01 0A 00 10 80 ED 0F 00 79 86")); // 19200
    QTRY_COMPARE_WITH_TIMEOUT(host.received.toHex(' '), hex("01 08 00 10 00 ED F4 0B").toHex(' '), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("rate: 19200")), kWaitMs);

    host.send(kSetup);
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("discard: 01 08 00 10 80 E7 7E 81"), true), kWaitMs);

    QVERIFY(host.setRate(19200));
    host.send(kSetup);
    QTRY_COMPARE_WITH_TIMEOUT(host.received.toHex(' '), hex("01 0D 00 10 00 E7 00 0D 01 00 00 F7 08").toHex(' '),
                              kWaitMs);
    QVERIFY(host.received.size() == 13); // nothing left over from the discarded request
}

void tst_SimPty::answersArePacedAtTheLineRate()
{
    SimRun sim;
    QVERIFY(sim.start({QStringLiteral("--baud"), QStringLiteral("9600")}));
    Host host;
    QVERIFY(host.open(sim.device, 9600));
    host.send(kVersion);
    QTRY_COMPARE_WITH_TIMEOUT(host.received, kVersionReply, kWaitMs);
    // 20 bytes of 10 bits at 9600 baud: 20.8 ms at the least.
    QVERIFY2(host.arrivals.last() >= 19, qPrintable(QStringLiteral("%1 ms").arg(host.arrivals.last())));

    // An inventory of the two ISO tags: the request's 9 bytes and the
    // answer's 26 cross the line (36.5 ms), and the 16 slots take 17.9 ms.
    host.send(hex("01 09 00 10 82 01 00 9B 64"));
    QTRY_COMPARE_WITH_TIMEOUT(host.received.size(), 26, kWaitMs);
    QVERIFY(sim.hasLine(QStringLiteral("air: 17857 us")));
    QVERIFY2(host.arrivals.last() >= 53, qPrintable(QStringLiteral("%1 ms").arg(host.arrivals.last())));
}

void tst_SimPty::hostMayCloseAndReopen()
{
    SimRun sim;
    QVERIFY(sim.start());
    for (int round = 0; round < 2; ++round) {
        Host host;
        QVERIFY(host.open(sim.device, 38400));
        host.send(kVersion);
        QTRY_COMPARE_WITH_TIMEOUT(host.received, kVersionReply, kWaitMs);
    }
    QCOMPARE(sim.process.state(), QProcess::Running);
}

void tst_SimPty::keepsRunningAfterEndOfInput()
{
    SimRun sim;
    QVERIFY(sim.start());
    sim.control(QStringLiteral("fault status 2 05"));
    sim.process.closeWriteChannel();
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("ok fault status 2 05")), kWaitMs);
    Host host;
    QVERIFY(host.open(sim.device, 38400));
    host.send(kVersion);
    QTRY_COMPARE_WITH_TIMEOUT(host.received.toHex(' '), hex("01 09 00 10 02 E0 05 FF 00").toHex(' '), kWaitMs);
    QCOMPARE(sim.process.state(), QProcess::Running);
}

void tst_SimPty::unsolicitedBytesAtAWrongRateAreGarbled()
{
    SimRun sim;
    QVERIFY(sim.start());
    Host host;
    QVERIFY(host.open(sim.device, 9600));
    host.send({});
    sim.control(QStringLiteral("frame E0 00 07 04"));
    QTRY_COMPARE_WITH_TIMEOUT(host.received.size(), 10, kWaitMs);
    QVERIFY(!host.received.contains(char(0x01)));
}

void tst_SimPty::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // expected in standard output

    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << "fault status <status> <code> [count]";
    QTest::newRow("bad rate") << QStringList{QStringLiteral("--baud"), QStringLiteral("115200")} << 2 << "";
    QTest::newRow("bad port") << QStringList{QStringLiteral("--port"), QStringLiteral("COM10")} << 2 << "";
    QTest::newRow("long serial") << QStringList{QStringLiteral("--serial"), QStringLiteral("123456789")} << 2 << "";
    QTest::newRow("bad firmware") << QStringList{QStringLiteral("--firmware"), QStringLiteral("4.7")} << 2 << "";
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--frob")} << 2 << "";
    QTest::newRow("help tells the tag lines") << QStringList{QStringLiteral("--help")} << 0
                                              << "tagit ADDRESS [mfr=HH] [version=HHHH] [lock=LIST]";
    QTest::newRow("missing tag file") << QStringList{QStringLiteral("--tags"), QStringLiteral("/nonexistent/x.tags")}
                                      << 2 << "";
    QTest::newRow("tags and no tags")
        << QStringList{QStringLiteral("--tags"), QStringLiteral(VEXA_TEST_DATA "/field.tags"), QStringLiteral("--no-tags")}
        << 2 << "";
}

void tst_SimPty::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QTemporaryDir config;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VEXA_SIM_PATH), arguments);
    QVERIFY(process.waitForFinished(kStartMs));
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY(process.readAllStandardOutput().contains(output.toUtf8()));
    QVERIFY(!QFileInfo::exists(config.path() + QStringLiteral("/Kestrune")));
}

void tst_SimPty::fieldAtStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("isoInventory");
    QTest::addColumn<QByteArray>("tagitInventory");
    QTest::addColumn<QByteArray>("readUid");

    const QByteArray noneIso = hex("01 0A 00 10 00 01 00 00 1A E5");
    const QByteArray noneTagit = hex("01 09 00 10 00 0D 00 15 EA");
    const QByteArray noCard = hex("01 09 00 10 02 40 01 5B A4");
    QTest::newRow("default tags")
        << QStringList{}
        << hex("01 1A 00 10 00 01 00 02 F2 93 6A 1C 50 01 04 E0 F7 E6 D5 C4 12 01 08 E0 51 AE")
        << hex("01 11 00 10 00 0D 02 37 01 A8 C0 41 9A 2E 5D F9 06")
        << hex("01 11 00 10 00 40 00 07 04 A2 C8 F2 1B 6E 80 2E D1");
    QTest::newRow("no tags") << QStringList{QStringLiteral("--no-tags")} << noneIso << noneTagit << noCard;
    QTest::newRow("tag file") << QStringList{QStringLiteral("--tags"), QStringLiteral(VEXA_TEST_DATA "/field.tags")}
                              << noneIso << hex("01 0D 00 10 00 0D 01 78 56 34 12 18 E7") << noCard;
}

void tst_SimPty::fieldAtStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, isoInventory);
    QFETCH(QByteArray, tagitInventory);
    QFETCH(QByteArray, readUid);
    SimRun sim;
    QVERIFY(sim.start(arguments));
    Host host;
    QVERIFY(host.open(sim.device, 38400));
    host.send(hex("01 09 00 10 82 01 00 9B 64"));
    QTRY_COMPARE_WITH_TIMEOUT(host.received.toHex(' '), isoInventory.toHex(' '), kWaitMs);
    host.send(hex("01 08 00 10 80 0D 94 6B"));
    QTRY_COMPARE_WITH_TIMEOUT(host.received.toHex(' '), tagitInventory.toHex(' '), kWaitMs);
    host.send(hex("01 09 00 10 80 40 00 D8 27"));
    QTRY_COMPARE_WITH_TIMEOUT(host.received.toHex(' '), readUid.toHex(' '), kWaitMs);
}

void tst_SimPty::tagControlLines()
{
    SimRun sim;
    QVERIFY(sim.start({QStringLiteral("--no-tags")}));
    Host host;
    QVERIFY(host.open(sim.device, 38400));
    const QString add = QStringLiteral("tag add tagit 12345678 mfr=07 lock=1");
    sim.control(add);
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("ok ") + add), kWaitMs);

    // Write Block 0 with 0xCAFEF00D, then the field shows what was written.
    host.send(hex("01 0D 00 10 80 03 00 0D F0 FE CA 56 A9"));
    QTRY_COMPARE_WITH_TIMEOUT(host.received.toHex(' '), hex("01 08 00 10 00 03 1A E5").toHex(' '), kWaitMs);
    sim.control(QStringLiteral("tag list"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("ok tag list")), kWaitMs);
    QVERIFY(sim.hasLine(QStringLiteral("tag: tagit 12345678 mfr=07 version=0000 lock=1 data=CAFEF00D")));

    sim.control(QStringLiteral("tag add tagit 12345678"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("error a tag with the id 12345678 is in the field already")),
                             kWaitMs);
    sim.control(QStringLiteral("tag add tagit 123"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("error tagit: the address takes 8 hexadecimal digits")),
                             kWaitMs);
    sim.control(QStringLiteral("tag remove 87654321"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("error no tag with the id 87654321")), kWaitMs);
    sim.control(QStringLiteral("tag remove 12345678"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("ok tag remove 12345678")), kWaitMs);
    host.send(hex("01 08 00 10 80 05 9C 63")); // Read Tag Version: nobody there
    QTRY_COMPARE_WITH_TIMEOUT(host.received.toHex(' '), hex("01 09 00 10 02 05 01 1E E1").toHex(' '), kWaitMs);

    sim.control(QStringLiteral("tag defaults"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("ok tag defaults")), kWaitMs);
    host.send(hex("01 09 00 10 80 40 00 D8 27"));
    QTRY_COMPARE_WITH_TIMEOUT(host.received.toHex(' '), hex("01 11 00 10 00 40 00 07 04 A2 C8 F2 1B 6E 80 2E D1").toHex(' '),
                              kWaitMs);
    sim.control(QStringLiteral("tag clear"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.hasLine(QStringLiteral("ok tag clear")), kWaitMs);
    host.send(hex("01 09 00 10 80 40 00 D8 27"));
    QTRY_COMPARE_WITH_TIMEOUT(host.received.toHex(' '), hex("01 09 00 10 02 40 01 5B A4").toHex(' '), kWaitMs);
}

QTEST_GUILESS_MAIN(tst_SimPty)
#include "tst_simpty.moc"
