// Fuzz target: arbitrary loader replies through the transfer's state
// machine, and arbitrary host bytes through the simulator's boot loader.
//
// The first input byte picks the framing and a file size; the rest is cut
// into replies (each led by its length byte) that answer one packet each.
// Whatever the replies, every packet has its framing's size and carries the
// file's bytes at the acknowledged position, progress never passes the
// file, and completion comes only with every packet acknowledged. The same
// bytes then go to the simulator's loader as serial text, as sound serial
// packets and as USB reports.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "bootloader.h"
#include "core/loader/firmwaretransfer.h"
#include "core/loader/loaderprotocol.h"

using namespace vexa;

namespace {

// The loader says nothing, or acknowledges or refuses; over USB in a whole
// report.
void checkReply(const QByteArray &reply, LoaderFraming framing)
{
    if (reply.isEmpty())
        return;
    if (framing == LoaderFraming::Usb && reply.size() != loader::kUsbReportBytes)
        std::abort();
    if (!reply.startsWith("\n!\r") && !reply.startsWith("\n?\r"))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const LoaderFraming framing = (data[0] & 1) ? LoaderFraming::Usb : LoaderFraming::Serial;
    const int fileSize = 1 + data[1] * 7;
    QByteArray image(fileSize, '\0');
    for (int i = 0; i < fileSize; ++i)
        image[i] = char(i * 31);

    FirmwareTransfer transfer(image, framing);
    const int unit = packetDataBytes(framing);
    const int packets = (fileSize + unit - 1) / unit;
    int acks = 0;
    size_t offset = 2;
    while (offset < size && !transfer.finished()) {
        const size_t length = std::min<size_t>(size - offset - 1, data[offset]);
        const QByteArray reply(reinterpret_cast<const char *>(data + offset + 1), qsizetype(length));
        offset += length + 1;

        const QByteArray packet = transfer.packet();
        if (packet.size() != (framing == LoaderFraming::Serial ? loader::kSerialPacketBytes : loader::kUsbReportBytes))
            std::abort();
        if (framing == LoaderFraming::Usb && packet.mid(2, 1) != image.mid(transfer.acknowledged(), 1))
            std::abort();
        const LoaderReply parsed = framing == LoaderFraming::Serial ? parseSerialReply(reply) : parseUsbReply(reply);
        acks += parsed == LoaderReply::Ack;
        const FirmwareTransfer::Step step = transfer.onReply(parsed);
        if (transfer.acknowledged() > fileSize)
            std::abort();
        if (step.outcome == FirmwareTransfer::Outcome::Complete && (acks != packets || transfer.acknowledged() != fileSize))
            std::abort();
    }

    // The simulator's loader takes anything without losing its footing.
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    vexa::sim::BootLoader loader;
    loader.listen();
    QByteArray rest;
    for (const auto &out : loader.feed(input, &rest))
        checkReply(out.reply, LoaderFraming::Serial);
    if (loader.image().size() != loader.storedPackets() * loader::kSerialDataBytes)
        std::abort();

    // Sound packets with the input's numbers and data, as the host frames
    // them: arbitrary text almost never makes one, and the storing is where
    // an image could go wrong.
    vexa::sim::BootLoader framed;
    framed.listen();
    framed.feed(QByteArray(1, loader::kCapture));
    for (qsizetype at = 0; at + 1 < input.size(); at += 1 + loader::kSerialDataBytes)
        for (const auto &out : framed.feed(serialWritePacket(uint8_t(input[at]), QByteArrayView(input).sliced(at + 1), 0)))
            checkReply(out.reply, LoaderFraming::Serial);
    if (framed.image().size() != framed.storedPackets() * loader::kSerialDataBytes)
        std::abort();

    // Over USB, once captured: the input as output reports.
    vexa::sim::BootLoader usb;
    usb.listen();
    checkReply(usb.feedReport(usbCaptureReport()).reply, LoaderFraming::Usb);
    for (qsizetype at = 0; at < input.size(); at += loader::kUsbReportBytes)
        checkReply(usb.feedReport(input.mid(at, loader::kUsbReportBytes)).reply, LoaderFraming::Usb);
    if (usb.image().size() != usb.storedPackets() * loader::kUsbDataBytes)
        std::abort();
    return 0;
}
