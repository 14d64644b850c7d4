// vexa-sim - how long the reader spends on the air for one tag command.
//
// Frame sizes on the air, flags byte to CRC:
//   ISO/IEC 15693 request   flags, code, parameters as the reader got them
//                           (UID included when addressed), CRC: 4 + p bytes;
//                           the inventory flags, code, mask length 0, the
//                           AFI when not 0, CRC
//   answer                  flags, data, CRC: 3 + data bytes; data is
//                           lock flag and block (View One Block), 4 bytes a
//                           block (View Many), 14 (system information), a
//                           flag a block (lock status), none (writes, locks)
//   inventory               16 slots; a slot with a tag: t1, its answer of
//                           12 bytes (flags, DSFID, UID, CRC), t2; a silent
//                           slot: t1 and the length of a SOF; each slot but
//                           the last closed by the reader's EOF. Two tags are
//                           taken to answer in different slots.
//   Tag-it                  the same framing and rates; the SID reads and the
//                           inventory slotted like the ISO inventory, each
//                           tag answering address, lock flags, blocks
//   nobody there            the request, t1 and a SOF's length of silence
#include "airtime.h"

#include <algorithm>
#include <cmath>

namespace vexa::sim {

namespace air {

double downUs(int bytes)
{
    return kDownSofUs + bytes * kDownByteUs + kDownEofUs;
}

double upUs(int bytes)
{
    return kUpSofUs + bytes * 8 * kUpBitUs + kUpEofUs;
}

} // namespace air

namespace {

using namespace air;

constexpr int kCrc = 2;

int byteAt(const QByteArray &bytes, int i)
{
    return i < bytes.size() ? uint8_t(bytes.at(i)) : 0;
}

uint64_t lowFirstValue(const QByteArray &bytes, int count)
{
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | uint8_t(bytes.at(i));
    return value;
}

double silenceUs(int requestBytes)
{
    return downUs(requestBytes) + kT1Us + kUpSofUs;
}

// A slotted round in which `answers` tags send `answerBytes` each.
double slotsUs(int requestBytes, int answers, int answerBytes)
{
    const int occupied = std::min(answers, kSlots);
    return downUs(requestBytes) + occupied * (kT1Us + upUs(answerBytes) + kT2Us)
        + (kSlots - occupied) * (kT1Us + kUpSofUs) + (kSlots - 1) * kDownEofUs;
}

// One tag reached: the request, t1, any programming, the answer of
// `answerData` bytes between flags and CRC.
double exchangeUs(int requestBytes, int answerData, int programmed)
{
    return downUs(requestBytes) + programmed * kProgramUs + kT1Us + upUs(1 + answerData + kCrc);
}

template <typename T>
int countOf(const std::vector<Tag> &tags)
{
    return int(std::count_if(tags.begin(), tags.end(), [](const Tag &t) { return std::holds_alternative<T>(t); }));
}

double iso15693Us(const TagRequest &request, const std::vector<Tag> &tags)
{
    const QByteArray &p = request.parameters;
    if (request.code == iso15693::kInventory) {
        const auto afi = uint8_t(byteAt(p, 0));
        const int answers = int(std::count_if(tags.begin(), tags.end(), [afi](const Tag &t) {
            const auto *iso = std::get_if<Iso15693Tag>(&t);
            return iso && iso->answersAfi(afi);
        }));
        return slotsUs(5 + (afi ? 1 : 0), answers, 12);
    }

    const int requestBytes = 4 + int(p.size());
    const bool addressed = request.flags & iso15693::kUidFlag;
    if (addressed && p.size() < iso15693::kUidSize)
        return 0; // refused by the reader, never sent
    const uint64_t uid = addressed ? lowFirstValue(p, iso15693::kUidSize) : 0;
    const auto reached = std::find_if(tags.begin(), tags.end(), [&](const Tag &t) {
        const auto *iso = std::get_if<Iso15693Tag>(&t);
        return iso && (!addressed || iso->uid == uid);
    });
    if (reached == tags.end())
        return silenceUs(requestBytes);
    const Iso15693Tag *tag = &std::get<Iso15693Tag>(*reached);
    const int at = addressed ? iso15693::kUidSize : 0; // parameters after the UID

    const int count = byteAt(p, at + 1);
    switch (request.code) {
    case 0x20: return exchangeUs(requestBytes, 1 + tag->blockSize, 0);
    case 0x23: return exchangeUs(requestBytes, count * tag->blockSize, 0);
    case 0x2B: return exchangeUs(requestBytes, 14, 0);
    case 0x2C: return exchangeUs(requestBytes, count, 0);
    case 0x24: return exchangeUs(requestBytes, 0, count);
    default: return exchangeUs(requestBytes, 0, 1); // the other writes and locks
    }
}

double tagitUs(const TagRequest &request, const std::vector<Tag> &tags)
{
    const QByteArray &p = request.parameters;
    const int requestBytes = 4 + int(p.size());
    if (!tagit::reachesOneTag(request.code)) {
        constexpr int kRecord = 1 + 1 + 4; // lock flag, block number, value
        int answerBytes = 1 + tagit::kAddressSize + kCrc;
        if (request.code == tagit::kReadBlockSid)
            answerBytes += kRecord;
        else if (request.code == tagit::kReadMultiBlockSid)
            answerBytes += byteAt(p, 1) * kRecord;
        return slotsUs(requestBytes, countOf<TagitTag>(tags), answerBytes);
    }

    const bool addressed = request.flags & tagit::kAddressFlag;
    if (addressed && p.size() < tagit::kAddressSize)
        return 0;
    const auto address = addressed ? uint32_t(lowFirstValue(p, tagit::kAddressSize)) : 0;
    const bool found = std::any_of(tags.begin(), tags.end(), [&](const Tag &t) {
        const auto *tagit = std::get_if<TagitTag>(&t);
        return tagit && (!addressed || tagit->address == address);
    });
    if (!found)
        return silenceUs(requestBytes);

    const int at = addressed ? tagit::kAddressSize : 0;
    const int count = byteAt(p, at + 1);
    switch (request.code) {
    case 0x05: return exchangeUs(requestBytes, 9, 0);
    case 0x07: return exchangeUs(requestBytes, 1 + 4, 0);
    case 0x0A: return exchangeUs(requestBytes, count * (1 + 4), 0);
    case 0x06: return exchangeUs(requestBytes, 0, 2); // the value, then its lock
    case 0x08:
    case 0x09: return exchangeUs(requestBytes, 0, count);
    default: return exchangeUs(requestBytes, 0, 1);
    }
}

// A standard frame of `bytes` bytes, each with its parity bit, between a
// start bit and the end of communication.
double iso14443FrameUs(int bytes)
{
    return (9 * bytes + 2) * kIso14443BitUs;
}

double iso14443Us(const std::vector<Tag> &tags)
{
    const double request = 9 * kIso14443BitUs + kIso14443FdtUs; // REQA, a 7-bit short frame
    const double atqa = iso14443FrameUs(2);
    for (const Tag &t : tags) {
        const auto *card = std::get_if<Iso14443Card>(&t);
        if (!card)
            continue;
        // One cascade level per 4 UID bytes sent (4, 7, 10 bytes: 1, 2, 3):
        // anticollision, its UID part, select, SAK.
        const int levels = card->uid.size() <= 4 ? 1 : card->uid.size() <= 7 ? 2 : 3;
        const double level = iso14443FrameUs(2) + kIso14443FdtUs + iso14443FrameUs(5) + iso14443FrameUs(9)
            + kIso14443FdtUs + iso14443FrameUs(3);
        return request + atqa + levels * level;
    }
    return request + atqa; // listened for an ATQA that does not come
}

} // namespace

int airTimeUs(const TagRequest &request, const std::vector<Tag> &tags)
{
    double us = 0;
    if (iso15693::handles(request.code))
        us = iso15693Us(request, tags);
    else if (tagit::handles(request.code))
        us = tagitUs(request, tags);
    else if (request.code == 0x40)
        us = iso14443Us(tags);
    return int(std::ceil(us));
}

} // namespace vexa::sim
