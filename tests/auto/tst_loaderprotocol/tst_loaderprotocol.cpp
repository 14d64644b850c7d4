// The boot loader's packets and replies, the transfer's state machine and the
// firmware file rules, against the loader's byte layouts.
#include <QtTest>

#include <QTemporaryDir>

#include "core/loader/firmwarefile.h"
#include "core/loader/firmwaretransfer.h"
#include "core/loader/loaderprotocol.h"

using namespace vexa;
using Outcome = FirmwareTransfer::Outcome;

Q_DECLARE_METATYPE(vexa::LoaderComType)

namespace {

QByteArray counting(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + 3);
    return bytes;
}

QByteArray hexText(QByteArrayView bytes)
{
    return QByteArray(bytes.data(), bytes.size()).toHex().toUpper();
}

// Sends the whole image with every packet acknowledged; the packets in order.
QList<QByteArray> sendAll(FirmwareTransfer &transfer)
{
    QList<QByteArray> packets;
    while (!transfer.finished()) {
        packets << transfer.packet();
        transfer.onReply(LoaderReply::Ack);
    }
    return packets;
}

} // namespace

class tst_LoaderProtocol : public QObject
{
    Q_OBJECT
private slots:
    void serialPacketLayout();
    void serialThreePackets();
    void usbPackets_data();
    void usbPackets();
    void goCommands();
    void replies_data();
    void replies();
    void sequenceWraps();
    void refusedShortPacketRepeats();
    void serialFailures_data();
    void serialFailures();
    void usbFailures_data();
    void usbFailures();
    void paddedImages();
    void readFile();
    void readFileRefusals();
    void fileDialogPreselection_data();
    void fileDialogPreselection();
    void firmwareFolderFallsBack();
    void afterUpgradeByName_data();
    void afterUpgradeByName();
};

void tst_LoaderProtocol::serialPacketLayout()
{
    const QByteArray image = QByteArray::fromHex("00A15F");
    const QByteArray packet = serialWritePacket(0x3C, image, 0);
    QCOMPARE(packet.size(), 261);
    QCOMPARE(packet.left(4), QByteArray("\nW3C"));
    QCOMPARE(packet.mid(4, 6), QByteArray("00A15F")); // upper-case digits, high nibble first
    QCOMPARE(packet.mid(10, 250), QByteArray(125 * 2, 'F'));
    QCOMPARE(packet.back(), '\r');
}

void tst_LoaderProtocol::serialThreePackets()
{
    // A 300-byte file: packets 00, 01, 02; the third has 44 file bytes and
    // 84 times "FF".
    const QByteArray image = counting(300);
    FirmwareTransfer transfer(image, LoaderFraming::Serial);
    const QList<QByteArray> packets = sendAll(transfer);
    QCOMPARE(packets.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(packets[i].size(), 261);
        QCOMPARE(packets[i].mid(2, 2), QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')).toLatin1());
        QCOMPARE(packets[i].front(), '\n');
        QCOMPARE(packets[i].at(1), 'W'); // the last one too
    }
    QCOMPARE(packets[0].mid(4, 256), hexText(image.first(128)));
    QCOMPARE(packets[1].mid(4, 256), hexText(image.sliced(128, 128)));
    QCOMPARE(packets[2].mid(4, 88), hexText(image.sliced(256)));
    QCOMPARE(packets[2].mid(92, 168), QByteArray(168, 'F'));
    QCOMPARE(transfer.acknowledged(), 300);
}

void tst_LoaderProtocol::usbPackets_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("commands");
    QTest::addColumn<int>("lastFileBytes");
    QTest::newRow("124 bytes: two full packets") << 124 << QByteArray("WS") << 62;
    QTest::newRow("130 bytes: three, 6 in the last") << 130 << QByteArray("WWS") << 6;
    QTest::newRow("62 bytes: one full packet") << 62 << QByteArray("S") << 62;
    QTest::newRow("1 byte") << 1 << QByteArray("S") << 1;
}

void tst_LoaderProtocol::usbPackets()
{
    QFETCH(int, size);
    QFETCH(QByteArray, commands);
    QFETCH(int, lastFileBytes);
    const QByteArray image = counting(size);
    FirmwareTransfer transfer(image, LoaderFraming::Usb);
    const QList<QByteArray> packets = sendAll(transfer);
    QCOMPARE(packets.size(), commands.size());
    for (int i = 0; i < packets.size(); ++i) {
        QCOMPARE(packets[i].size(), 64);
        QCOMPARE(packets[i].at(0), commands.at(i));
        QCOMPARE(uint8_t(packets[i].at(1)), uint8_t(i));
        const int fileBytes = i + 1 < packets.size() ? 62 : lastFileBytes;
        QCOMPARE(packets[i].mid(2, fileBytes), image.mid(i * 62, fileBytes));
        QCOMPARE(packets[i].mid(2 + fileBytes), QByteArray(62 - fileBytes, char(0xFF)));
    }
}

void tst_LoaderProtocol::goCommands()
{
    QCOMPARE(goCommand(LoaderFraming::Serial), QByteArray::fromHex("0A470D"));
    QByteArray usbGo(64, '\0');
    usbGo[0] = 0x47;
    QCOMPARE(goCommand(LoaderFraming::Usb), usbGo);
    QCOMPARE(usbCaptureReport(), QByteArray(64, 'A'));
}

void tst_LoaderProtocol::replies_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("serial");
    QTest::addColumn<int>("usb");
    const int none = int(LoaderReply::None), ack = int(LoaderReply::Ack), nak = int(LoaderReply::Nak),
              unknown = int(LoaderReply::Unknown);
    QTest::newRow("acknowledgement") << QByteArray("\n!\r") << ack << ack;
    QTest::newRow("refusal") << QByteArray("\n?\r") << nak << nak;
    QTest::newRow("nothing") << QByteArray() << none << none;
    QTest::newRow("other character") << QByteArray("\nX\r") << unknown << unknown;
    QTest::newRow("too short") << QByteArray("!\r") << unknown << unknown;
    QTest::newRow("after an answer frame") << QByteArray::fromHex("010800100040E5AD520A210D") << ack << ack;
    QTest::newRow("bytes after the reply") << QByteArray("\n!\rxx") << unknown << ack;
    QTest::newRow("report padded with zeros") << QByteArray("\n?\r").leftJustified(64, '\0') << unknown << nak;
}

void tst_LoaderProtocol::replies()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, serial);
    QFETCH(int, usb);
    QCOMPARE(int(parseSerialReply(bytes)), serial);
    QCOMPARE(int(parseUsbReply(bytes)), usb);
}

void tst_LoaderProtocol::sequenceWraps()
{
    // 258 packets: after 256 acknowledged packets the number is 0 again.
    const QByteArray image = counting(258 * 128 - 5);
    FirmwareTransfer transfer(image, LoaderFraming::Serial);
    const QList<QByteArray> packets = sendAll(transfer);
    QCOMPARE(packets.size(), 258);
    QCOMPARE(packets[255].mid(2, 2), QByteArray("FF"));
    QCOMPARE(packets[256].mid(2, 2), QByteArray("00"));
    QCOMPARE(packets[257].mid(2, 2), QByteArray("01"));
    QCOMPARE(packets[256].mid(4, 8), hexText(image.sliced(256 * 128, 4)));
}

void tst_LoaderProtocol::refusedShortPacketRepeats()
{
    const QByteArray image = counting(200);
    for (LoaderFraming framing : {LoaderFraming::Serial, LoaderFraming::Usb}) {
        FirmwareTransfer transfer(image, framing);
        while (transfer.acknowledged() + packetDataBytes(framing) < image.size())
            QCOMPARE(transfer.onReply(LoaderReply::Ack).outcome, Outcome::Continue);
        const QByteArray last = transfer.packet();
        const qsizetype before = transfer.acknowledged();
        QCOMPARE(transfer.onReply(LoaderReply::Nak).outcome, Outcome::Continue);
        QCOMPARE(transfer.packet(), last); // same number, same data
        QCOMPARE(transfer.acknowledged(), before);
        const FirmwareTransfer::Step done = transfer.onReply(LoaderReply::Ack);
        QCOMPARE(done.outcome, Outcome::Complete);
        QCOMPARE(done.message, QStringLiteral("Firmware load complete."));
        QCOMPARE(done.status, QStringLiteral("Firmware load complete"));
        QCOMPARE(transfer.acknowledged(), image.size());
    }
}

void tst_LoaderProtocol::serialFailures_data()
{
    QTest::addColumn<QList<int>>("replies");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("caption");
    const int ack = int(LoaderReply::Ack), nak = int(LoaderReply::Nak), none = int(LoaderReply::None),
              unknown = int(LoaderReply::Unknown);
    QTest::newRow("no reply ends at once") << QList<int>{none} << int(Outcome::Failed) << "Communication timeout";
    QTest::newRow("five refusals") << QList<int>{nak, nak, nak, nak, nak} << int(Outcome::Failed) << "Too many retries";
    QTest::newRow("four refusals, then ack") << QList<int>{nak, nak, nak, nak, ack} << int(Outcome::Continue) << "";
    QTest::newRow("ack resets the count") << QList<int>{nak, nak, nak, nak, ack, nak, nak, nak, nak}
                                          << int(Outcome::Continue) << "";
    // Garbage is never taken for an acknowledgement: it is a failed try.
    QTest::newRow("unrecognised replies") << QList<int>{unknown, unknown, nak, unknown, unknown} << int(Outcome::Failed)
                                          << "Too many retries";
}

void tst_LoaderProtocol::serialFailures()
{
    QFETCH(QList<int>, replies);
    QFETCH(int, outcome);
    QFETCH(QString, caption);
    FirmwareTransfer transfer(counting(5000), LoaderFraming::Serial);
    FirmwareTransfer::Step step;
    for (int reply : replies)
        step = transfer.onReply(LoaderReply(reply));
    QCOMPARE(int(step.outcome), outcome);
    if (step.outcome == Outcome::Failed) {
        QCOMPARE(step.status, QStringLiteral("Communication error"));
        QCOMPARE(step.message, QStringLiteral("Communication error"));
        QCOMPARE(step.caption, caption);
        QVERIFY(transfer.finished());
    }
}

void tst_LoaderProtocol::usbFailures_data()
{
    QTest::addColumn<QList<int>>("replies");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("caption");
    const int ack = int(LoaderReply::Ack), nak = int(LoaderReply::Nak), none = int(LoaderReply::None);
    QTest::newRow("ack") << QList<int>{ack} << int(Outcome::Continue) << "Good ACK" << "" << "";
    QTest::newRow("one refusal") << QList<int>{nak} << int(Outcome::Continue) << "Communication error: NAK" << "" << "";
    QTest::newRow("one missing") << QList<int>{none} << int(Outcome::Continue)
                                 << "Communication error: No reponse to packet" << "" << "";
    QTest::newRow("fifth failure refused") << QList<int>{none, nak, none, none, nak} << int(Outcome::Failed)
                                           << "Communication error: NAK" << "Communication error: NAK"
                                           << "Too many retries";
    QTest::newRow("fifth failure missing") << QList<int>{nak, nak, nak, nak, none} << int(Outcome::Failed)
                                           << "Communication error: No reponse to packet" << "Communication error"
                                           << "Communication timeout: No reponse to packet";
}

void tst_LoaderProtocol::usbFailures()
{
    QFETCH(QList<int>, replies);
    QFETCH(int, outcome);
    QFETCH(QString, status);
    QFETCH(QString, message);
    QFETCH(QString, caption);
    FirmwareTransfer transfer(counting(5000), LoaderFraming::Usb);
    const QByteArray first = transfer.packet();
    FirmwareTransfer::Step step;
    for (int reply : replies)
        step = transfer.onReply(LoaderReply(reply));
    QCOMPARE(int(step.outcome), outcome);
    QCOMPARE(step.status, status);
    QCOMPARE(step.message, message);
    QCOMPARE(step.caption, caption);
    if (replies.back() != int(LoaderReply::Ack) && step.outcome == Outcome::Continue)
        QCOMPARE(transfer.packet(), first);
}

void tst_LoaderProtocol::paddedImages()
{
    QCOMPARE(paddedImage(QByteArray("abc"), LoaderFraming::Usb), QByteArray("abc") + QByteArray(59, char(0xFF)));
    QCOMPARE(paddedImage(counting(256), LoaderFraming::Serial), counting(256));
    QCOMPARE(paddedImage(counting(257), LoaderFraming::Serial).size(), 384);
}

void tst_LoaderProtocol::readFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("reader.enc"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray image = counting(1000) + QByteArray(3, '\0') + QByteArray("\r\n\x1A");
    file.write(image);
    file.close();
    const FirmwareRead read = readFirmwareFile(path);
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(read.bytes, image); // unchanged, binary bytes included
}

void tst_LoaderProtocol::readFileRefusals()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("gone.enc"));
    FirmwareRead read = readFirmwareFile(missing);
    QVERIFY(read.bytes.isEmpty());
    QVERIFY2(read.error.contains(missing), qPrintable(read.error));
    QVERIFY2(read.error.contains(QStringLiteral("No such file")), qPrintable(read.error));

    const QString empty = dir.filePath(QStringLiteral("empty.enc"));
    QFile file(empty);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    read = readFirmwareFile(empty);
    QVERIFY(read.bytes.isEmpty());
    QVERIFY2(read.error.contains(empty) && read.error.contains(QStringLiteral("empty")), qPrintable(read.error));

    // A folder where the file was: opening works, reading does not.
    read = readFirmwareFile(dir.path());
    QVERIFY(read.bytes.isEmpty());
    QVERIFY2(read.error.contains(dir.path()), qPrintable(read.error));
}

void tst_LoaderProtocol::fileDialogPreselection_data()
{
    QTest::addColumn<bool>("usbChecked");
    QTest::addColumn<LoaderComType>("comType");
    QTest::addColumn<int>("selected");
    QTest::newRow("serial interface, serial loader") << false << LoaderComType::Serial << 0;
    QTest::newRow("serial interface, no answer yet") << false << LoaderComType::Unknown << 0;
    QTest::newRow("serial interface, USB loader") << false << LoaderComType::Usb << 1;
    QTest::newRow("USB interface, serial loader") << true << LoaderComType::Serial << 1;
    QTest::newRow("USB interface, USB loader") << true << LoaderComType::Usb << 1;
}

void tst_LoaderProtocol::fileDialogPreselection()
{
    QFETCH(bool, usbChecked);
    QFETCH(LoaderComType, comType);
    QFETCH(int, selected);
    const FirmwareFileRequest request = firmwareFileRequest(usbChecked, comType, QStringLiteral("/opt/vexa/firmware"));
    QCOMPARE(request.title, QStringLiteral("Select firmware to load"));
    QCOMPARE(request.folder, QStringLiteral("/opt/vexa/firmware"));
    QCOMPARE(request.filters, (QStringList{QStringLiteral("Serial/Virtual Com reader (*.enc)"),
                                           QStringLiteral("USB HID reader (*.eud *.eum)")}));
    QCOMPARE(request.selectedFilter, selected);
    QCOMPARE(defaultFirmwareFolder(QStringLiteral("/opt/vexa")), QStringLiteral("/opt/vexa/firmware"));
}

void tst_LoaderProtocol::firmwareFolderFallsBack()
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("bin"));
    const QString user = dir.filePath(QStringLiteral("user"));
    QVERIFY(QDir().mkpath(program));
    // A folder the program may write in keeps its firmware beside it.
    QCOMPARE(chooseFirmwareFolder(program, user), program + QStringLiteral("/firmware"));
    // A program folder that cannot take a new folder (here: not there at
    // all, which holds for root too) sends the operator to their own folder.
    const QString gone = dir.filePath(QStringLiteral("no-such/bin"));
    QCOMPARE(chooseFirmwareFolder(gone, user), user + QStringLiteral("/firmware"));
    // A firmware folder already beside the program is used as it is.
    QVERIFY(QDir().mkpath(program + QStringLiteral("/firmware")));
    QCOMPARE(chooseFirmwareFolder(program, user), program + QStringLiteral("/firmware"));
}

void tst_LoaderProtocol::afterUpgradeByName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("after");
    QTest::newRow("virtual com port") << "/fw/Vx_VIR_4_10.enc" << int(AfterUpgrade::SelectVirtualComPort);
    QTest::newRow("usb") << "/fw/Vx_USB_4_10.eud" << int(AfterUpgrade::ReconnectUsb);
    QTest::newRow("marker in the folder") << "/fw/Vx_USB/reader.enc" << int(AfterUpgrade::ReconnectUsb);
    QTest::newRow("both: virtual first") << "/Vx_USB/Vx_VIR.enc" << int(AfterUpgrade::SelectVirtualComPort);
    QTest::newRow("case matters") << "/fw/vx_vir.enc" << int(AfterUpgrade::RequestVersion);
    QTest::newRow("plain") << "/fw/reader.enc" << int(AfterUpgrade::RequestVersion);
}

void tst_LoaderProtocol::afterUpgradeByName()
{
    QFETCH(QString, path);
    QFETCH(int, after);
    QCOMPARE(int(afterUpgrade(path)), after);
}

QTEST_APPLESS_MAIN(tst_LoaderProtocol)
#include "tst_loaderprotocol.moc"
