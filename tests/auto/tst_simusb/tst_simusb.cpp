// vexa-sim's USB reader: request frames out of output reports, and the
// "usb" and "autoread" control lines.
#include <QtTest>

#include "control.h"
#include "usbcollector.h"

using namespace vexa;
using namespace vexa::sim;

namespace {
UsbReport reportOf(const QByteArray &bytes)
{
    UsbReport r{};
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), kUsbReportSize), r.begin());
    return r;
}
} // namespace

class tst_SimUsb : public QObject
{
    Q_OBJECT
private slots:
    void collect_data();
    void collect();
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
