// VexaHost - the boot loader's wire format, both framings.
#include "loaderprotocol.h"

#include <algorithm>

namespace vexa {

namespace {

void appendHex(QByteArray &out, uint8_t byte)
{
    static const char digits[] = "0123456789ABCDEF";
    out.append(digits[byte >> 4]);
    out.append(digits[byte & 0x0F]);
}

} // namespace

int packetDataBytes(LoaderFraming framing)
{
    return framing == LoaderFraming::Serial ? loader::kSerialDataBytes : loader::kUsbDataBytes;
}

QByteArray serialWritePacket(uint8_t sequence, QByteArrayView image, qsizetype offset)
{
    QByteArray packet;
    packet.reserve(loader::kSerialPacketBytes);
    packet.append(loader::kLineFeed);
    packet.append(loader::kWrite);
    appendHex(packet, sequence);
    for (qsizetype i = 0; i < loader::kSerialDataBytes; ++i) {
        const qsizetype at = offset + i;
        appendHex(packet, at >= 0 && at < image.size() ? uint8_t(image[at]) : loader::kFill);
    }
    packet.append(loader::kCarriageReturn);
    return packet;
}

QByteArray usbWritePacket(uint8_t sequence, QByteArrayView image, qsizetype offset)
{
    QByteArray report(loader::kUsbReportBytes, char(loader::kFill));
    const qsizetype start = std::clamp<qsizetype>(offset, 0, image.size());
    const qsizetype count = std::min<qsizetype>(loader::kUsbDataBytes, image.size() - start);
    // The packet whose data reaches the end of the file is the last, also
    // when it is full.
    report[0] = start + count >= image.size() ? loader::kWriteLast : loader::kWrite;
    report[1] = char(sequence);
    std::copy_n(image.data() + start, count, report.data() + 2);
    return report;
}

QByteArray writePacket(LoaderFraming framing, uint8_t sequence, QByteArrayView image, qsizetype offset)
{
    return framing == LoaderFraming::Serial ? serialWritePacket(sequence, image, offset)
                                            : usbWritePacket(sequence, image, offset);
}

QByteArray goCommand(LoaderFraming framing)
{
    if (framing == LoaderFraming::Serial)
        return QByteArray{"\x0A\x47\x0D", 3};
    QByteArray report(loader::kUsbReportBytes, '\0');
    report[0] = loader::kGo;
    return report;
}

QByteArray usbCaptureReport()
{
    return QByteArray(loader::kUsbReportBytes, loader::kCapture);
}

LoaderReply parseSerialReply(QByteArrayView packet)
{
    if (packet.isEmpty())
        return LoaderReply::None;
    if (packet.size() < 3)
        return LoaderReply::Unknown;
    const QByteArrayView tail = packet.last(3);
    if (tail[0] != loader::kLineFeed || tail[2] != loader::kCarriageReturn)
        return LoaderReply::Unknown;
    if (tail[1] == loader::kAck)
        return LoaderReply::Ack;
    if (tail[1] == loader::kNak)
        return LoaderReply::Nak;
    return LoaderReply::Unknown;
}

LoaderReply parseUsbReply(QByteArrayView report)
{
    if (report.isEmpty())
        return LoaderReply::None;
    if (report.indexOf(QByteArrayView("\n!\r")) >= 0)
        return LoaderReply::Ack;
    if (report.indexOf(QByteArrayView("\n?\r")) >= 0)
        return LoaderReply::Nak;
    return LoaderReply::Unknown;
}

QByteArray paddedImage(QByteArrayView image, LoaderFraming framing)
{
    const qsizetype unit = packetDataBytes(framing);
    const qsizetype packets = (image.size() + unit - 1) / unit;
    QByteArray padded(packets * unit, char(loader::kFill));
    std::copy_n(image.data(), image.size(), padded.data());
    return padded;
}

} // namespace vexa
