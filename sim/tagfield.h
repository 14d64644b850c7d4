// vexa-sim - the tags in the reader's field.
//
// The reader model hands every tag command (code below 0xE0, other than the
// reader test 0x26) to the field while the RF transmitter is on. A field
// that has no answer (no tag of the right family, no tag at all) leaves the
// model to answer like a reader that finds nothing: status 2, code 0x01.
#pragma once

#include <cstdint>
#include <optional>
#include <QByteArray>

namespace vexa::sim {

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
};

} // namespace vexa::sim
