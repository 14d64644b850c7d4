// VexaHost - what a front end asks the reader session to send, as a value:
// the session checks it, asks the operator where a lock needs it, builds
// the frame and sends it. No front end writes a frame.
#pragma once

#include <cstdint>
#include <variant>
#include <QByteArray>
#include <QString>

#include "core/codecs/configframes.h"
#include "core/codecs/iso15693.h"
#include "core/codecs/tagit.h"

namespace vexa {

// The ISO/IEC 14443-A page's command (its list index; 0 reads the UID).
struct Iso14443Command { int command = 0; };
// A parameterless management command (version, info, setup, reset, ...).
struct ManagementCommand { uint8_t code = 0; };
// The reader's self test: the ISO option bits travel in its flags byte.
struct ReaderTestCommand {};
// A frame body as typed: flags, command code, then its parameters.
struct RawCommand { QByteArray body; };
struct WiegandCommand { int modeIndex = 0; };
struct EncryptionCommand { bool userKey = false; QString keyText; bool plainText = false; };
struct FeedbackCommand { bool audioOn = true; bool ledOn = true; };
struct RfCommand { bool on = true; };
struct LedCommand { LedColour colour = LedColour::Red; QString timeText; };
struct AudioCommand { QString timeText; };
// The rate change: the rate command, then the setup read at the new rate.
struct BaudCommand { int rate = 0; };

using Command = std::variant<iso15693::Request, tagit::Request, Iso14443Command, ManagementCommand,
                             ReaderTestCommand, RawCommand, WiegandCommand, EncryptionCommand, FeedbackCommand,
                             RfCommand, LedCommand, AudioCommand, BaudCommand>;

// What became of a send. A refusal has told the operator why (through the
// prompt); `field` and `index` name the tag page's field it is about (the
// family's Field enumerator), for a window to put the focus on.
struct SendResult
{
    enum class Outcome {
        Sent,     // out, its answer awaited
        Refused,  // the input was refused; nothing went out
        Declined, // the operator said no to a question; nothing went out
        Failed    // the interface would not take it (the message names why)
    };
    Outcome outcome = Outcome::Sent;
    QString refusal;
    int field = 0;
    int index = 0;

    bool sent() const { return outcome == Outcome::Sent; }
};

} // namespace vexa
