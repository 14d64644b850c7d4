// The report sizes a HID report descriptor gives the USB library: the
// reader's application and boot loader, report IDs, Push/Pop, long items,
// and descriptors that are truncated or would overflow.
#include <QtTest>

#include "hiddescriptor.h"

using atusbhid::parseReportDescriptor;

namespace {

// A vendor-page collection with an input and an output report of `bytes`.
QByteArray vendorReports(const char *countItem)
{
    return QByteArray::fromHex(QByteArray("0600FF 0901 A101 0902 1500 26FF00 7508") + countItem + "8102 0903"
                               + countItem + "9102 C0");
}

} // namespace

class tst_HidDescriptor : public QObject
{
    Q_OBJECT
private slots:
    void sizes_data();
    void sizes();
};

void tst_HidDescriptor::sizes_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("input");
    QTest::addColumn<int>("output");
    QTest::addColumn<int>("feature");

    QTest::newRow("application, 16 bytes") << vendorReports("9510") << true << 16 << 16 << 0;
    QTest::newRow("boot loader, 64 bytes") << vendorReports("9540") << true << 64 << 64 << 0;
    QTest::newRow("two-byte count") << vendorReports("960001") << true << 256 << 256 << 0;
    // Bits add up across the fields of a report and round up to bytes.
    QTest::newRow("fields add up") << QByteArray::fromHex("7501 9503 8102 7505 9501 8101 7508 9502 B102") << true << 1
                                   << 0 << 2;
    // Input: report 1 only; output: report 2, the first with an output.
    QTest::newRow("first report ID only")
        << QByteArray::fromHex("8501 7508 9510 8102 8502 9540 8102 9102") << true << 16 << 64 << 0;
    QTest::newRow("pop restores the count") << QByteArray::fromHex("7508 9510 A4 9540 B4 8102") << true << 16 << 0 << 0;
    QTest::newRow("long item skipped") << QByteArray::fromHex("FE0210AABB 7508 9504 9102") << true << 0 << 4 << 0;
    QTest::newRow("empty") << QByteArray() << true << 0 << 0 << 0;
    QTest::newRow("truncated short item") << QByteArray::fromHex("7508 96") << false << 0 << 0 << 0;
    QTest::newRow("truncated two-byte data") << QByteArray::fromHex("7508 9510 8102 9600") << false << 0 << 0 << 0;
    QTest::newRow("truncated long item") << QByteArray::fromHex("FE0510AABB") << false << 0 << 0 << 0;
    QTest::newRow("pop without push") << QByteArray::fromHex("7508 B4 8102") << false << 0 << 0 << 0;
    QTest::newRow("pushes past the stack") << QByteArray(9, char(0xA4)) << false << 0 << 0 << 0;
    QTest::newRow("size x count overflows") << QByteArray::fromHex("77FFFFFFFF 97FFFFFFFF 8102") << false << 0 << 0
                                            << 0;
    QTest::newRow("sum past any report") << QByteArray::fromHex("7520 9700100000 8102 8102 8102 8102 8102") << false
                                         << 0 << 0 << 0;
}

void tst_HidDescriptor::sizes()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(bool, valid);
    QFETCH(int, input);
    QFETCH(int, output);
    QFETCH(int, feature);
    // A heap copy of exactly the descriptor's size, so that a read past it
    // shows in the sanitizer build.
    std::vector<unsigned char> bytes(descriptor.begin(), descriptor.end());
    const atusbhid::ReportSizes sizes = parseReportDescriptor(bytes.data(), bytes.size());
    QCOMPARE(sizes.valid, valid);
    QCOMPARE(sizes.input, input);
    QCOMPARE(sizes.output, output);
    QCOMPARE(sizes.feature, feature);
}

QTEST_APPLESS_MAIN(tst_HidDescriptor)
#include "tst_hiddescriptor.moc"
