// vexa-agent's configuration file: what a good file gives, and every fault
// named at its line.
#include <QTemporaryDir>
#include <QTest>

#include "agent/agentconfig.h"

using namespace vexa::agent;

namespace {
// Lines 1 to 5; a row's lines follow from line 6, in [broker] unless they
// open a section of their own.
const QByteArray kBase = "[reader a]\n"
                         "port = COM1\n"
                         "command = iso15693 inventory\n"
                         "[broker]\n"
                         "host = localhost\n";
} // namespace

class TestAgentConfig : public QObject
{
    Q_OBJECT
private slots:
    void goodFile()
    {
        const ParsedConfig parsed = parseAgentConfig("# a plant's readers\r\n"
                                                     "[broker]\n"
                                                     "host = broker.example\n"
                                                     "tls = on\n"
                                                     "username = line4\n"
                                                     "password = s3cret # not a comment\n"
                                                     "reconnect-max = 7\n"
                                                     "\n"
                                                     "[agent]\n"
                                                     "absence = 3000\n"
                                                     "[reader belt-1]\n"
                                                     "device = /dev/ttyUSB0\n"
                                                     "baud = 57600\n"
                                                     "addressing = 4000123\n"
                                                     "command = iso15693 inventory --afi 07\n"
                                                     "interval = 250\n"
                                                     "on-arrival = read 0-3\n"
                                                     "allow = writes, locks\n"
                                                     "fast = on\n"
                                                     "[reader desk]\n"
                                                     "usb = yes\n"
                                                     "command = tagit inventory\n",
                                                     QDir::tempPath());
        QCOMPARE(parsed.faultLines(QStringLiteral("f")), QStringList());
        const AgentConfig &c = parsed.config;
        QCOMPARE(c.broker.effectivePort(), 8883);
        QCOMPARE(c.broker.prefix, QStringLiteral("vexa"));
        QCOMPARE(c.broker.password, QStringLiteral("s3cret # not a comment"));
        QCOMPARE(c.broker.reconnectMaxSeconds, 7);
        QCOMPARE(c.agent.absenceMs, 3000);
        QCOMPARE(c.agent.stateDir, QStringLiteral("/var/lib/vexa-agent"));
        QCOMPARE(c.readers.size(), 2);
        const ReaderConfig &belt = c.readers.at(0);
        QCOMPARE(belt.name, QStringLiteral("belt-1"));
        QCOMPARE(belt.interface, ReaderConfig::Interface::Device);
        QCOMPARE(belt.baud, 57600);
        QVERIFY(belt.addressing.addressReader);
        QCOMPARE(belt.addressing.readerSerialNumber, QStringLiteral("4000123"));
        QCOMPARE(belt.arrivalFirstBlock, 0);
        QCOMPARE(belt.arrivalLastBlock, 3);
        QVERIFY(belt.allows(Allow::Writes) && belt.allows(Allow::Locks));
        QVERIFY(!belt.allows(Allow::Config) && !belt.allows(Allow::Firmware));
        QVERIFY(belt.fast && !c.readers.at(1).fast);
        QCOMPARE(c.readers.at(1).interface, ReaderConfig::Interface::Usb);
        QCOMPARE(c.readers.at(1).arrivalFirstBlock, -1);
    }

    // Each setting's lowest and highest value is taken as it is.
    void limits_data()
    {
        QTest::addColumn<QByteArray>("lines"); // after kBase
        const QByteArray b = "[reader b]\nport = COM2\ncommand = info\n", longest(64, 'x');
        for (const QByteArray &lines :
             {QByteArray("port = 1"), QByteArray("port = 65535"), QByteArray("keepalive = 5"), QByteArray("keepalive = 65535"),
              QByteArray("reconnect-max = 1"), QByteArray("reconnect-max = 3600"), "client-id = " + longest,
              QByteArray("[agent]\nqueue-limit = 1"), QByteArray("[agent]\nqueue-limit = 102400"),
              QByteArray("[agent]\nabsence = 100"), QByteArray("[agent]\nabsence = 86400000"), b + "interval = 10",
              "[agent]\nabsence = 86400000\n" + b + "interval = 86399999", b + "on-arrival = read 0",
              b + "on-arrival = read 0-255", b + "baud = 9600", b + "baud = 57600", b + "addressing = A234567",
              QByteArray("[reader b]\nport = COM8\ncommand = info"), "[reader " + longest + "]\nport = COM2\ncommand = info"})
            QTest::addRow("%s", lines.simplified().constData()) << lines;
    }

    void limits()
    {
        QFETCH(QByteArray, lines);
        const ParsedConfig parsed = parseAgentConfig(kBase + lines + '\n', QDir::tempPath());
        QCOMPARE(parsed.faultLines(QStringLiteral("f")), QStringList());
        // A number is kept as it was written.
        const AgentConfig &c = parsed.config;
        const ReaderConfig &r = c.readers.last();
        const QList<int> numbers{c.broker.port, c.broker.keepAliveSeconds, c.broker.reconnectMaxSeconds,
                                 c.agent.queueLimitMegabytes, c.agent.absenceMs, r.intervalMs, r.baud, r.arrivalLastBlock};
        bool number = false;
        const int value = lines.mid(lines.lastIndexOf('=') + 1).trimmed().toInt(&number);
        QVERIFY(!number || numbers.contains(value));
    }

    void fault_data()
    {
        QTest::addColumn<QByteArray>("lines"); // after kBase, or the whole file when it starts with '!'
        QTest::addColumn<QString>("expected");
        const QString noName = QStringLiteral(": 1 to 64 letters, digits, \".\", \"_\" or \"-\"");
        QTest::newRow("bad number") << QByteArray("port = 70000")
                                    << "6: \"port\" must be a number from 1 to 65535, not \"70000\"";
        QTest::newRow("control characters") << QByteArray("port = \x1b[2J\x07")
                                            << "6: \"port\" must be a number from 1 to 65535, not \"?[2J?\"";
        QTest::newRow("signed number") << QByteArray("port = +80")
                                       << "6: \"port\" must be a number from 1 to 65535, not \"+80\"";
        QTest::newRow("keep-alive too short") << QByteArray("keepalive = 2")
                                              << "6: \"keepalive\" must be a number from 5 to 65535, not \"2\"";
        QTest::newRow("reconnect-max past an hour") << QByteArray("reconnect-max = 3601")
                                                    << "6: \"reconnect-max\" must be a number from 1 to 3600, not \"3601\"";
        QTest::newRow("duplicate key") << QByteArray("host = other") << "6: \"host\" given twice (first on line 5)";
        QTest::newRow("unknown key") << QByteArray("colour = red") << "6: unknown key \"colour\" in [broker]";
        QTest::newRow("unknown section") << QByteArray("[printer]") << "6: unknown section [printer]";
        QTest::newRow("unclosed section") << QByteArray("[agent") << "6: a section line must end with \"]\"";
        QTest::newRow("no value") << QByteArray("username =") << "6: \"username\" has no value";
        QTest::newRow("no key = value") << QByteArray("just words") << "6: expected \"key = value\"";
        QTest::newRow("key before a section") << QByteArray("!host = x\n" + kBase)
                                              << "1: \"host\" comes before any section";
        QTest::newRow("bad on/off") << QByteArray("tls = yes") << "6: \"tls\" must be on or off, not \"yes\"";
        QTest::newRow("password, no user") << QByteArray("password = x") << "6: a password without \"username\"";
        QTest::newRow("two passwords")
            << QByteArray("username = u\npassword = x\npassword-file = " VEXA_TEST_DATA "/CMakeLists.txt")
            << "8: \"password-file\" and \"password\" (line 7) both given; keep one";
        QTest::newRow("file without TLS") << QByteArray("ca-file = " VEXA_TEST_DATA "/CMakeLists.txt")
                                          << "6: \"ca-file\" needs \"tls = on\"";
        QTest::newRow("unreadable file") << QByteArray("tls = on\nca-file = /nonexistent/ca.pem")
                                         << "7: \"ca-file\": cannot read /nonexistent/ca.pem";
        QTest::newRow("bad prefix") << QByteArray("prefix = vexa/#") << "6: \"prefix\" must be topic levels of "
                                                                        "letters, digits, \".\", \"_\" or \"-\" joined "
                                                                        "by \"/\", not \"vexa/#\"";
        QTest::newRow("relative state folder") << QByteArray("[agent]\nstate-dir = var/lib")
                                               << "7: \"state-dir\" must be an absolute path, not \"var/lib\"";
        QTest::newRow("queue limit 0") << QByteArray("[agent]\nqueue-limit = 0")
                                       << "7: \"queue-limit\" must be a number from 1 to 102400, not \"0\"";
        QTest::newRow("same port") << QByteArray("[reader b]\nport = COM1\ncommand = tagit inventory")
                                   << "6: [reader b] uses COM1, as the reader on line 1 does";
        QTest::newRow("same device")
            << QByteArray("[reader b]\ndevice = /dev/ttyS0\ncommand = info\n[reader c]\ndevice = /dev//ttyS0\ncommand = info")
            << "9: [reader c] uses /dev/ttyS0, as the reader on line 6 does";
        QTest::newRow("two USB readers")
            << QByteArray("[reader b]\nusb = yes\ncommand = info\n[reader c]\nusb = yes\ncommand = info")
            << "9: [reader c] uses USB, as the reader on line 6 does";
        QTest::newRow("two interfaces")
            << QByteArray("[reader b]\nusb = yes\ndevice = /dev/ttyUSB0\ncommand = info")
            << "8: \"device\" is a second interface: \"usb\" on line 7 names one already";
        QTest::newRow("no interface") << QByteArray("[reader b]\ncommand = info")
                                      << "6: [reader b] names no interface: \"port\", \"device\" or \"usb\"";
        QTest::newRow("no command") << QByteArray("[reader b]\nport = COM2") << "6: [reader b] lacks \"command\"";
        QTest::newRow("no host") << QByteArray("!" + kBase.left(kBase.indexOf("host")))
                                 << "4: [broker] lacks \"host\"";
        QTest::newRow("no broker") << QByteArray("!" + kBase.left(kBase.indexOf("[broker]")))
                                   << "3: no [broker] section";
        QTest::newRow("no reader") << QByteArray("!" + kBase.mid(kBase.indexOf("[broker]")))
                                   << "2: no [reader NAME] section";
        QTest::newRow("same reader twice") << QByteArray("[reader a]\nport = COM2")
                                           << "6: [reader a] given twice (first on line 1)";
        for (const char *name : {"a/1", "a+", "#", "a b"}) {
            QTest::addRow("reader name %s", name)
                << QByteArray("[reader ") + name + "]\nport = COM2\ncommand = info"
                << QStringLiteral("6: reader name \"%1\" is not topic-safe").arg(QLatin1String(name)) + noName;
        }
        QTest::newRow("port COM9") << QByteArray("[reader b]\nport = COM9\ncommand = info")
                                   << "7: \"port\" must be COM1 to COM8, not \"COM9\"";
        QTest::newRow("same port, other case") << QByteArray("[reader b]\nport = com1\ncommand = info")
                                               << "6: [reader b] uses COM1, as the reader on line 1 does";
        QTest::newRow("device outside /dev") << QByteArray("[reader b]\ndevice = /dev/../tmp/x\ncommand = info")
                                             << "7: \"device\" must be a path under /dev/, not \"/dev/../tmp/x\"";
        QTest::newRow("usb = no") << QByteArray("[reader b]\nusb = no\ncommand = info")
                                  << "7: \"usb\" must be yes, not \"no\"";
        QTest::newRow("USB with a rate") << QByteArray("[reader b]\nusb = yes\nbaud = 9600\ncommand = info")
                                         << "8: \"baud\" is for a serial reader, not a USB one";
        QTest::newRow("bad rate") << QByteArray("[reader b]\nport = COM2\nbaud = 115200\ncommand = info")
                                  << "8: \"baud\" must be 9600, 19200, 38400 or 57600, not \"115200\"";
        QTest::newRow("serial number too long")
            << QByteArray("[reader b]\nport = COM2\naddressing = 12345678\ncommand = info")
            << "8: \"addressing\" must be off or the reader's serial number (1 to 7 printable characters), "
               "not \"12345678\"";
        QTest::newRow("unknown command") << QByteArray("[reader b]\nport = COM2\ncommand = format all")
                                         << "8: \"command\" starts with \"format\", which is no command family "
                                            "(iso15693, tagit, iso14443a, version, info, setup, diag, test)";
        QTest::newRow("blocks backwards") << QByteArray("[reader b]\nport = COM2\ncommand = info\non-arrival = read 5-3")
                                          << "9: \"on-arrival\" must be \"read N\" or \"read FIRST-LAST\" with "
                                             "blocks from 0 to 255, not \"read 5-3\"";
        QTest::newRow("block 256") << QByteArray("[reader b]\nport = COM2\ncommand = info\non-arrival = read 256")
                                   << "9: \"on-arrival\" must be \"read N\" or \"read FIRST-LAST\" with "
                                      "blocks from 0 to 255, not \"read 256\"";
        QTest::newRow("unknown allow") << QByteArray("[reader b]\nport = COM2\ncommand = info\nallow = writes, erase")
                                       << "9: \"allow\" takes writes, locks, config and firmware, not \"erase\"";
        QTest::newRow("interval past absence")
            << QByteArray("[reader b]\nport = COM2\ncommand = info\ninterval = 5000")
            << "9: \"interval\" 5000 ms is not shorter than the absence time, 5000 ms";
        QTest::newRow("not UTF-8") << QByteArray("username = \xff\xfe") << "6: not UTF-8 text";
    }

    void fault()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, expected);
        const QByteArray text = lines.startsWith('!') ? lines.mid(1) : kBase + lines + '\n';
        const ParsedConfig parsed = parseAgentConfig(text, QDir::tempPath());
        QCOMPARE(parsed.faultLines(QStringLiteral("f")), QStringList{QStringLiteral("f:") + expected});
        QVERIFY(parsed.config.readers.isEmpty()); // a faulty file is refused whole
    }

    // The seam for the full check of the command language, every fault of
    // a file in line order, and a file that cannot be read.
    void commandCheckAndFaultOrder()
    {
        const CommandCheck check = [](const QString &command) {
            return command.contains(QLatin1String("--afi 99")) ? QStringLiteral("--afi takes 2 hex digits") : QString();
        };
        const ParsedConfig parsed = parseAgentConfig(kBase + "colour = red\n[reader b]\nport = COM2\n"
                                                             "command = iso15693 inventory --afi 99\n",
                                                     QDir::tempPath(), check);
        QCOMPARE(parsed.faultLines(QStringLiteral("a.conf")),
                 (QStringList{QStringLiteral("a.conf:6: unknown key \"colour\" in [broker]"),
                              QStringLiteral("a.conf:9: \"command\": --afi takes 2 hex digits")}));
        QTemporaryDir dir;
        const ParsedConfig missing = loadAgentConfig(dir.filePath(QStringLiteral("none.conf")));
        QCOMPARE(missing.faults.size(), 1);
        QVERIFY(missing.faultLines(QStringLiteral("none.conf")).first().startsWith(QLatin1String("none.conf: ")));
    }
};

QTEST_APPLESS_MAIN(TestAgentConfig)
#include "tst_agentconfig.moc"
