// The simulator's boot loader: capture, packets and their numbers, go, and
// the faults it injects on demand. The host's own packet builder makes the
// packets, so both ends are held to the same wire format.
#include <QtTest>

#include "bootloader.h"
#include "core/loader/loaderprotocol.h"

using namespace vexa;
using namespace vexa::sim;

namespace {

const QByteArray kAck("\n!\r");
const QByteArray kNak("\n?\r");

QByteArray counting(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 13 + 1);
    return bytes;
}

QByteArray replies(const QList<BootLoader::Output> &outputs)
{
    QByteArray all;
    for (const auto &out : outputs)
        all += out.reply;
    return all;
}

BootLoader captured()
{
    BootLoader loader;
    loader.listen();
    loader.feed("A");
    return loader;
}

bool control(BootLoader &loader, const QString &line)
{
    QStringList printed;
    QString error;
    return loader.control(line, &printed, &error);
}

} // namespace

class tst_BootLoader : public QObject
{
    Q_OBJECT
private slots:
    void captureAfterReset();
    void quietUnlessListening();
    void wholeImageThenGo();
    void sequenceWrapsAfter256();
    void repeatedPacketIsAcknowledgedAgain();
    void wrongNumberRefused();
    void startsOverFromPacketZero();
    void malformedCommands_data();
    void malformedCommands();
    void faults();
    void randomFaultsAreRepeatable();
    void controlLineErrors();
    void usbReports();
};

void tst_BootLoader::captureAfterReset()
{
    BootLoader loader;
    loader.listen();
    QCOMPARE(loader.mode(), BootLoader::Mode::Listening);
    QCOMPARE(replies(loader.feed(QByteArray::fromHex("0102"))), QByteArray()); // not the capture character
    QCOMPARE(replies(loader.feed("A")), kAck);
    QCOMPARE(loader.mode(), BootLoader::Mode::Captured);
    // A capture character between commands is answered again.
    QCOMPARE(replies(loader.feed("A")), kAck);
}

void tst_BootLoader::quietUnlessListening()
{
    BootLoader loader;
    QCOMPARE(replies(loader.feed("A")), QByteArray());
    loader.listen();
    loader.stopListening();
    QVERIFY(!loader.active());
    QCOMPARE(replies(loader.feed("A")), QByteArray());
}

void tst_BootLoader::wholeImageThenGo()
{
    BootLoader loader = captured();
    const QByteArray image = counting(300);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(replies(loader.feed(serialWritePacket(uint8_t(i), image, i * 128))), kAck);
    QCOMPARE(loader.image(), paddedImage(image, LoaderFraming::Serial));
    // The bytes after the go command are the application's.
    QByteArray rest;
    const QList<BootLoader::Output> go = loader.feed(goCommand(LoaderFraming::Serial) + "\x01\x08", &rest);
    QCOMPARE(rest, QByteArray("\x01\x08"));
    QCOMPARE(go.size(), 1);
    QVERIFY(go[0].started);
    QVERIFY(go[0].reply.isEmpty());
    QVERIFY(!loader.active());
    QCOMPARE(loader.starts(), 1);
    QCOMPARE(loader.startedImage(), paddedImage(image, LoaderFraming::Serial));
}

void tst_BootLoader::sequenceWrapsAfter256()
{
    BootLoader loader = captured();
    const QByteArray image = counting(258 * 128);
    for (int i = 0; i < 258; ++i)
        QCOMPARE(replies(loader.feed(serialWritePacket(uint8_t(i), image, i * 128))), kAck);
    QCOMPARE(loader.storedPackets(), 258);
    QCOMPARE(loader.image(), image);
}

void tst_BootLoader::repeatedPacketIsAcknowledgedAgain()
{
    BootLoader loader = captured();
    const QByteArray image = counting(400);
    loader.feed(serialWritePacket(0, image, 0));
    loader.feed(serialWritePacket(1, image, 128));
    // The host missed the answer and sends packet 1 again.
    QCOMPARE(replies(loader.feed(serialWritePacket(1, image, 128))), kAck);
    QCOMPARE(loader.storedPackets(), 2);
    QCOMPARE(replies(loader.feed(serialWritePacket(2, image, 256))), kAck);
    QCOMPARE(loader.image(), image.first(384));
}

void tst_BootLoader::wrongNumberRefused()
{
    BootLoader loader = captured();
    const QByteArray image = counting(400);
    loader.feed(serialWritePacket(0, image, 0));
    QCOMPARE(replies(loader.feed(serialWritePacket(2, image, 256))), kNak);
    QCOMPARE(loader.storedPackets(), 1);
}

void tst_BootLoader::startsOverFromPacketZero()
{
    BootLoader loader = captured();
    const QByteArray first = counting(400);
    for (int i = 0; i < 3; ++i)
        loader.feed(serialWritePacket(uint8_t(i), first, i * 128));
    const QByteArray second = counting(200).toUpper();
    QCOMPARE(replies(loader.feed(serialWritePacket(0, second, 0))), kAck);
    QCOMPARE(replies(loader.feed(serialWritePacket(1, second, 128))), kAck);
    QCOMPARE(loader.image(), paddedImage(second, LoaderFraming::Serial));
}

void tst_BootLoader::malformedCommands_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray lower = serialWritePacket(0, counting(128), 0);
    lower[5] = 'a';
    QTest::newRow("lower-case digit") << lower;
    QTest::newRow("short packet") << serialWritePacket(0, counting(128), 0).remove(10, 2);
    QTest::newRow("unknown command") << QByteArray("\nX\r");
    QTest::newRow("too long") << QByteArray("\nW") + QByteArray(400, '0') + '\r';
}

void tst_BootLoader::malformedCommands()
{
    QFETCH(QByteArray, bytes);
    BootLoader loader = captured();
    QVERIFY(replies(loader.feed(bytes)).startsWith(kNak));
    QCOMPARE(loader.storedPackets(), 0);
    // The loader is still in step with the host afterwards.
    QCOMPARE(replies(loader.feed(serialWritePacket(0, counting(128), 0))), kAck);
}

void tst_BootLoader::faults()
{
    const QByteArray image = counting(256);
    {
        BootLoader loader = captured();
        QVERIFY(control(loader, QStringLiteral("refuse 2")));
        QCOMPARE(replies(loader.feed(serialWritePacket(0, image, 0))), kNak);
        QCOMPARE(replies(loader.feed(serialWritePacket(0, image, 0))), kNak);
        QCOMPARE(loader.storedPackets(), 0);
        QCOMPARE(replies(loader.feed(serialWritePacket(0, image, 0))), kAck);
    }
    {
        BootLoader loader = captured();
        QVERIFY(control(loader, QStringLiteral("drop")));
        QCOMPARE(replies(loader.feed(serialWritePacket(0, image, 0))), QByteArray());
        QCOMPARE(loader.storedPackets(), 1); // stored, only the answer was lost
    }
    {
        BootLoader loader = captured();
        QVERIFY(control(loader, QStringLiteral("silent")));
        QCOMPARE(replies(loader.feed(serialWritePacket(0, image, 0))), QByteArray());
        QCOMPARE(loader.storedPackets(), 0);
    }
    {
        BootLoader loader;
        QVERIFY(control(loader, QStringLiteral("deaf 1")));
        QVERIFY(control(loader, QStringLiteral("nakcapture 1")));
        loader.listen();
        QCOMPARE(replies(loader.feed("AAA")), QByteArray());
        loader.listen();
        QCOMPARE(replies(loader.feed("A")), kNak);
        QCOMPARE(loader.mode(), BootLoader::Mode::Listening);
        loader.listen();
        QCOMPARE(replies(loader.feed("A")), kAck);
    }
}

void tst_BootLoader::randomFaultsAreRepeatable()
{
    auto run = [] {
        BootLoader loader = captured();
        control(loader, QStringLiteral("random 20 20 7"));
        QByteArray all;
        for (int i = 0; i < 50; ++i)
            all += replies(loader.feed(serialWritePacket(0, counting(128), 0))) + '|';
        return all;
    };
    const QByteArray first = run();
    QCOMPARE(run(), first);
    QVERIFY(first.contains(kNak + '|'));
    QVERIFY(first.contains("||"));
    QVERIFY(first.contains(kAck));
}

void tst_BootLoader::controlLineErrors()
{
    BootLoader loader;
    QStringList printed;
    QString error;
    QVERIFY(!loader.control(QStringLiteral("refuse many"), &printed, &error));
    QVERIFY(error.startsWith(QStringLiteral("usage:")));
    QVERIFY(!loader.control(QStringLiteral("random 101 0"), &printed, &error));
    QVERIFY(loader.control(QStringLiteral("state"), &printed, &error));
    QCOMPARE(printed.size(), 1);
    QVERIFY(printed[0].startsWith(QStringLiteral("loader: mode=off packets=0 bytes=0 sha256=")));
}

void tst_BootLoader::usbReports()
{
    BootLoader loader;
    loader.listen();
    QCOMPARE(loader.feedReport(goCommand(LoaderFraming::Usb)).reply, QByteArray()); // not a capture
    BootLoader::Output out = loader.feedReport(usbCaptureReport());
    QCOMPARE(out.reply, kAck + QByteArray(61, '\0'));
    QCOMPARE(loader.mode(), BootLoader::Mode::Captured);

    // 130 bytes: W, W, S; the second again after a lost answer; numbers wrap.
    const QByteArray image = counting(130);
    QCOMPARE(loader.feedReport(usbWritePacket(0, image, 0)).reply.left(3), kAck);
    QCOMPARE(loader.feedReport(usbWritePacket(1, image, 62)).reply.left(3), kAck);
    QCOMPARE(loader.feedReport(usbWritePacket(1, image, 62)).reply.left(3), kAck);
    QCOMPARE(loader.feedReport(usbWritePacket(3, image, 124)).reply.left(3), kNak);
    out = loader.feedReport(usbWritePacket(2, image, 124));
    QCOMPARE(out.reply.size(), 64);
    QCOMPARE(out.reply.left(3), kAck);
    QCOMPARE(loader.image(), paddedImage(image, LoaderFraming::Usb));

    out = loader.feedReport(goCommand(LoaderFraming::Usb));
    QVERIFY(out.started);
    QVERIFY(out.reply.isEmpty());
    QCOMPARE(loader.startedImage(), paddedImage(image, LoaderFraming::Usb));

    BootLoader big;
    big.listen();
    big.feedReport(usbCaptureReport());
    const QByteArray wide = counting(300 * 62);
    for (int i = 0; i < 300; ++i)
        QCOMPARE(big.feedReport(usbWritePacket(uint8_t(i), wide, i * 62)).reply.left(3), kAck);
    QCOMPARE(big.image(), wide);
}

QTEST_APPLESS_MAIN(tst_BootLoader)
#include "tst_bootloader.moc"
