// vexa-sim - how long the reader spends on the air for one tag command.
//
// A real reader hands its answer over only once its tags have answered;
// the simulator holds each answer back that long so that what a host
// measures against it is what it would measure against a reader. The
// figures (docs/DESIGN.md, "The simulator") are those of the fast data
// rates: ISO/IEC 15693 with 1-out-of-4 coding down (26.48 kbit/s) and
// 26.69 kbit/s up; Tag-it taken at the same rates; ISO/IEC
// 14443-A at 106 kbit/s with its anticollision cascade. Programming an
// EEPROM block (a write, a lock, AFI or DSFID) takes a tag kProgramUs.
//
// The time is judged from the field as the command finds it, before it is
// carried out: who answers (none, one tag, the tags of an inventory) and
// how much they send. A command a tag refuses is given the time of the
// same command carried out, which is no shorter than the refusal.
#pragma once

#include <vector>

#include "tags.h"

namespace vexa::sim {

namespace air {

constexpr double kCarrierHz = 13.56e6;
constexpr double kT1Us = 4352 / kCarrierHz * 1e6;     // command end to tag answer, 320.9 us
constexpr double kT2Us = 4192 / kCarrierHz * 1e6;     // tag answer end to the reader's next EOF, 309.1 us
constexpr double kDownByteUs = 8 * 1e6 / 26480.0;     // 1 out of 4: 302.1 us a byte
constexpr double kDownSofUs = 75.52;
constexpr double kDownEofUs = 37.76;
constexpr double kUpBitUs = 1e6 / 26690.0;            // 37.47 us
constexpr double kUpSofUs = 151.04;                   // also the EOF, and how long a silent slot is listened to
constexpr double kUpEofUs = 151.04;
constexpr double kProgramUs = 5000;                   // one EEPROM block
constexpr int kSlots = 16;
constexpr double kIso14443BitUs = 128 / kCarrierHz * 1e6; // 106 kbit/s: 9.44 us
constexpr double kIso14443FdtUs = 1236 / kCarrierHz * 1e6; // frame delay, 91.2 us

// A request of `bytes` bytes (flags to CRC) sent to the tags, and an answer.
double downUs(int bytes);
double upUs(int bytes);

} // namespace air

// Microseconds, rounded up, that the reader spends on the air for this
// request with these tags in the field (in the field's order); 0 for a
// command that does not reach the tags.
int airTimeUs(const TagRequest &request, const std::vector<Tag> &tags);

} // namespace vexa::sim
