// USB HID reports: cutting frames into output reports, putting response
// frames back together from input reports, and the auto-read line assembly.
#include <QtTest>

#include "core/wire/usbreports.h"

using namespace vexa;

namespace {

UsbReport reportOf(const QByteArray &bytes)
{
    UsbReport r{};
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), kUsbReportSize), r.begin());
    return r;
}

// A response frame of n bytes as the reader sends it: start byte, length,
// then filler that never repeats the start byte.
QByteArray frameOf(int n)
{
    QByteArray f(n, '\x55');
    f[0] = '\x01';
    if (n > 1)
        f[1] = char(n & 0xFF);
    return f;
}

// What the poll does with one tick's waiting reports: the bytes gathered,
// whether the frame ended, and how many reports were read.
struct Tick
{
    QByteArray gathered;
    bool ended = false;
    int read = 0;
};

Tick runTick(UsbFrameAssembler &assembler, const QList<UsbReport> &waiting, QByteArray &block)
{
    Tick tick;
    for (const UsbReport &report : waiting) {
        ++tick.read;
        const UsbPiece piece = assembler.take(report, int(block.size()));
        const QByteArray bytes(reinterpret_cast<const char *>(report.data()), piece.take);
        block += bytes;
        tick.gathered += bytes;
        if (piece.frameEnds) {
            tick.ended = true;
            break;
        }
    }
    return tick;
}

} // namespace

class tst_UsbReports : public QObject
{
    Q_OBJECT
private slots:
    void outputReports_data();
    void outputReports();
    void wholeFrameInOneTick_data();
    void wholeFrameInOneTick();
    void frameSpreadOverTicks();
    void reportThatDoesNotStartAFrame_data();
    void reportThatDoesNotStartAFrame();
    void startByteInsideAFrame();
    void autoReadLines_data();
    void autoReadLines();
    void autoReadIdleReset_data();
    void autoReadIdleReset();
    void errorTexts_data();
    void errorTexts();
};

void tst_UsbReports::outputReports_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("reports");
    QTest::newRow("8") << 8 << 1;
    QTest::newRow("16") << 16 << 1;
    QTest::newRow("17") << 17 << 2;
    QTest::newRow("40") << 40 << 3;
    QTest::newRow("216 (200 + address)") << 216 << 14;
}

void tst_UsbReports::outputReports()
{
    QFETCH(int, length);
    QFETCH(int, reports);
    QByteArray frame(length, '\0');
    for (int i = 0; i < length; ++i)
        frame[i] = char(i + 1);
    const QList<UsbReport> out = toUsbReports(frame);
    QCOMPARE(out.size(), reports);
    QByteArray joined;
    for (const UsbReport &r : out)
        joined += QByteArray(reinterpret_cast<const char *>(r.data()), kUsbReportSize);
    QCOMPARE(joined.left(length), frame);
    QCOMPARE(joined.mid(length), QByteArray(reports * kUsbReportSize - length, '\0')); // zero padding
}

void tst_UsbReports::wholeFrameInOneTick_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QList<int>>("pieces");
    QTest::newRow("8: one report, 8 taken, 8 ignored") << 8 << QList<int>{8};
    QTest::newRow("16: one whole report") << 16 << QList<int>{16};
    QTest::newRow("17: 16 + 1") << 17 << QList<int>{16, 1};
    QTest::newRow("40: 16 + 16 + 8") << 40 << QList<int>{16, 16, 8};
    QList<int> big(15, 16);
    big << 15;
    QTest::newRow("255: 15 x 16 + 15") << 255 << big;
}

void tst_UsbReports::wholeFrameInOneTick()
{
    QFETCH(int, length);
    QFETCH(QList<int>, pieces);
    UsbFrameAssembler assembler;
    QList<UsbReport> waiting = toUsbReports(frameOf(length));
    // A second frame already waiting is left for the next tick.
    waiting += toUsbReports(frameOf(8));
    QByteArray block;
    QList<int> taken;
    for (const UsbReport &report : waiting) {
        const UsbPiece piece = assembler.take(report, int(block.size()));
        taken << piece.take;
        block += QByteArray(reinterpret_cast<const char *>(report.data()), piece.take);
        if (piece.frameEnds)
            break;
    }
    QCOMPARE(taken, pieces);
    QCOMPARE(block, frameOf(length));
}

void tst_UsbReports::frameSpreadOverTicks()
{
    UsbFrameAssembler assembler;
    const QList<UsbReport> reports = toUsbReports(frameOf(40));
    QByteArray block;
    const Tick first = runTick(assembler, reports.mid(0, 1), block);
    QCOMPARE(first.gathered.size(), 16);
    QVERIFY(!first.ended); // the response timer is not restarted yet
    const Tick second = runTick(assembler, {}, block);
    QVERIFY(!second.ended);
    const Tick third = runTick(assembler, reports.mid(1), block);
    QCOMPARE(third.gathered.size(), 24);
    QVERIFY(third.ended);
    QCOMPARE(block, frameOf(40));
}

void tst_UsbReports::reportThatDoesNotStartAFrame_data()
{
    QTest::addColumn<int>("previousFrame"); // 0: none since start
    QTest::addColumn<int>("taken");
    QTest::newRow("at start: nothing taken, block ends") << 0 << 0;
    QTest::newRow("after a 40-byte frame: its last piece's size") << 40 << 8;
    QTest::newRow("after a 16-byte frame") << 16 << 16;
}

void tst_UsbReports::reportThatDoesNotStartAFrame()
{
    QFETCH(int, previousFrame);
    QFETCH(int, taken);
    UsbFrameAssembler assembler;
    if (previousFrame) {
        QByteArray block;
        QVERIFY(runTick(assembler, toUsbReports(frameOf(previousFrame)), block).ended);
    }
    const UsbPiece piece = assembler.take(reportOf(QByteArray(16, '\x7E')), 0);
    QCOMPARE(piece.take, taken);
    QVERIFY(piece.frameEnds);
}

void tst_UsbReports::startByteInsideAFrame()
{
    // A report starting with 0x01 in the middle of a frame is frame data.
    UsbFrameAssembler assembler;
    QByteArray block;
    QVERIFY(!runTick(assembler, toUsbReports(frameOf(40)).mid(0, 1), block).ended);
    const UsbPiece piece = assembler.take(reportOf(QByteArray::fromHex("0108")), int(block.size()));
    QCOMPARE(piece.take, 16);
    QVERIFY(!piece.frameEnds);
    QCOMPARE(assembler.remaining(), 8);
}

void tst_UsbReports::autoReadLines_data()
{
    QTest::addColumn<QByteArrayList>("reports");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("text");
    QTest::newRow("16 then 16: one line of 25, rest dropped")
        << QByteArrayList{"ABCDEFGHIJKLMNOP", "QRSTUVWXYZ012345"} << QStringList{"ABCDEFGHIJKLMNOPQRSTUVWXY"} << "";
    QTest::newRow("16 then 9 and a line end: exactly 25")
        << QByteArrayList{"ABCDEFGHIJKLMNOP", "123456789\r"} << QStringList{"ABCDEFGHIJKLMNOP123456789"} << "";
    QTest::newRow("16 then 9: 25 cut back to 16")
        << QByteArrayList{"ABCDEFGHIJKLMNOP", "123456789"} << QStringList{} << "ABCDEFGHIJKLMNOP";
    QTest::newRow("text ends at the first zero byte")
        << QByteArrayList{QByteArray("ABC\0DEF", 7)} << QStringList{} << "ABC";
    QTest::newRow("two short reports: cut to 16")
        << QByteArrayList{"ABCDEFGHIJ", "KLMNOPQRST"} << QStringList{} << "ABCDEFGHIJKLMNOP";
    QTest::newRow("two records in a row")
        << QByteArrayList{"ABCDEFGHIJKLMNOP", "QRSTUVWXYZ012345", "abcdefghijklmnop", "qrstuvwxyz!"}
        << QStringList{"ABCDEFGHIJKLMNOPQRSTUVWXY", "abcdefghijklmnopqrstuvwxy"} << "";
}

void tst_UsbReports::autoReadLines()
{
    QFETCH(QByteArrayList, reports);
    QFETCH(QStringList, lines);
    QFETCH(QString, text);
    AutoReadAssembler assembler;
    QStringList got;
    for (const QByteArray &r : reports)
        if (const auto line = assembler.addReport(reportOf(r)))
            got << *line;
    QCOMPARE(got, lines);
    QCOMPARE(assembler.text(), text);
}

void tst_UsbReports::autoReadIdleReset_data()
{
    QTest::addColumn<int>("quietTicks");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("19 ticks: the record goes on") << 19 << QStringList{"ABCDEFGHIJKLMNOPQRSTUVWXY"};
    QTest::newRow("20 ticks (a second): dropped") << 20 << QStringList{};
}

void tst_UsbReports::autoReadIdleReset()
{
    QFETCH(int, quietTicks);
    QFETCH(QStringList, lines);
    AutoReadAssembler assembler;
    QVERIFY(!assembler.addReport(reportOf("ABCDEFGHIJKLMNOP")));
    assembler.tick(); // the tick that read the first report
    for (int i = 0; i < quietTicks; ++i)
        assembler.tick();
    QStringList got;
    if (const auto line = assembler.addReport(reportOf("QRSTUVWXYZ012345")))
        got << *line;
    QCOMPARE(got, lines);
}

void tst_UsbReports::errorTexts_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("29") << 29u << "Error: Could not write.\n";
    QTest::newRow("30") << 30u << "Error: Could not read.\n";
    QTest::newRow("E0000001") << 0xE0000001u << "Error: Could not open the device.\n";
    QTest::newRow("E0000002") << 0xE0000002u << "Error: Could not get USB device capabilities.\n";
    QTest::newRow("other") << 5u << "Error: Unknown error code.\n";
}

void tst_UsbReports::errorTexts()
{
    QFETCH(uint, code);
    QFETCH(QString, text);
    QCOMPARE(usbErrorText(code), text);
    QVERIFY(usbErrorText(usberr::ModuleNotFound).contains(QLatin1String("AtUsbHid")));
}

QTEST_APPLESS_MAIN(tst_UsbReports)
#include "tst_usbreports.moc"
