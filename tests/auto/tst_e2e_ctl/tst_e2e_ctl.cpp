// vexactl against vexa-sim: the frames the simulator receives are the ones
// the window sends for the same options (the same hex as tst_e2e_tags),
// and the program's output and exit status say what came back.
#include <QtTest>
#include <QTemporaryDir>

#include <QJsonDocument>
#include <QRegularExpression>

#include <csignal>
#include <memory>
#include <sys/stat.h>

#include "core/loader/loaderprotocol.h"
#include "frames.h"
#include "simprocess.h"

using namespace vexa::test;

namespace {
constexpr int kRunMs = 20000;
const QString kIso4 = QStringLiteral("E00401501C6A93F2");
const QString kIso8 = QStringLiteral("E0080112C4D5E6F7");
const QString kIso8Wire = QStringLiteral("F7 E6 D5 C4 12 01 08 E0");
const QString kVersion = QStringLiteral("01 08 00 10 80 E0");

struct Run
{
    int exitCode = -1;
    QStringList out; // the time stamp of each heading and a tag event's ISO 8601 time replaced by "-"
    QString err;
};

Run runCtl(const QStringList &args, const QByteArray &input = {})
{
    QProcess process;
    process.start(QStringLiteral(VEXACTL_PATH), args);
    process.write(input);
    process.closeWriteChannel();
    Run run;
    if (!process.waitForFinished(kRunMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    static const QRegularExpression stamp(QStringLiteral("^ \\d\\d:\\d\\d:\\d\\d  - "));
    static const QRegularExpression time(QStringLiteral(R"("time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d")"));
    for (QString line : QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n')))
        run.out << line.replace(stamp, QStringLiteral("-")).replace(time, QStringLiteral(R"("time":"-")"));
    if (!run.out.isEmpty() && run.out.constLast().isEmpty())
        run.out.removeLast();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
} // namespace

class tst_E2eCtl : public QObject
{
    Q_OBJECT
private slots:
    void command_data();
    void command();
    void scriptStopsAtFailingLine();
    void isoOptionsLastForTheRun();
    void logOfARepeat();
    void stopDuringRepeat_data();
    void stopDuringRepeat();
    void portGoneDuringRepeat();
    void firmware_data();
    void firmware();
    void linksNoWidgets();
    void exitReasons_data();
    void exitReasons();
    void closedPipeEndsAsStop();
    void memoryJobs();
    void cleanupTestCase() { m_sim.reset(); }

private:
    std::unique_ptr<SimProcess> m_sim; // one simulator for every row of exitReasons
};

void tst_E2eCtl::command_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("wires"); // the requests without their checks
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("out"); // text lines, or one JSON object compared as an object
    QTest::addColumn<QString>("err");     // what standard error holds

    const QStringList com1{"--port", "COM1"};
    const QStringList usb{"--usb"};
    const QStringList serialSim, usbSim{"--usb"};
    const QStringList version{"- Reader Version: VexaIII", "    Serial number: 4000123",
                              "    4.07 -- Loaded Reader Version", ""};

    QTest::newRow("version") << serialSim << com1 + QStringList{"version"} << QStringList{kVersion} << 0 << version << "";
    QTest::newRow("raw version") << serialSim << com1 + QStringList{"raw", "00", "E0"} << QStringList{kVersion} << 0 << version
                                 << "";
    QTest::newRow("version over USB") << usbSim << usb + QStringList{"version"} << QStringList{kVersion} << 0 << version << "";
    QTest::newRow("inventory over USB, JSON")
        << usbSim << usb + QStringList{"iso15693", "inventory", "--json"} << QStringList{"01 09 00 10 82 01 00"} << 0
        << QStringList{QStringLiteral(R"({"command":"iso15693 inventory","status":"ok","statusByte":0,)"
                                      R"("heading":"ISO Inventory:","lines":["    #    UID    ","    01   %1",)"
                                      R"("    02   %2"],"tags":[{"uid":"%1"},{"uid":"%2"}]})")
                           .arg(kIso4, kIso8)}
        << "";
    const auto event = [](const char *kind, const QString &tag, int reads) {
        return QStringLiteral(R"({"event":"%1","family":"ISO/IEC 15693","tag":"%2","time":"-","reads":%3,"reader":"","port":"COM1"})")
            .arg(QLatin1String(kind), tag).arg(reads); };
    QTest::newRow("tag events of a repeat") << serialSim << com1 + QStringList{"--repeat", "3", "--events", "iso15693", "inventory"}
        << QStringList(3, "01 09 00 10 82 01 00") << 0
        << QStringList{event("arrive", kIso4, 1), event("read", kIso4, 1), event("arrive", kIso8, 1), event("read", kIso8, 1),
                       event("read", kIso4, 2), event("read", kIso8, 2), event("read", kIso4, 3), event("read", kIso8, 3)}
        << "3 exchanges, 3 answers, 0 errors, 0 time-outs, @rate per second\n";
    QTest::newRow("inventory by AFI")
        << serialSim << com1 + QStringList{"iso15693", "inventory", "--afi", "30"} << QStringList{"01 09 00 10 82 01 30"} << 0
        << QStringList{"- ISO Inventory:", "    #    UID    ", "    01   " + kIso8, ""} << "";
    QTest::newRow("write a block")
        << serialSim << com1 + QStringList{"iso15693", "write", "5", "11223344"} << QStringList{"01 0D 00 10 82 21 05 44 33 22 11"}
        << 0 << QStringList{"- Write Tag Block:", "    Block written", ""} << "";
    QTest::newRow("read by UID, JSON")
        << serialSim << com1 + QStringList{"iso15693", "read", "1", "--uid", kIso4.toLower(), "--json"}
        << QStringList{"01 11 00 10 92 20 F2 93 6A 1C 50 01 04 E0 01"} << 0
        << QStringList{QStringLiteral(R"({"command":"iso15693 read","status":"ok","statusByte":0,)"
                                      R"("heading":"Read Tag Block:","lines":["    Block Number: 1",)"
                                      R"("    Block Data: 20312E30"],"blocks":[{"block":1,"value":"20312E30"}],)"
                                      R"("tags":[{"uid":"%1","blocks":{"1":"20312E30"}}]})")
                           .arg(kIso4)}
        << "";
    QTest::newRow("write many blocks")
        << serialSim << com1 + QStringList{"iso15693", "write", "10", "1", "2", "abcdef01"}
        << QStringList{"01 16 00 10 82 24 0A 03 01 00 00 00 02 00 00 00 01 EF CD AB"} << 0
        << QStringList{"- Write Tag Multi-Block:", "    Block(s) written", ""} << "";
    QTest::newRow("security status")
        << serialSim << com1 + QStringList{"iso15693", "security", "5", "--count", "3"} << QStringList{"01 0A 00 10 82 2C 05 03"} << 0
        << QStringList{"- Read Tag Multi-Block Security Status:", "  Block    Status", "    05      Unlocked",
                       "    06      Unlocked", "    07      Unlocked", ""}
        << "";
    QTest::newRow("AFI write") << serialSim << com1 + QStringList{"iso15693", "afi", "write", "9a"}
                               << QStringList{"01 09 00 10 82 27 9A"} << 0 << QStringList{"- Write Tag AFI:", "    AFI written", ""}
                               << "";
    QTest::newRow("DSFID write by UID")
        << serialSim << com1 + QStringList{"iso15693", "dsfid", "write", "3f", "--uid", kIso8}
        << QStringList{"01 11 00 10 92 29 " + kIso8Wire + " 3F"} << 0
        << QStringList{"- Write Tag DSFID:", "    DSFID written", ""} << "";
    QTest::newRow("lock confirmed") << serialSim << com1 + QStringList{"iso15693", "lock", "6", "--yes"}
                                    << QStringList{"01 09 00 10 82 22 06"} << 0
                                    << QStringList{"- Lock Tag Block:", "    Block Locked", ""} << "";
    QTest::newRow("Tag-it write")
        << serialSim << com1 + QStringList{"tagit", "write", "2", "12345678"}
        << QStringList{"01 0D 00 10 80 03 02 78 56 34 12"} << 0
        << QStringList{"- Write Tag Block:", "    Block written", ""} << "";
    QTest::newRow("Tag-it multi-block write")
        << serialSim << com1 + QStringList{"tagit", "write", "4", "A", "B", "C"}
        << QStringList{"01 16 00 10 80 08 04 03 0A 00 00 00 0B 00 00 00 0C 00 00 00"} << 0
        << QStringList{"- Write Multi-Block:", "    Block(s) written", ""} << "";
    QTest::newRow("Tag-it version by address, JSON")
        << serialSim << com1 + QStringList{"tagit", "version", "--tag", "5d2e9a41", "--json"}
        << QStringList{"01 0C 00 10 90 05 41 9A 2E 5D"} << 0
        << QStringList{QStringLiteral(R"({"command":"tagit version","status":"ok","statusByte":0,)"
                                      R"("heading":"Read Transponder Details:","lines":[)"
                                      R"("    Transponder ID:      5D2E9A41 hex","    Manufacturer Number: 07",)"
                                      R"("    Version Number:      0101","    Number of blocks:    08",)"
                                      R"("    Bytes per block:     04"],"tags":[{"uid":"5D2E9A41"}],)"
                                      R"("tagitVersion":{"transponderId":"5D2E9A41","manufacturer":7,"version":257,)"
                                      R"("blockCount":8,"bytesPerBlock":4}})")}
        << "";
    QTest::newRow("ISO/IEC 14443-A UID")
        << serialSim << com1 + QStringList{"iso14443a", "uid"} << QStringList{"01 09 00 10 80 40 00"} << 0
        << QStringList{"- Read UID ISO 14443-A:", "    UID: 04A2C8F21B6E80", ""} << "";
    QTest::newRow("RF off") << serialSim << com1 + QStringList{"rf", "off"} << QStringList{"01 0A 00 10 80 ED 03 00"}
                            << 0 << QStringList{""} << "";
    QTest::newRow("Wiegand mode 3")
        << serialSim << com1 + QStringList{"wiegand", "3"} << QStringList{"01 0B 00 10 80 ED 0A 02 00"} << 0
        << QStringList{""} << "";
    QTest::newRow("activate LED")
        << serialSim << com1 + QStringList{"led", "green", "100"} << QStringList{"01 0C 00 10 80 EE 00 02 14 00"} << 0
        << QStringList{"- Activate Reader LED:", "    Command successful", ""} << "";
    const QStringList setupAfterBaud{"", "- Reader Setup:", "    Baud: 38400", "    LED ON", "    Audio ON",
                                     "    RF Transmitter ON", "    Wiegand mode OFF", ""};
    QTest::newRow("baud change, then the setup at the new rate")
        << serialSim << com1 + QStringList{"baud", "57600"}
        << QStringList{"01 0A 00 10 80 ED 11 00", "01 08 00 10 80 E7"} << 0 << setupAfterBaud << "";
    // "@sim" stands for the simulator's device path.
    QTest::newRow("baud change by device path") << serialSim << QStringList{"--device", "@sim", "baud", "57600"}
        << QStringList{"01 0A 00 10 80 ED 11 00", "01 08 00 10 80 E7"} << 0 << setupAfterBaud << "";
    QTest::newRow("audio time refused: 2") << serialSim << com1 + QStringList{"audio", "1.5"} << QStringList{} << 2
                                           << QStringList{} << "vexactl: MS takes a number from 0 to 327675.\n";
    // Exit statuses 1 to 4.
    QTest::newRow("reader error: 1")
        << serialSim << com1 + QStringList{"iso15693", "read", "28"} << QStringList{"01 09 00 10 82 20 1C"} << 1
        << QStringList{"- Read Tag Block:", "    Specified block not available", "", ""}
        << "vexactl: iso15693 read: the reader answered with error status 1: Specified block not available\n";
    QTest::newRow("lock not confirmed: 2")
        << serialSim << com1 + QStringList{"iso15693", "lock", "6"} << QStringList{} << 2 << QStringList{}
        << "vexactl: iso15693 lock: Locked blocks can not be 'Unlocked', continue? Not sent; give --yes to confirm.\n";
    QTest::newRow("33 blocks: 2") << serialSim << com1 + QStringList{"iso15693", "read", "0", "--count", "33"} << QStringList{}
                                  << 2 << QStringList{} << "vexactl: --count takes a number from 0 to 32.\n";
    QTest::newRow("no answer at another rate: 3")
        << serialSim << com1 + QStringList{"--baud", "9600", "--timeout", "500", "version"} << QStringList{} << 3
        << QStringList{"- Error: Message timeout"} << "vexactl: version: no answer: Message timeout\n";
    QTest::newRow("no such device: 4") << serialSim << QStringList{"--device", "/dev/vexactl-none", "version"} << QStringList{}
                                       << 4 << QStringList{} << "vexactl: /dev/vexactl-none: no such device.\n";
}

void tst_E2eCtl::command()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, args);
    QFETCH(QStringList, wires);
    QFETCH(int, exitCode);
    QFETCH(QStringList, out);
    QFETCH(QString, err);

    SimProcess sim;
    QVERIFY(sim.start(simArgs));
    if (simArgs.contains(QStringLiteral("--usb")))
        QTRY_VERIFY_WITH_TIMEOUT(!sim.output().filter(QRegularExpression(QStringLiteral("^usb: /"))).isEmpty(), 5000);
    args.replaceInStrings(QStringLiteral("@sim"), sim.device());
    const Run run = runCtl(args);
    QCOMPARE(QString(run.err).replace(QRegularExpression(QStringLiteral("[0-9.]+ per second")), "@rate per second"), err);
    QCOMPARE(run.exitCode, exitCode);
    if (!out.isEmpty() && out.constFirst().startsWith(QLatin1Char('{'))) {
        QCOMPARE(run.out.size(), out.size());
        for (qsizetype i = 0; i < out.size(); ++i)
            QCOMPARE(QJsonDocument::fromJson(run.out.at(i).toUtf8()), QJsonDocument::fromJson(out.at(i).toUtf8()));
    } else {
        QCOMPARE(run.out, out);
    }
    // The program has ended: whatever it sent is in the simulator's trace
    // (nothing-sent rows only give a stray frame a moment to show).
    QCOMPARE(sim.waitForRequests(std::max(1, int(wires.size())), wires.isEmpty() ? 500 : 10000), !wires.isEmpty());
    QStringList expected;
    for (const QString &wire : wires)
        expected << withCheck(wire);
    QCOMPARE(sim.requests(), expected);
}

void tst_E2eCtl::scriptStopsAtFailingLine()
{
    SimProcess sim;
    QVERIFY(sim.start());
    const QByteArray script = "# encode and check\n"
                              "\n"
                              "iso15693 write 5 11223344\n"
                              "iso15693 read 28\n"
                              "iso15693 read 5\n";
    const Run run = runCtl({"--port", "COM1", "--json", "run", "-"}, script);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QStringLiteral("vexactl: standard input:4: \"iso15693 read 28\" failed with exit status 1: "
                                     "the reader answered with error status 1: Specified block not available\n"));
    QCOMPARE(run.out.size(), 2);
    QVERIFY(sim.waitForRequests(2));
    QCOMPARE(sim.requests(), (QStringList{withCheck("01 0D 00 10 82 21 05 44 33 22 11"),
                                          withCheck("01 09 00 10 82 20 1C")}));
}

// iso-options lasts for the rest of its script and no further: the next
// run starts from the stored options again.
void tst_E2eCtl::isoOptionsLastForTheRun()
{
    SimProcess sim;
    QVERIFY(sim.start());
    const Run script = runCtl({"--port", "COM1", "run", "-"}, "iso15693 read 5\n"
                                                            "iso-options --speed slow --tx 10\n"
                                                            "iso15693 read 5\n");
    QCOMPARE(script.exitCode, 0);
    QVERIFY(script.out.contains(QStringLiteral("Read Speed: Slow")));
    const Run next = runCtl({"--port", "COM1", "iso15693", "read", "5"});
    QCOMPARE(next.exitCode, 0);
    QVERIFY(sim.waitForRequests(3));
    QCOMPARE(sim.requests(), (QStringList{withCheck("01 09 00 10 82 20 05"), withCheck("01 09 00 10 84 20 05"),
                                          withCheck("01 09 00 10 82 20 05")}));
}

void tst_E2eCtl::logOfARepeat()
{
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--no-tags")}));
    const QStringList uids{QStringLiteral("E00401501C6A93F2"), QStringLiteral("E004015000000001")};
    for (const QString &uid : uids)
        QVERIFY(sim.control(QStringLiteral("tag add iso15693 ") + uid));
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("tags.csv"));
    const Run run = runCtl({"--port", "COM1", "--repeat", "3", "--log", csv, "iso15693", "inventory"});
    QCOMPARE(run.exitCode, 0);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 1 + uids.size()); // the header, a row per tag
    for (const QString &uid : uids) {
        const QStringList fields = rows.filter(uid).value(0).split(QLatin1Char(','));
        QCOMPARE(fields.value(0), QStringLiteral("ISO/IEC 15693"));
        QCOMPARE(fields.value(4), QStringLiteral("3")); // read once per inventory
    }
    // A file that cannot be written is named, and the run says so.
    const Run refused = runCtl({"--port", "COM1", "--log", dir.filePath(QStringLiteral("no/such/tags.csv")), "iso15693", "inventory"});
    QCOMPARE(refused.exitCode, 2);
    QVERIFY2(refused.err.contains(QStringLiteral("no/such/tags.csv")), qPrintable(refused.err));
}

void tst_E2eCtl::stopDuringRepeat_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("Ctrl-C") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void tst_E2eCtl::stopDuringRepeat()
{
    QFETCH(int, signal);
    SimProcess sim;
    QVERIFY(sim.start());
    QProcess process;
    process.start(QStringLiteral(VEXACTL_PATH), {"--port", "COM1", "iso15693", "inventory", "--repeat", "forever"});
    QVERIFY(sim.waitForRequests(3));
    QCOMPARE(::kill(pid_t(process.processId()), signal), 0);
    QVERIFY(process.waitForFinished(kRunMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    const QRegularExpressionMatch summary =
        QRegularExpression(QStringLiteral("^(\\d+) exchanges, (\\d+) answers, 0 errors, 0 time-outs, [0-9.]+ per second\n$"))
            .match(err);
    QVERIFY2(summary.hasMatch(), qPrintable(err));
    // The exchange in flight was finished: every request has its answer.
    QCOMPARE(summary.captured(1), summary.captured(2));
    const int exchanges = summary.captured(1).toInt();
    QVERIFY(sim.waitForRequests(exchanges));
    QCOMPARE(sim.requests().size(), exchanges);
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).count(QStringLiteral("ISO Inventory:")), exchanges);
}

// The serial port goes while Repeat runs: the re-send fails, and the run
// ends with status 4 and what the port said, after its summary. (A USB
// reader that is away is waited for: Repeat goes on with time-outs.)
void tst_E2eCtl::portGoneDuringRepeat()
{
    SimProcess sim;
    QVERIFY(sim.start());
    QProcess process;
    process.start(QStringLiteral(VEXACTL_PATH), {"--port", "COM1", "--repeat", "forever", "iso15693", "inventory"});
    QVERIFY(sim.waitForRequests(3));
    sim.stop();
    QVERIFY(process.waitForFinished(kRunMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 4);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d+ exchanges, [^\n]*\nvexactl: iso15693 inventory: COM1 \\(/dev/pts/\\d+\\): "
                                               "the device has gone away\\.[^\n]*\n$")).match(err).hasMatch(), qPrintable(err));
}

void tst_E2eCtl::firmware_data()
{
    QTest::addColumn<bool>("usb");
    QTest::addColumn<QString>("fileName"); // "fifo:" or "folder:" before it: made so; "missing:": not made
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("faults"); // loader control lines before the run
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("lastError"); // the last line on standard error, %1 the file
    const QStringList yes{"--yes"};
    const QString notRead = QStringLiteral("vexactl: Cannot read the firmware file \"%1\": %2. Nothing was sent to the reader.");
    QTest::newRow("serial") << false << "reader.enc" << yes << QStringList{} << 0 << "Firmware load complete.";
    QTest::newRow("USB") << true << "reader.eud" << yes << QStringList{} << 0 << "Firmware load complete.";
    QTest::newRow("not confirmed") << false << "reader.enc" << QStringList{} << QStringList{} << 2
                                   << "vexactl: not upgraded; give --yes to confirm.";
    QTest::newRow("not a firmware file")
        << false << "reader.bin" << yes << QStringList{} << 2
        << "vexactl: %1: not a firmware file (Serial/Virtual Com reader (*.enc), USB HID reader (*.eud *.eum)).";
    QTest::newRow("missing") << false << "missing:reader.enc" << yes << QStringList{} << 2
                             << "vexactl: %1: no such file.";
    QTest::newRow("named pipe") << false << "fifo:reader.enc" << yes << QStringList{} << 2
                                << notRead.arg("%1", "it is a named pipe (FIFO), not a regular file");
    QTest::newRow("folder") << false << "folder:reader.eud" << yes << QStringList{} << 2
                            << notRead.arg("%1", "it is a folder, not a regular file");
    QTest::newRow("serial, packets refused")
        << false << "reader.enc" << yes << QStringList{"refuse 5"} << 5
        << "vexactl: not upgraded: The boot loader refused packet 00 five times in a row (Too many retries).";
    QTest::newRow("serial, answer lost")
        << false << "reader.enc" << yes << QStringList{"drop 1"} << 5
        << "vexactl: not upgraded: The boot loader did not answer packet 00 (Communication timeout).";
    QTest::newRow("USB, packets refused")
        << true << "reader.eud" << yes << QStringList{"refuse 5"} << 5
        << "vexactl: not upgraded: The boot loader refused packet 00 five times in a row (Too many retries).";
    // The new image loses the version questions of its first seconds;
    // asked again, it answers within the boot window.
    QTest::newRow("serial, the application boots for 2.5 s")
        << false << "reader.enc" << yes << QStringList{"boot 2500"} << 0 << "Firmware load complete.";
    QTest::newRow("USB, the application boots for 3 s")
        << true << "reader.eud" << yes << QStringList{"boot 3000"} << 0 << "Firmware load complete.";
}

void tst_E2eCtl::firmware()
{
    QFETCH(bool, usb);
    QFETCH(QString, fileName);
    QFETCH(QStringList, options);
    QFETCH(QStringList, faults);
    QFETCH(int, exitCode);
    QFETCH(QString, lastError);
    SimProcess sim;
    QVERIFY(sim.start(usb ? QStringList{"--usb"} : QStringList{}));
    if (usb)
        QTRY_VERIFY_WITH_TIMEOUT(!sim.output().filter(QRegularExpression(QStringLiteral("^usb: /"))).isEmpty(), 5000);
    for (const QString &fault : faults)
        QVERIFY(sim.control(QStringLiteral("loader ") + fault));
    QTemporaryDir dir;
    const QString kind = fileName.section(':', 0, -2);
    const QString path = dir.filePath(fileName.section(':', -1));
    QByteArray image;
    for (int i = 0; i < 3000; ++i)
        image.append(char((i * 7 + 3) & 0xFF));
    QFile file(path);
    if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == "folder")
        QVERIFY(QDir().mkdir(path));
    else if (kind.isEmpty())
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image) == image.size() && file.flush());

    sim.forgetTraffic();
    QProcess process;
    process.start(QStringLiteral(VEXACTL_PATH),
                  (usb ? QStringList{"--usb"} : QStringList{"--port", "COM1"}) + options + QStringList{"firmware", path});
    // The simulator's trace is read while the upgrade runs.
    QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, 60000);
    QCOMPARE(process.exitCode(), exitCode);
    const QStringList err = QString::fromUtf8(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    QVERIFY(!err.isEmpty());
    QCOMPARE(err.constLast(), QString(lastError).replace("%1", path));
    QVERIFY(sim.control(QStringLiteral("loader state")));
    const QStringList trace = sim.output();
    if (exitCode == 2) {
        // Refused before the port was opened: not a byte reached the reader.
        QVERIFY2(trace.filter(QRegularExpression(QStringLiteral("^(rx:|loader: (?!mode=off packets=0 ))"))).isEmpty(),
                 qPrintable(trace.join(QLatin1Char('\n'))));
        return;
    }
    // The loader is told to go also after a failure, as the window's "&Done"
    // does, and the go command leaves the port before the program ends.
    const qsizetype go = trace.indexOf(QRegularExpression(QStringLiteral("^loader: go, .*")));
    QVERIFY2(go >= 0, qPrintable(trace.join(QLatin1Char('\n'))));
    if (exitCode != 0)
        return;
    const QByteArray padded = vexa::paddedImage(image, usb ? vexa::LoaderFraming::Usb : vexa::LoaderFraming::Serial);
    const QString sha = QCryptographicHash::hash(padded, QCryptographicHash::Sha256).toHex();
    const QString state = trace.filter(QStringLiteral("loader: mode=")).value(0);
    QVERIFY2(state.contains(QStringLiteral("started-sha256=") + sha), qPrintable(state));
    // Then the application answered the version query.
    const QRegularExpression versionAnswer(QStringLiteral("^tx: 01 [0-9A-F]{2} 00 [0-9A-F]{2} 00 E0 .*"));
    QVERIFY2(trace.indexOf(versionAnswer, go) > go, qPrintable(trace.mid(go).join(QLatin1Char('\n'))));
    // A booting application heard nothing: the answer came to a later question.
    const qsizetype lost = trace.indexOf(QRegularExpression(QStringLiteral("^discard:.*\\(the application is starting\\)$")), go);
    QCOMPARE(lost > go && lost < trace.indexOf(versionAnswer, go), !faults.filter(QStringLiteral("boot")).isEmpty());
}

void tst_E2eCtl::linksNoWidgets()
{
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(VEXACTL_PATH)});
    QVERIFY(ldd.waitForFinished(kRunMs));
    const QString libraries = QString::fromLocal8Bit(ldd.readAllStandardOutput());
    QVERIFY(libraries.contains(QStringLiteral("libQt6Core")));
    QVERIFY2(!libraries.contains(QStringLiteral("libQt6Widgets")), qPrintable(libraries));
    QVERIFY2(!libraries.contains(QStringLiteral("libQt6Gui")), qPrintable(libraries));
}

// The ways to a non-zero exit that the command rows leave out: each says
// why on one line starting "vexactl: ", nothing raw reaches the terminal.
void tst_E2eCtl::exitReasons_data()
{
    QTest::addColumn<QString>("fault"); // a control line for the simulator first
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason"); // a part of the reason line
    const QStringList com1{"--port", "COM1"};
    QTest::newRow("usage, escaped") << "" << QStringList{"wiegand", "\x1b]0;owned\x07"} << QByteArray() << 2
                                    << "no mode \"\\x1b]0;owned\\x07\"";
    QTest::newRow("usage, its usage line below") << "" << QStringList{"iso-options", "--speed", "warp"} << QByteArray() << 2
                                                 << "--speed takes";
    QTest::newRow("reader errors in a repeat") << "fault status 01 10 2" << com1 + QStringList{"--repeat", "2", "version"}
                                               << QByteArray() << 1 << "version: the reader answered with error status 1: "
                                                                       "Specified block not available";
    QTest::newRow("bad answer") << "fault badcheck" << com1 + QStringList{"version"} << QByteArray() << 3
                                << "version: bad answer: no valid answer";
    QTest::newRow("no USB reader") << "" << QStringList{"--usb", "version"} << QByteArray() << 4 << "USB";
    QTest::newRow("log not written") << "" << com1 + QStringList{"--log", "/vexactl-none/t.csv", "version"} << QByteArray()
                                     << 2 << "tag log could not be written to /vexactl-none/t.csv";
    QTest::newRow("script unreadable") << "" << com1 + QStringList{"run", "/vexactl-none"} << QByteArray() << 2
                                       << "/vexactl-none: ";
    QTest::newRow("script line, escaped and cut at 80")
        << "" << com1 + QStringList{"run", "-"} << QByteArray("version\nwiegand \x1b[2J") + '\0' + QByteArray(100, 'A') + '\n'
        << 2 << "standard input:2: \"wiegand \\x1b[2J\\x00" + QString(61, QLatin1Char('A')) + "...\" failed with exit status 2";
    const QString w80(80, QLatin1Char('w'));
    QTest::newRow("a word of 1 MiB in a script, cut") << "" << com1 + QStringList{"run", "-"} << QByteArray(1 << 20, 'w') + '\n' << 2
                                                      << "\" failed with exit status 2: Unknown command \"" + w80 + "...\"; see";
}

void tst_E2eCtl::exitReasons()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    if (!m_sim) {
        m_sim = std::make_unique<SimProcess>();
        QVERIFY(m_sim->start());
    }
    QVERIFY(m_sim->control(fault.isEmpty() ? QStringLiteral("fault clear") : fault));
    const Run run = runCtl(args, input);
    QCOMPARE(run.exitCode, exitCode);
    const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList reasons = lines.filter(QRegularExpression(QStringLiteral("^vexactl: ")));
    QVERIFY2(reasons.size() == 1 && reasons.constFirst().contains(reason), qPrintable(run.err));
    // Besides the reason: a usage line or the summary of a repeat.
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^(vexactl: |Usage: |\\d+ exchanges, )"))), lines);
    QVERIFY(!run.err.contains(QChar(0x1B)) && !run.err.contains(QChar(0)) && run.err.size() < 1000);
}

// `vexactl ... | head -n 1`: the reader of the pipe exits after one line,
// and the run ends as on SIGTERM, with its log, its summary and status 0.
void tst_E2eCtl::closedPipeEndsAsStop()
{
    SimProcess sim;
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("tags.csv")), err = dir.filePath(QStringLiteral("err"));
    QProcess shell;
    shell.start(QStringLiteral("sh"), {"-c", R"({ "$0" --port COM1 --repeat forever --log "$1" iso15693 inventory 2>"$2"; )"
                                             R"(echo "status $?" >>"$2"; } | head -n 1)",
                                       QStringLiteral(VEXACTL_PATH), csv, err});
    QVERIFY(shell.waitForFinished(kRunMs));
    QVERIFY(shell.readAllStandardOutput().contains("ISO Inventory:"));
    QFile errFile(err);
    QVERIFY(errFile.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(errFile.readAll());
    const QRegularExpressionMatch summary = QRegularExpression(QStringLiteral(
        "^(\\d+) exchanges, (\\d+) answers, 0 errors, 0 time-outs, [0-9.]+ per second\nstatus 0\n$")).match(text);
    QVERIFY2(summary.hasMatch(), qPrintable(text));
    QCOMPARE(summary.captured(1), summary.captured(2)); // the exchange in flight was finished
    QFile log(csv);
    QVERIFY(log.open(QIODevice::ReadOnly) && log.readAll().contains(kIso4.toLatin1()));
}


// A tag's memory as a whole, one flow on one simulator: dump, change,
// verify, restore (a locked block skipped), a dump of another tag refused,
// NDEF written and read back, a message too long refused unwritten, one
// that fills a tag written; the same round for a Tag-it.
void tst_E2eCtl::memoryJobs()
{
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--no-tags")}));
    QVERIFY(sim.control(QStringLiteral("tag add iso15693 E004A00112345678 blocks=16 lock=5 data=11223344,55667788")));
    QTemporaryDir dir;
    const QString dump = dir.filePath(QStringLiteral("tag.json"));
    const QStringList com1{"--port", "COM1", "--fast"};
    const auto ctl = [&](const QStringList &args) { return runCtl(com1 + args); };
    // A control line's "ok" follows every trace line before it.
    const auto forgetTraffic = [&] { return sim.control(QStringLiteral("tag list")) && (sim.forgetTraffic(), true); };
    const auto writeFrames = [&] {
        return sim.requests().filter(QRegularExpression(QStringLiteral("^01 .. 00 10 .. 21 "))).size();
    };
    QCOMPARE(ctl({"iso15693", "dump", "--out", dump}).exitCode, 0);
    QFile file(dump);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray json = file.readAll();
    const auto variant = [&](const char *name, const QByteArray &from, const QByteArray &to) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile out(path);
        return out.open(QIODevice::WriteOnly) && out.write(QByteArray(json).replace(from, to)) > 0 ? path : QString();
    };
    QCOMPARE(ctl({"iso15693", "write", "0", "AABBCCDD"}).exitCode, 0);
    QCOMPARE(ctl({"iso15693", "write", "9", "01020304"}).exitCode, 0);

    Run run = ctl({"iso15693", "verify", dump});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.contains(QStringLiteral("Differing: blocks 0, 9")));
    run = ctl({"iso15693", "restore", variant("locked.json", "\"5\": \"00000000\"", "\"5\": \"01010101\"")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.contains(QStringLiteral("Written: blocks 0, 9")));
    QVERIFY(run.out.contains(QStringLiteral("Skipped (locked): blocks 5")));
    QCOMPARE(ctl({"iso15693", "verify", dump}).exitCode, 0);

    QVERIFY(forgetTraffic());
    run = ctl({"iso15693", "restore", variant("other.json", "7856341201A004E0", "7856341299A004E0")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QStringLiteral("UID")), qPrintable(run.err));
    QVERIFY(sim.control(QStringLiteral("tag list")));
    QCOMPARE(writeFrames(), 0);

    QCOMPARE(ctl({"iso15693", "ndef", "write", "--uri", "https://e.io/a", "--format"}).exitCode, 0);
    run = ctl({"iso15693", "ndef", "read"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.filter(QStringLiteral("https://e.io/a")).size() == 1);
    QCOMPARE(ctl({"iso15693", "ndef", "write", "--text", "hallo", "--lang", "de"}).exitCode, 0);
    run = ctl({"--json", "iso15693", "ndef", "read"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.constFirst().contains(QStringLiteral("hallo")));

    QVERIFY(forgetTraffic());
    run = ctl({"iso15693", "ndef", "write", "--uri", "https://e.io/" + QString(80, QLatin1Char('x'))});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(sim.control(QStringLiteral("tag list")));
    QVERIFY(!sim.requests().isEmpty());
    QCOMPARE(writeFrames(), 0);

    // A 245-byte message on a fresh 256-byte tag: with its TLV header and
    // terminator it takes 248 of the 252 bytes after the CC.
    const QStringList big{"--uid", "E004A00155555555"};
    QVERIFY(sim.control(QStringLiteral("tag add iso15693 E004A00155555555 kind=iso-64x4")));
    QCOMPARE(ctl(QStringList{"iso15693", "ndef", "write", "--text", QString(238, 'n'), "--format"} + big).exitCode, 0);
    run = ctl(QStringList{"iso15693", "ndef", "read"} + big);
    QVERIFY2(run.out.filter(QString(238, 'n')).size() == 1, qPrintable(run.out.join('\n')));

    // Tag-it: the one in the field, by inventory.
    QVERIFY(sim.control(QStringLiteral("tag add tagit 12345678 lock=3 data=01020304")));
    const QString tagit = dir.filePath(QStringLiteral("tagit.json"));
    QCOMPARE(ctl({"tagit", "dump", "--out", tagit}).exitCode, 0);
    QCOMPARE(ctl({"tagit", "write", "2", "99999999"}).exitCode, 0);
    run = ctl({"tagit", "verify", tagit});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.contains(QStringLiteral("Differing: blocks 2")));
    QCOMPARE(ctl({"tagit", "restore", tagit}).exitCode, 0);
    QCOMPARE(ctl({"tagit", "verify", tagit}).exitCode, 0);
}

QTEST_GUILESS_MAIN(tst_E2eCtl)
#include "tst_e2e_ctl.moc"
