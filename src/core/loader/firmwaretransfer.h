// VexaHost - the transfer of a firmware image to the boot loader, as a state
// machine without I/O: it says which packet to send, and what a reply (or
// its absence) means for the next step, the status line and the operator.
//
// One packet is outstanding at a time. An acknowledgement moves on to the
// next packet and number (mod 256). A refusal, and any reply that is neither
// acknowledgement nor refusal, sends the same packet again (same number,
// same data), at most five times in a row. Over serial a missing reply ends
// the transfer; over USB it counts as a failed try like a refusal.
#pragma once

#include <QByteArray>
#include <QString>

#include "core/loader/loaderprotocol.h"

namespace vexa {

class FirmwareTransfer
{
public:
    static constexpr int kMaxTries = 5;

    enum class Outcome { Continue, Complete, Failed };
    struct Step
    {
        Outcome outcome = Outcome::Continue;
        QString status;  // for the status line; empty: leave it
        QString message; // for a message box; empty: none
        QString caption;
    };

    // `image` must not be empty (see readFirmwareFile).
    FirmwareTransfer(QByteArray image, LoaderFraming framing);

    // The packet to send now.
    QByteArray packet() const;
    uint8_t sequenceNumber() const { return m_sequence; }
    // File bytes acknowledged so far: the progress position.
    qsizetype acknowledged() const { return m_position; }
    qsizetype size() const { return m_image.size(); }
    int failedTries() const { return m_failedTries; }
    bool finished() const { return m_finished; }

    Step onReply(LoaderReply reply);

private:
    Step failedTry(LoaderReply reply);

    QByteArray m_image;
    LoaderFraming m_framing;
    qsizetype m_position = 0;
    uint8_t m_sequence = 0;
    int m_failedTries = 0;
    bool m_finished = false;
};

} // namespace vexa
