// Fuzz target: the bytes the simulator reads from the host's line.
//
// The input is cut into arrival chunks (a byte: bits 0-6 the chunk's length,
// bit 7 a pause of 150 ms before it, long enough to drop a partial frame),
// fed through the frame assembler, and every frame it gives is answered by a
// reader model with the default tags in its field. Every answer must be one
// sound frame that the host's block check accepts (no faults are set).
//
// Seeds: tests/fuzz/seeds/sim_requests (made by make_seeds); dictionary:
// tests/fuzz/sim_requests.dict.
#include <cstddef>
#include <cstdint>

#include "frameassembler.h"
#include "core/wire/reception.h"
#include "readermodel.h"
#include "tagcollection.h"
#include "tagline.h"

using namespace vexa::sim;

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Parsing the default tags once keeps the runs fast; each run gets a copy.
    static const TagCollection defaults = [] {
        TagCollection tags;
        addDefaultTags(tags);
        return tags;
    }();
    TagCollection field = defaults;
    ReaderModel model;
    model.setTagField(&field);
    FrameAssembler assembler;

    qint64 now = 1000;
    size_t offset = 0;
    while (offset < size) {
        const uint8_t head = data[offset];
        const size_t chunk = std::min<size_t>(size - offset - 1, head & 0x7F);
        now += (head & 0x80) ? 150 : 1;
        const QByteArray bytes(reinterpret_cast<const char *>(data + offset + 1), qsizetype(chunk));
        offset += chunk + 1;
        const FrameAssembler::Output out = assembler.feed(bytes, now);
        for (const QByteArray &frame : out.frames) {
            require(frame.size() >= FrameAssembler::kMinFrame && frame.size() <= FrameAssembler::kMaxFrame);
            const Reply reply = model.handle(frame);
            if (reply.bytes.isEmpty())
                continue;
            require(reply.bytes.size() <= 255);
            require(vexa::blockCheck(reinterpret_cast<const uint8_t *>(reply.bytes.constData()),
                                     int(reply.bytes.size())));
        }
    }
    return 0;
}
