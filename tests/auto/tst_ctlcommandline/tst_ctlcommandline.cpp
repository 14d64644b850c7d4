// vexactl's command line: what it refuses (and with which words), how the
// arguments fill in the pages' requests, and what a script line holds.
#include <QtTest>

#include "core/codecs/iso14443.h"
#include "core/codecs/management.h"
#include "ctl/commandline.h"
#include "ctl/output.h"
#include "ctl/terminal.h"
#include "frames.h"

using namespace vexa;
using namespace vexa::ctl;
using vexa::test::answerFrame;
using vexa::test::hex;

class tst_CtlCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void refused_data();
    void refused();
    void fieldLimits_data();
    void fieldLimits();
    void requests_data();
    void requests();
    void isoOptions_data();
    void isoOptions();
    void decodedFields_data();
    void decodedFields();
    void scriptLines_data();
    void scriptLines();
    void judgedAnswers_data();
    void judgedAnswers();
    void printable_data();
    void printable();
};

void tst_CtlCommandLine::refused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::newRow("nothing") << QStringList{} << "No command given; see vexactl --help.";
    QTest::newRow("unknown command") << QStringList{"iso15693", "erase"}
                                     << "Unknown command \"iso15693 erase\"; see vexactl --help.";
    QTest::newRow("unknown option") << QStringList{"--verbose", "version"} << "Unknown option --verbose.";
    QTest::newRow("value missing") << QStringList{"version", "--port"} << "--port needs a value.";
    QTest::newRow("port out of range") << QStringList{"--port", "COM9", "version"} << "--port takes COM1 to COM8.";
    QTest::newRow("port and USB") << QStringList{"--port", "COM1", "--usb", "version"}
                                  << "--port, --device and --usb choose the interface: give one of them.";
    QTest::newRow("rate unknown") << QStringList{"--baud", "115200", "version"}
                                  << "--baud takes 9600, 19200, 38400 or 57600.";
    QTest::newRow("time-out within the gap") << QStringList{"--timeout", "100", "version"}
                                             << "--timeout takes milliseconds from 200 to 600000.";
    QTest::newRow("repeat zero") << QStringList{"--repeat", "0", "version"}
                                 << "--repeat takes a number of exchanges or \"forever\".";
    QTest::newRow("events of one answer") << QStringList{"--events", "iso15693", "inventory"} << "--events needs --repeat.";
    QTest::newRow("absence without events") << QStringList{"--repeat", "3", "--absence", "100", "iso15693", "inventory"}
                                            << "--absence needs --events.";
    QTest::newRow("absence of 0 ms") << QStringList{"--repeat", "3", "--events", "--absence", "0", "iso15693", "inventory"}
                                     << "--absence takes milliseconds from 1 to 3600000.";
    QTest::newRow("too few arguments") << QStringList{"iso15693", "read"}
                                       << "Usage: vexactl [OPTIONS] iso15693 read BLOCK [--count COUNT] [--uid UID]";
    QTest::newRow("option of another command") << QStringList{"version", "--uid", "E0"} << "version takes no --uid.";
    QTest::newRow("AFI of one digit") << QStringList{"iso15693", "inventory", "--afi", "3"}
                                      << "--afi takes two hexadecimal digits: the family, then the subcategory.";
    QTest::newRow("raw byte of three digits") << QStringList{"raw", "00", "E00"}
                                              << "raw: \"E00\" is not a byte of two hexadecimal digits.";
    QTest::newRow("RF neither on nor off") << QStringList{"rf", "1"} << "rf takes \"on\" or \"off\".";
    QTest::newRow("Wiegand mode past the list") << QStringList{"wiegand", "10"}
                                                << "wiegand: no mode \"10\"; see vexactl wiegand --help.";
    QTest::newRow("ISO option of another command") << QStringList{"--speed", "slow", "version"}
                                                   << "version takes no --speed.";
    QTest::newRow("ISO option value unknown")
        << QStringList{"iso-options", "--tx", "50"}
        << "iso-options: --tx takes 100 or 10.\nUsage: vexactl [OPTIONS] iso-options [--downlink 1of4|1of256] "
           "[--speed fast|slow] [--tx 100|10] [--rx fsk|ask] [--block-length 32|64]";
    QTest::newRow("nine Tag-it blocks") << QStringList{"tagit", "write", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}
                                        << "At most 8 blocks are written at once.";
    const QString forGood = "--locks, --afi and --dsfid change the tag for good: give --yes as well.";
    QTest::newRow("restore's locks unconfirmed") << QStringList{"iso15693", "restore", "t.json", "--locks"} << forGood;
    QTest::newRow("restore's --afi takes no value") << QStringList{"iso15693", "restore", "--afi", "t.json"} << forGood;
    QTest::newRow("Tag-it restore, no AFI") << QStringList{"tagit", "restore", "t.json", "--afi", "30"}
                                            << "tagit restore takes no --afi.";
    QTest::newRow("dump repeated") << QStringList{"--repeat", "2", "iso15693", "dump"}
                                   << "iso15693 dump takes no --repeat.";
    QTest::newRow("dump to a text file") << QStringList{"iso15693", "dump", "--out", "t.txt"}
                                         << "--out takes a file name ending in .json or .bin.";
    QTest::newRow("dump of a short UID") << QStringList{"iso15693", "dump", "--uid", "E004"}
                                         << "--uid takes 16 hexadecimal digits.";
    QTest::newRow("NDEF write of nothing") << QStringList{"iso15693", "ndef", "write", "--format"}
                                           << "iso15693 ndef write takes --uri or --text.";
    // Whatever the operator typed is quoted cut after 80 characters, never whole.
    const QString huge(1 << 20, QLatin1Char('A')), cut = QString(80, QLatin1Char('A')) + "...";
    QTest::newRow("a word of 1 MiB") << QStringList{huge} << "Unknown command \"" + cut + "\"; see vexactl --help.";
    QTest::newRow("an option of 1 MiB") << QStringList{"--" + huge, "version"} << "Unknown option --" + cut + ".";
    QTest::newRow("a mode of 1 MiB") << QStringList{"wiegand", huge} << "wiegand: no mode \"" + cut + "\"; see vexactl wiegand --help.";
    QTest::newRow("a plain of 1 MiB") << QStringList{"encryption", "default", huge} << "encryption: \"" + cut + "\" is not \"plain\".";
    QTest::newRow("a byte of 1 MiB") << QStringList{"raw", "00", huge} << "raw: \"" + cut + "\" is not a byte of two hexadecimal digits.";
    QTest::newRow("a KEY of 1 MiB") << QStringList{"encryption", "Z" + huge} << "KEY: \"Z" + cut.mid(1) + "\" is not a hexadecimal number.";
    QTest::newRow("NDEF language of a URI") << QStringList{"iso15693", "ndef", "write", "--uri", "a:b", "--lang", "en"}
                                            << "--lang goes with --text.";
}

void tst_CtlCommandLine::refused()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    const Parsed parsed = parseCommandLine(args);
    QCOMPARE(parsed.error, error);
    QVERIFY(!parsed.invocation.action);
}

// Every value of every command against its field's limits: the longest
// accepted, one digit more and numbers out of range refused, naming the
// value and the limit. "%1" in a command is where the value goes.
void tst_CtlCommandLine::fieldLimits_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error"); // empty: accepted
    // Commands, the longest value, then refused values each with its message.
    const auto field = [](const QStringList &commands, const QString &longest, const QStringList &refused) {
        for (const QString &command : commands)
            for (qsizetype i = -2; i < refused.size(); i += 2) {
                const QString value = i < 0 ? longest : refused.at(i), error = i < 0 ? QString() : refused.at(i + 1);
                const QString shown = value.size() > 20 ? QString("%1 values").arg(value.count(' ') + 1) : value;
                QTest::addRow("%s", qPrintable(command.arg(shown))) << command.arg(value).split(' ') << error;
            }
    };
    const QString uid = "E00401501C6A93F2", tooLong8 = "100000000", notAfi = "two hexadecimal digits: the family, "
                                                                         "then the subcategory.";
    field({"iso15693 read 0 --uid %1", "iso15693 write 0 00 --uid %1", "iso15693 lock 0 --uid %1",
           "iso15693 sysinfo --uid %1", "iso15693 security 0 --uid %1", "iso15693 afi write 00 --uid %1",
           "iso15693 afi lock --uid %1", "iso15693 dsfid write 00 --uid %1", "iso15693 dsfid lock --uid %1"},
          uid, {uid + "0", "--uid takes at most 16 hexadecimal digits.",
                "E0G4", "--uid: \"E0G4\" is not a hexadecimal number."});
    field({"iso15693 read %1", "iso15693 write %1 00", "iso15693 lock %1", "iso15693 security %1"}, "255",
          {"256", "BLOCK takes a number from 0 to 255.", "0255", "BLOCK takes a number of at most 3 digits."});
    field({"iso15693 read 0 --count %1"}, "32", {"33", "--count takes a number from 0 to 32."});
    field({"iso15693 security 0 --count %1"}, "255", {"256", "--count takes a number from 0 to 255."});
    // One DATA may fill an 8-byte block; several travel in 4 bytes each.
    field({"iso15693 write 0 %1"}, uid, {uid + "0", "DATA takes at most 16 hexadecimal digits."});
    field({"iso15693 write 0 00 %1"}, "FFFFFFFF", {tooLong8, "DATA takes at most 8 hexadecimal digits."});
    field({"iso15693 dsfid write %1"}, "FF", {"100", "DSFID takes at most 2 hexadecimal digits."});
    field({"iso15693 inventory --afi %1"}, "FF", {"100", "--afi takes " + notAfi, "9G", "--afi takes " + notAfi});
    field({"iso15693 afi write %1"}, "FF", {"100", "The AFI takes " + notAfi});
    field({"tagit version --tag %1", "tagit read 0 --tag %1", "tagit write 0 00 --tag %1", "tagit lock 0 --tag %1",
           "tagit write-lock 0 00 --tag %1"},
          "FFFFFFFF", {tooLong8, "--tag takes at most 8 hexadecimal digits.", "", "--tag needs a value."});
    field({"tagit read %1", "tagit write %1 00", "tagit lock %1", "tagit write-lock %1 00", "tagit sid %1"}, "7",
          {"8", "BLOCK takes a number from 0 to 7.", "07", "BLOCK takes a number of at most 1 digit."});
    field({"tagit read 0 --count %1", "tagit lock 0 --count %1", "tagit sid 0 --count %1"}, "8",
          {"9", "--count takes a number from 0 to 8."});
    field({"tagit write 0 %1", "tagit write 0 00 %1", "tagit write-lock 0 %1"}, "FFFFFFFF",
          {tooLong8, "DATA takes at most 8 hexadecimal digits."});
    field({"encryption %1", "encryption %1 plain"}, uid, {uid + "0", "KEY takes at most 16 hexadecimal digits."});
    field({"led amber %1", "audio %1"}, "327675",
          {"327680", "MS takes a number from 0 to 327675.", "-5", "MS takes a number from 0 to 327675."});
    field({"--address %1 version"}, "4000123", {"40001234", "--address takes at most 7 characters."});
    const auto values = [](int count) { return QStringList(count, "00").join(' '); };
    field({"iso15693 write 0 %1"}, values(47), {values(48), "iso15693 write takes at most 47 DATA values."});
    field({"iso15693 write 0 %1 --uid 00"}, values(45),
          {values(46), "iso15693 write takes at most 45 DATA values with --uid."});
}

void tst_CtlCommandLine::fieldLimits()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    const Parsed parsed = parseCommandLine(args);
    QCOMPARE(parsed.error, error);
    QCOMPARE(parsed.invocation.action.has_value(), error.isEmpty());
}

// The request is checked through the frame it builds: that is what the
// reader gets, and the window builds the same from the same fields.
void tst_CtlCommandLine::requests_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("frame"); // without the check
    QTest::newRow("inventory, AFI in lower case") << QStringList{"iso15693", "inventory", "--afi", "9a"}
                                                  << "01 09 00 10 22 01 9A";
    QTest::newRow("read becomes multi-block with --count") << QStringList{"iso15693", "read", "3", "--count", "2"}
                                                           << "01 0A 00 10 22 23 03 02";
    QTest::newRow("one DATA writes one block") << QStringList{"iso15693", "write", "1", "0A0B0C0D"}
                                               << "01 0D 00 10 22 21 01 0D 0C 0B 0A";
    QTest::newRow("options before the command") << QStringList{"--uid", "E00401501C6A93F2", "iso15693", "sysinfo"}
                                                << "01 10 00 10 32 2B F2 93 6A 1C 50 01 04 E0";
    QTest::newRow("Tag-it lock of --count blocks") << QStringList{"tagit", "lock", "2", "--count", "3"}
                                                   << "01 0A 00 10 00 09 02 03";
    QTest::newRow("Tag-it SID of --count blocks") << QStringList{"tagit", "sid", "0", "--count", "2"}
                                                  << "01 0A 00 10 00 0B 00 02";
}

void tst_CtlCommandLine::requests()
{
    QFETCH(QStringList, args);
    QFETCH(QString, frame);
    const Parsed parsed = parseCommandLine(args);
    QCOMPARE(parsed.error, QString());
    QVERIFY(parsed.invocation.action);
    const Action &action = *parsed.invocation.action;
    CommandBuffer buffer{};
    int length = 0;
    if (action.kind == Action::Kind::Iso15693) {
        const auto built = iso15693::build(action.iso, buffer);
        QVERIFY(built.ok());
        length = built.length;
    } else {
        QCOMPARE(action.kind, Action::Kind::Tagit);
        const auto built = tagit::build(action.tagit, buffer);
        QVERIFY(built.ok());
        length = built.length;
    }
    const QByteArray bytes(reinterpret_cast<const char *>(buffer.data()), length - 2);
    QCOMPARE(QString::fromLatin1(bytes.toHex(' ').toUpper()), frame);
}

// Only the lists named change; the bits above the four and the lists not
// named stay as the session had them.
void tst_CtlCommandLine::isoOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("isoConfig");
    QTest::addColumn<int>("blockLength");
    QTest::addColumn<QStringList>("lines");
    const auto row = [](const char *name, QStringList args, int config, int length, QStringList lines = {}) {
        QTest::newRow(name) << (QStringList{"iso-options"} + args) << config << length << lines;
    };
    row("nothing named", {}, 0xF2, 0, {"Downlink Mode: 1 of 256", "Read Speed: Fast", "Tx Modulation: 100%",
                                      "Rx Modulation: FSK", "Block Length: 32 Bits"});
    row("all the second items", {"--downlink", "1of256", "--speed", "slow", "--tx", "10", "--rx", "ask",
                                 "--block-length", "64"},
        0xFC, 1, {"Downlink Mode: 1 of 256", "Read Speed: Slow", "Tx Modulation: 10%", "Rx Modulation: ASK",
                  "Block Length: 64 Bits"});
    row("all the first items", {"--downlink=1of4", "--speed=fast", "--tx=100", "--rx=fsk", "--block-length=32"},
        0xF3, 0);
    row("slow alone", {"--speed", "slow"}, 0xF0, 0);
}

void tst_CtlCommandLine::isoOptions()
{
    QFETCH(QStringList, args);
    QFETCH(int, isoConfig);
    QFETCH(int, blockLength);
    QFETCH(QStringList, lines);
    const Parsed parsed = parseCommandLine(args);
    QCOMPARE(parsed.error, QString());
    QVERIFY(parsed.invocation.action);
    // A script's later lines must not take the options as their own.
    QCOMPARE(parsed.invocation.options, QStringList{});
    ReaderOptions options;
    options.isoConfig = 0xF2;
    applyIsoOptions(*parsed.invocation.action, options);
    QCOMPARE(int(options.isoConfig), isoConfig);
    QCOMPARE(options.isoBlockLength, blockLength);
    if (!lines.isEmpty())
        QCOMPARE(isoOptionsTextLines(options), lines);
}

enum Family { Management, Iso15693, Tagit };

// The names --json adds beside command, status and the report lines.
void tst_CtlCommandLine::decodedFields_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("fields");
    const QByteArray uid = hex("F2 93 6A 1C 50 01 04 E0");
    QTest::newRow("version")
        << int(Management) << answerFrame(0, 0xE0, hex("03 04 07 81") + QByteArray("4000123\0", 8))
        << QByteArray(R"({"version":{"major":4,"minor":3,"image":7,"cardEncodingEdition":true,"generation":1,
                         "serialNumber":"4000123"}})");
    QTest::newRow("loader") << int(Management) << answerFrame(0, 0xE3, hex("07 04 01 02 02"))
                            << QByteArray(R"({"loader":{"major":4,"minor":7,"asic":"Melexis 90121","comType":"USB",
                                              "bootLoaderComType":"Com Port"}})");
    QTest::newRow("setup, Wiegand UID of ISO 15693 tags")
        << int(Management) << answerFrame(0, 0xE7, hex("40 2D 01 30 00"))
        << QByteArray(R"({"setup":{"wiegand":"uid","rf":true,"led":true,"audio":true,"family":"iso15693",
                         "baud":19200,"afi":"30","encryption":"default"}})");
    QTest::newRow("setup, Wiegand off, plain")
        << int(Management) << answerFrame(0, 0xE7, hex("00 00 03 D5 02"))
        << QByteArray(R"({"setup":{"wiegand":"off","rf":false,"led":false,"audio":false,"family":"all",
                         "baud":38400,"afi":"D5","encryption":"plain"}})");
    QTest::newRow("reader information")
        << int(Management) << answerFrame(0, 0xEB, QByteArray("4000123\0", 8) + hex("10 27 93 01"))
        << QByteArray(R"({"readerInfo":{"serialNumber":"4000123","lifetime":10000,"version":"4.03"}})");
    QTest::newRow("an error answer decodes nothing") << int(Management) << answerFrame(2, 0xEC) << QByteArray("{}");
    QTest::newRow("system information, all of it")
        << int(Iso15693) << answerFrame(0, 0x2B, hex("0F") + uid + hex("00 31 1B 03 01"))
        << QByteArray(R"({"systemInfo":{"uid":"E00401501C6A93F2","dsfid":"00","afi":"31","blockCount":28,
                         "blockSize":4,"icReference":1}})");
    QTest::newRow("system information, UID only")
        << int(Iso15693) << answerFrame(0, 0x2B, hex("00") + uid)
        << QByteArray(R"({"systemInfo":{"uid":"E00401501C6A93F2"}})");
    QTest::newRow("security status") << int(Iso15693) << answerFrame(0, 0x2C, hex("00 0A 03 01 00 05"))
                                     << QByteArray(R"({"locks":[{"block":10,"locked":true},
                                                       {"block":11,"locked":false},{"block":12,"locked":true}]})");
    QTest::newRow("block") << int(Iso15693) << answerFrame(0, 0x20, hex("78 56 34 12 00 07"))
                           << QByteArray(R"({"blocks":[{"block":7,"value":"12345678"}]})");
    QTest::newRow("blocks, the count claiming more than came")
        << int(Iso15693) << answerFrame(0, 0x23, hex("00 03 04 44 33 22 11 05 88 77 66 55"))
        << QByteArray(R"({"blocks":[{"block":4,"value":"11223344"},{"block":5,"value":"55667788"}]})");
    QTest::newRow("Tag-it version")
        << int(Tagit) << answerFrame(0, 0x05, hex("78 56 34 12 07 34 12 08 04"))
        << QByteArray(R"({"tagitVersion":{"transponderId":"12345678","manufacturer":7,"version":4660,
                         "blockCount":8,"bytesPerBlock":4}})");
    QTest::newRow("Tag-it block") << int(Tagit) << answerFrame(0, 0x07, hex("44 33 22 11 01 05"))
                                  << QByteArray(R"({"locks":[{"block":5,"locked":true}],
                                                    "blocks":[{"block":5,"value":"11223344"}]})");
    QTest::newRow("Tag-it blocks") << int(Tagit) << answerFrame(0, 0x0A, hex("00 02 00 03 44 33 22 11 01 04 88 77 66 55"))
                                   << QByteArray(R"({"locks":[{"block":3,"locked":false},{"block":4,"locked":true}],
                                                     "blocks":[{"block":3,"value":"11223344"},
                                                               {"block":4,"value":"55667788"}]})");
    QTest::newRow("Tag-it SID") << int(Tagit) << answerFrame(0, 0x0C, hex("01 78 56 34 12 01 02 44 33 22 11"))
                                << QByteArray(R"({"locks":[{"uid":"12345678","block":2,"locked":true}],
                                                  "blocks":[{"uid":"12345678","block":2,"value":"11223344"}]})");
}

void tst_CtlCommandLine::decodedFields()
{
    QFETCH(int, family);
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, fields);
    const FrameView view(frame);
    Answer answer;
    switch (family) {
    case Management: answer.report = reportManagementResponse(view).report; break;
    case Iso15693: answer.report = iso15693::reportResponse(view, 0); break;
    default: answer.report = tagit::reportResponse(view, int(frame.size())); break;
    }
    QJsonObject decoded = QJsonDocument::fromJson(answerJson(answer, QStringLiteral("any"))).object();
    for (const char *name : {"command", "status", "statusByte", "error", "heading", "lines", "tags"})
        decoded.remove(QLatin1String(name));
    QCOMPARE(decoded, QJsonDocument::fromJson(fields).object());
}

void tst_CtlCommandLine::scriptLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("blank") << "   \t" << QStringList{};
    QTest::newRow("comment after blanks") << "  # iso15693 read 1" << QStringList{};
    QTest::newRow("tabs and runs of blanks") << "iso15693\twrite  5 11223344\r"
                                             << QStringList{"iso15693", "write", "5", "11223344"};
}

void tst_CtlCommandLine::scriptLines()
{
    QFETCH(QString, line);
    QFETCH(QStringList, words);
    QCOMPARE(scriptLineWords(line), words);
}

enum Judged { Iso14443 = Tagit + 1, TimedOut, NoValidAnswer, SelfTest };

// Which answers are reader errors, per family: --json's status, statusByte
// and error, and so the exit status. The error text is the pane's (a line
// or an error heading), from the error-code byte.
void tst_CtlCommandLine::judgedAnswers_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("statusByte"); // -1: none in the object
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("shown"); // by the pane
    QByteArray lengthWrong = answerFrame(0, 0x07, hex("44 33 22 11 01 05"));
    lengthWrong[2] = 1;
    QTest::newRow("ISO 15693") << int(Iso15693) << answerFrame(1, 0x20, hex("10")) << "error" << 1
                               << "Specified block not available" << true;
    QTest::newRow("ISO 15693 inventory, error byte under status 0")
        << int(Iso15693) << answerFrame(0, 0x01, hex("01 00")) << "error" << 0 << "Undefined error" << true;
    QTest::newRow("Tag-it, a code without text") << int(Tagit) << answerFrame(1, 0x07, hex("15")) << "error" << 1 << "" << true;
    QTest::newRow("Tag-it, corrupted") << int(Tagit) << lengthWrong << "bad-answer" << 0 << "Corrupted data received" << true;
    QTest::newRow("ISO 14443-A") << int(Iso14443) << answerFrame(2, 0x40, hex("06")) << "error" << 2 << "Tag CRC error" << true;
    QTest::newRow("management") << int(Management) << answerFrame(3, 0xEE, hex("05")) << "error" << 3 << "Undefined error"
                                << true;
    QTest::newRow("management, a version read refused") << int(Management) << answerFrame(2, 0xE0, hex("02") + QByteArray(11, 0))
                                                        << "error" << 2 << "Command not supported by reader" << false;
    QTest::newRow("time-out") << int(TimedOut) << QByteArray() << "timeout" << -1 << "Message timeout" << true;
    QTest::newRow("management, status 1 to a version read")
        << int(Management) << answerFrame(1, 0xE0, hex("02") + QByteArray(11, 0)) << "error" << 1 << "Command not recognized"
        << false;
    // The self test's status byte is its result, not a refusal.
    QTest::newRow("self test, failed") << int(SelfTest) << answerFrame(1, 0x26) << "ok" << 1 << QString() << false;
    QTest::newRow("no valid answer") << int(NoValidAnswer) << QByteArray() << "bad-answer" << -1 << "no valid answer" << false;
}

void tst_CtlCommandLine::judgedAnswers()
{
    QFETCH(int, family);
    QFETCH(QByteArray, frame);
    const FrameView view(frame);
    Answer answer;
    switch (family) {
    case Management: answer.report = reportManagementResponse(view).report; break;
    case Iso15693:
    case SelfTest: answer.report = iso15693::reportResponse(view, 0); break;
    case Tagit: answer.report = tagit::reportResponse(view, int(frame.size())); break;
    case Iso14443: answer.report = iso14443::reportResponse(view); break;
    case TimedOut: judgeTimeout(answer); break;
    default: judgeNoValidAnswer(answer); break;
    }
    if (family <= Iso14443)
        judgeAnswer(answer, view, view);
    else if (family == SelfTest)
        judgeAnswer(answer, view, FrameView(hex("01 08 00 10 20 26 00 00")));
    const QJsonObject o = QJsonDocument::fromJson(answerJson(answer, QStringLiteral("any"))).object();
    QFETCH(QString, status);
    QFETCH(int, statusByte);
    QFETCH(QString, error);
    QFETCH(bool, shown);
    QCOMPARE(o.value(QLatin1String("status")).toString(), status);
    QCOMPARE(o.value(QLatin1String("statusByte")).toInt(-1), statusByte);
    QCOMPARE(o.value(QLatin1String("error")).toVariant(), error.isNull() ? QVariant() : QVariant(error));
    QCOMPARE(exitCodeFor(answer.status), status == "ok" ? ExitOk : status == "error" ? ExitReaderError : ExitNoAnswer);
    if (shown)
        QVERIFY(answer.report.lines.contains(QStringLiteral("    ") + error)
                || o.value(QLatin1String("heading")).toString() == QStringLiteral("Error: ") + error);
}

void tst_CtlCommandLine::printable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<QString>("shown");
    const QString a78(78, QLatin1Char('a'));
    const QString face = QString::fromUtf8("\xf0\x9f\x98\x80");
    QTest::newRow("controls") << QString::fromUtf8("\x1b[2J\0\t\x7f\xc2\x9b\xc3\xb6", 11) << 0
                              << QString::fromUtf8("\\x1b[2J\\x00\\x09\\x7f\\x9b\xc3\xb6");
    QTest::newRow("exactly the length") << a78 + "bc" << 80 << a78 + "bc";
    QTest::newRow("shortened") << a78 + "bcd" << 80 << a78 + "bc...";
    QTest::newRow("an escape is never cut") << a78 + "\x1b" << 80 << a78 + "...";
    QTest::newRow("a character beyond 16 bits counts once") << face + face + face << 2 << face + face + "...";
}

void tst_CtlCommandLine::printable()
{
    QFETCH(QString, text);
    QFETCH(int, maxLength);
    QFETCH(QString, shown);
    QCOMPARE(printableText(text, maxLength), shown);
}

QTEST_GUILESS_MAIN(tst_CtlCommandLine)
#include "tst_ctlcommandline.moc"
