// VexaHost - the transfer of a firmware image to the boot loader.
#include "firmwaretransfer.h"

#include <algorithm>
#include <utility>

namespace vexa {

namespace {
const QString kCommunicationError = QStringLiteral("Communication error");
const QString kNakError = QStringLiteral("Communication error: NAK");
const QString kNoResponse = QStringLiteral("Communication error: No reponse to packet");
} // namespace

FirmwareTransfer::FirmwareTransfer(QByteArray image, LoaderFraming framing)
    : m_image(std::move(image)), m_framing(framing)
{
}

QByteArray FirmwareTransfer::packet() const
{
    return writePacket(m_framing, m_sequence, m_image, m_position);
}

FirmwareTransfer::Step FirmwareTransfer::onReply(LoaderReply reply)
{
    if (m_finished)
        return {Outcome::Failed, {}, {}, {}};
    if (reply != LoaderReply::Ack)
        return failedTry(reply);

    m_failedTries = 0;
    m_sequence = uint8_t(m_sequence + 1);
    m_position = std::min<qsizetype>(m_image.size(), m_position + packetDataBytes(m_framing));
    if (m_position >= m_image.size()) {
        m_finished = true;
        return {Outcome::Complete, QStringLiteral("Firmware load complete"), QStringLiteral("Firmware load complete."), {}};
    }
    return {Outcome::Continue, m_framing == LoaderFraming::Usb ? QStringLiteral("Good ACK") : QString(), {}, {}};
}

FirmwareTransfer::Step FirmwareTransfer::failedTry(LoaderReply reply)
{
    const bool lastTry = m_failedTries + 1 >= kMaxTries;
    if (m_framing == LoaderFraming::Serial) {
        if (reply == LoaderReply::None) {
            m_finished = true;
            return {Outcome::Failed, kCommunicationError, kCommunicationError, QStringLiteral("Communication timeout")};
        }
        if (lastTry) {
            m_finished = true;
            return {Outcome::Failed, kCommunicationError, kCommunicationError, QStringLiteral("Too many retries")};
        }
        ++m_failedTries;
        return {Outcome::Continue, {}, {}, {}};
    }
    // USB: refusals and missing replies share one counter.
    const bool refused = reply == LoaderReply::Nak;
    const QString status = refused ? kNakError : kNoResponse;
    if (lastTry) {
        m_finished = true;
        if (refused)
            return {Outcome::Failed, status, kNakError, QStringLiteral("Too many retries")};
        return {Outcome::Failed, status, kCommunicationError, QStringLiteral("Communication timeout: No reponse to packet")};
    }
    ++m_failedTries;
    return {Outcome::Continue, status, {}, {}};
}

} // namespace vexa
