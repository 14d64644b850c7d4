// Fuzz target: arbitrary bytes through reception, routing and every report.
//
// The input is cut into arrival chunks the way a serial port delivers them;
// each chunk is appended to a receive buffer, the block is judged as the
// response timer does, and whatever starts at the first start byte is handed
// to every report writer, valid or not, so no report can read out of bounds
// whatever the reader sends. The same bytes are then made into a sound frame
// (length byte and frame check put right) and reported again: a reader may
// send any payload in a well-formed frame, and the Tag-it reports only look
// at well-formed ones, so mutations that break the check still reach them.
//
// Seeds: tests/fuzz/seeds/responses (made by make_seeds); dictionary:
// tests/fuzz/responses.dict.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "core/codecs/iso14443.h"
#include "core/codecs/iso15693.h"
#include "core/codecs/management.h"
#include "core/codecs/tagit.h"
#include "core/wire/frame.h"
#include "core/wire/reception.h"

using namespace vexa;

namespace {

// Keeps the reports from being optimised away.
volatile qsizetype g_sink;

qsizetype reportAll(const FrameView &frame, int received)
{
    qsizetype lines = 0;
    for (TagPage page : {TagPage::Iso15693, TagPage::Iso14443, TagPage::Tagit})
        lines += int(routeResponse(frame.code(), page));
    lines += reportManagementResponse(frame).report.lines.size();
    lines += iso15693::reportResponse(frame, 0).lines.size();
    lines += iso15693::reportResponse(frame, 1).lines.size();
    lines += tagit::reportResponse(frame, received).lines.size();
    lines += iso14443::reportResponse(frame).lines.size();
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static ReceiveBuffer buffer; // 8 KiB: keep it off the stack
    buffer.clear();
    size_t offset = 0;
    while (offset < size) {
        // The first byte of each chunk says how many bytes follow in it.
        const size_t chunk = std::min<size_t>(size - offset - 1, data[offset]);
        buffer.append(data + offset + 1, int(chunk));
        offset += chunk + 1;
    }

    const int count = buffer.count();
    const int p = findStartByte(buffer.data(), count);
    if (p < 0)
        return 0;
    qsizetype lines = 0;
    lines += blockCheck(buffer.data(), count) ? 1 : 0;
    lines += reportAll(buffer.viewFrom(p), count - p);

    // The same bytes as one sound frame of at most 255 bytes (8 at least).
    const int n = std::clamp(count - p, 8, 255);
    std::array<uint8_t, 255> sound{};
    std::copy_n(buffer.data() + p, std::min(n, count - p), sound.begin());
    sound[1] = uint8_t(n);
    sound[2] = 0;
    writeFrameCheck(sound.data(), n);
    if (!blockCheck(sound.data(), n))
        __builtin_trap(); // a frame put right must pass the block check
    lines += reportAll(FrameView(sound.data(), n), n);
    g_sink = lines;
    return 0;
}
