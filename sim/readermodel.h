// vexa-sim - the reader itself: one request frame in, the reply bytes out.
//
// Request frame (host -> reader), n bytes:
//   0      0x01
//   1..2   n, low byte first
//   3      type byte 0x10 (not examined)
//   4      flags; bit 5 = an 8-byte address field follows the command code
//   5      command code
//   6..    parameters (addressed: serial number text and zero bytes at
//          6..13, parameters from 14)
//   n-2    XOR of bytes 0..n-3,  n-1  that XOR ^ 0xFF
//
// Reply frame (reader -> host), never with an address field:
//   01, length low, length high, 10, status, command code, payload, check
//
// Management answers, payload from frame byte 6:
//   E0 version   minor, major, image kind 7, generation, 8-byte serial text
//   E3 loader    minor, major, loader interface, firmware interface, ASIC
//   E6 diag      self-test result, RF field, antenna, supply (uninterpreted)
//   E7 setup     Wiegand output, flags (RF b0, LED b2, audio b3, family
//                b4-6), baud code, AFI, encryption option bits
//   EB info      7-char serial + zero, lifetime count u16, firmware x100 u16
//   E5 EC ED EE EF 26   no payload
//
// The model does no I/O and knows no clock: pacing, pauses and the switch of
// the line rate after a baud command are described by the Reply and carried
// out by whoever owns the line.
#pragma once

#include <array>
#include <cstdint>
#include <QByteArray>
#include <QString>

#include "tagfield.h"

namespace vexa::sim {

constexpr int kDefaultBaudRate = 38400;

// Setup answer bits and values.
enum : uint8_t {
    kRfOn = 0x01,
    kLedOn = 0x04,
    kAudioOn = 0x08,
    kFamilyMask = 0x70,
    kWiegandReportsUid = 0x40,
    kWiegandReportsData = 0x80,
};

// The reader's rates by the code of the setup answer (0..3) and the baud
// sub-commands 0x0E..0x11.
int baudRateForCode(int code);
int baudCodeForRate(int rate); // -1 for a rate the reader does not have

struct ReaderState
{
    QByteArray serialNumber = "4000123";
    uint8_t firmwareMajor = 4;
    uint8_t firmwareMinor = 7;
    int baudRate = kDefaultBaudRate;
    uint8_t wiegandOutput = 0; // setup byte 6
    uint8_t wiegandFormat = 0; // as last sent with a Wiegand sub-command
    uint8_t readerFlags = kRfOn | kLedOn | kAudioOn; // setup byte 7
    uint8_t afi = 0;
    uint8_t encryption = 0; // option bits of the last 0xEC
    std::array<uint8_t, 8> userKey{};
    uint8_t ledColour = 0; // last activation, for the state summary
    int ledTime = 0;       // units of 5 ms
    int audioTime = 0;
    uint16_t lifetimeCount = 0;
    // The reader's boot loader answers over USB (a --usb simulator), not on
    // the serial line.
    bool usbLoader = false;
    // Answers wait for the request to cross the line and for the tags'
    // air time (airtime.h); off, they leave as soon as the line is free.
    bool airTime = true;
};

// Faults asked for by the operator of the simulator; each count is used up
// by the answers (or, for silence, the requests) it affects.
struct Faults
{
    int statusCount = 0;
    uint8_t status = 0;
    uint8_t errorCode = 0;
    int badCheckCount = 0;
    int silentCount = 0;
    int keepRateCount = 0; // baud commands answered without changing the rate
    QByteArray stray; // sent before the next answer, then forgotten
    int gapMs = 0;    // pause inside the next answer, then forgotten
};

struct Reply
{
    QByteArray bytes; // empty: the reader stays quiet
    int gapAt = -1;   // pause of gapMs before bytes[gapAt]
    int gapMs = 0;
    int baudAfter = 0; // the reader's line switches to this rate afterwards
    int airUs = 0;     // the reader's time on the air before it has the answer
    QString note;      // why there is no answer, for the trace
};

class ReaderModel
{
public:
    Reply handle(const QByteArray &request);

    ReaderState &state() { return m_state; }
    const ReaderState &state() const { return m_state; }
    Faults &faults() { return m_faults; }
    const Faults &faults() const { return m_faults; }

    // 1 to 8 printable characters without blanks; false leaves it unchanged.
    bool setSerialNumber(const QByteArray &text);
    // Only the four rates of the reader; false leaves it unchanged.
    bool setBaudRate(int rate);
    // Not owned; nullptr empties the field.
    void setTagField(TagField *field) { m_tagField = field; }

    QString summary() const;

    static QByteArray responseFrame(uint8_t status, uint8_t code, const QByteArray &payload);

private:
    struct Request
    {
        uint8_t flags = 0;
        uint8_t code = 0;
        QByteArray parameters;
    };
    struct Outcome
    {
        Answer answer;
        int baudAfter = 0;
        int airUs = 0;
    };
    using Handler = Outcome (ReaderModel::*)(const Request &);

    Handler handlerFor(uint8_t code) const;
    Outcome execute(const Request &request);
    Reply finish(uint8_t code, const Outcome &outcome);

    Outcome version(const Request &);
    Outcome loaderInfo(const Request &);
    Outcome reset(const Request &);
    Outcome diagnostics(const Request &);
    Outcome readSetup(const Request &);
    Outcome readInformation(const Request &);
    Outcome setEncryption(const Request &);
    Outcome setConfiguration(const Request &);
    Outcome activateLed(const Request &);
    Outcome activateAudio(const Request &);
    Outcome readerTest(const Request &);
    Outcome tagCommand(const Request &);

    ReaderState m_state;
    Faults m_faults;
    TagField *m_tagField = nullptr;
};

} // namespace vexa::sim
