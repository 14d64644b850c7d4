// vexa-sim's USB reader: request frames out of output reports, reply bytes
// into input reports, and the "usb" and "autoread" control lines.
#include <QtTest>

#include "control.h"
#include "usbframes.h"

using namespace vexa::sim;

namespace {
ReaderReport reportOf(const QByteArray &bytes)
{
    ReaderReport r{};
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), kReaderReportSize), r.begin());
    return r;
}
} // namespace

class tst_SimUsb : public QObject
{
    Q_OBJECT
private slots:
    void collect_data();
    void collect();
    void cut_data();
    void cut();
    void controlLines_data();
    void controlLines();
};

void tst_SimUsb::collect_data()
{
    QTest::addColumn<QByteArrayList>("reports"); // hex
    QTest::addColumn<QByteArrayList>("frames");  // hex, in order
    QTest::addColumn<int>("discarded");          // reports taken as noise
    QTest::newRow("8-byte frame, padding ignored")
        << QByteArrayList{"01080010 80E07986"} << QByteArrayList{"01080010 80E07986"} << 0;
    QTest::newRow("17-byte frame over two reports")
        << QByteArrayList{"01110010 80230000 00000000 00000000", "AA"}
        << QByteArrayList{"01110010 80230000 00000000 00000000 AA"} << 0;
    QTest::newRow("noise, then a frame")
        << QByteArrayList{"7E7E", "01080010 80E07986"} << QByteArrayList{"01080010 80E07986"} << 1;
    QTest::newRow("length below 8 is noise") << QByteArrayList{"01050010 80"} << QByteArrayList{} << 1;
    QTest::newRow("length above 256 is noise") << QByteArrayList{"01010210 80"} << QByteArrayList{} << 1;
}

void tst_SimUsb::collect()
{
    QFETCH(QByteArrayList, reports);
    QFETCH(QByteArrayList, frames);
    QFETCH(int, discarded);
    UsbRequestCollector collector;
    QByteArrayList got;
    int noise = 0;
    for (QByteArray r : reports) {
        const auto out = collector.feed(reportOf(QByteArray::fromHex(r.replace(' ', ""))));
        if (!out.frame.isEmpty())
            got << out.frame.toHex().toUpper();
        noise += out.discarded.isEmpty() ? 0 : 1;
    }
    QByteArrayList want;
    for (QByteArray f : frames)
        want << f.replace(' ', "").toUpper();
    QCOMPARE(got, want);
    QCOMPARE(noise, discarded);
}

void tst_SimUsb::cut_data()
{
    QTest::addColumn<QByteArray>("bytes");         // hex
    QTest::addColumn<QByteArrayList>("reports");   // hex, 16 bytes each
    QTest::newRow("nothing, no report") << QByteArray() << QByteArrayList{};
    QTest::newRow("8-byte reply, padded")
        << QByteArray("01080010 00E0F906")
        << QByteArrayList{"01080010 00E0F906 00000000 00000000"};
    QTest::newRow("16 bytes fill one report, no empty one after")
        << QByteArray("01100010 00E00407 07010000 00001A05")
        << QByteArrayList{"01100010 00E00407 07010000 00001A05"};
    QTest::newRow("17 bytes: the last one alone, then zeros")
        << QByteArray("01110010 00E00407 07013430 30303132 33")
        << QByteArrayList{"01110010 00E00407 07013430 30303132", "33000000 00000000 00000000 00000000"};
    QTest::newRow("zero bytes inside the reply are kept")
        << QByteArray("00000000 00000000 00000000 00000000 0000FF")
        << QByteArrayList{"00000000 00000000 00000000 00000000", "0000FF00 00000000 00000000 00000000"};
}

void tst_SimUsb::cut()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArrayList, reports);
    QByteArrayList got;
    for (const ReaderReport &r : cutIntoReports(QByteArray::fromHex(bytes.replace(' ', ""))))
        got << QByteArray(reinterpret_cast<const char *>(r.data()), int(r.size())).toHex().toUpper();
    for (QByteArray &r : reports)
        r = r.replace(' ', "").toUpper();
    QCOMPARE(got, reports);
}

void tst_SimUsb::controlLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind"); // -1: refused
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("usb plug") << "usb plug" << int(ControlCommand::UsbPlug) << QByteArray();
    QTest::newRow("usb unplug") << "usb unplug" << int(ControlCommand::UsbUnplug) << QByteArray();
    QTest::newRow("usb alone") << "usb" << -1 << QByteArray();
    QTest::newRow("autoread keeps blanks, line ends")
        << "autoread AB  CD\\r\\n" << int(ControlCommand::AutoRead) << QByteArray("AB  CD\r\n");
    QTest::newRow("autoread without text") << "autoread" << -1 << QByteArray();
}

void tst_SimUsb::controlLines()
{
    QFETCH(QString, line);
    QFETCH(int, kind);
    QFETCH(QByteArray, bytes);
    const ControlParse parsed = parseControlLine(line);
    if (kind < 0) {
        QVERIFY(!parsed.command);
        QVERIFY(!parsed.error.isEmpty());
        return;
    }
    QVERIFY2(parsed.command, qPrintable(parsed.error));
    QCOMPARE(int(parsed.command->kind), kind);
    QCOMPARE(parsed.command->bytes, bytes);
}

QTEST_APPLESS_MAIN(tst_SimUsb)
#include "tst_simusb.moc"
