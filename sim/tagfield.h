// vexa-sim - the tags in the reader's field.
//
// The reader model hands every tag command (code below 0xE0, other than the
// reader test 0x26) to the field while the RF transmitter is on. A field
// that has no answer leaves the model to answer like a reader that finds
// nothing: the inventories report no tag, every other command status 2,
// code 0x01.
#pragma once

#include <cstdint>
#include <optional>
#include <QByteArray>

namespace vexa::sim {

// Reader error codes sent with status 2.
enum ReaderError : uint8_t {
    kNoTransponder = 0x01,
    kNotSupported = 0x02,
    kBadCheck = 0x03,
    kUndefinedError = 0x04,
};

// What the reader sends back for one command: the status byte and the
// payload from frame byte 6 (with a non-zero status, byte 6 is the error code).
struct Answer
{
    uint8_t status = 0;
    QByteArray payload;
};

// One tag command as the reader parsed it: the address field, when present,
// is already removed from the parameters.
struct TagRequest
{
    uint8_t flags = 0;
    uint8_t code = 0;
    QByteArray parameters;
};

class TagField
{
public:
    virtual ~TagField() = default;
    virtual std::optional<Answer> answer(const TagRequest &request) = 0;
    // Microseconds the reader spends on the air for this request, judged
    // before answer() carries it out (airtime.h).
    virtual int airTimeUs(const TagRequest &) const { return 0; }
};

// What a reader answers when no tag at all is powered: "none found" for the
// commands that search the field (ISO 15693 inventory, Tag-it inventory and
// SID reads), nothing for the others.
std::optional<Answer> emptyFieldAnswer(uint8_t code);

} // namespace vexa::sim
