// Fuzz target: a dump file from wherever the operator points (ours, the
// Proxmark3 client's, a hand edit). A text is refused with a reason or read
// into a dump that checks out and writes as a file that reads back with the
// same memory; from the second reading on nothing changes (a reason may hold
// text UTF-8 cannot carry). A dump with every block read survives a .bin.
//
// Seeds: tests/fuzz/seeds/tagdump; dictionary: tests/fuzz/tagdump.dict.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/codecs/tagdump.h"

using namespace vexa::tagdump;

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

TagDump reread(const TagDump &dump)
{
    const Decoded back = fromJson(toJson(dump).bytes);
    require(back.error.isEmpty());
    return back.dump;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Decoded first = fromJson(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!first.error.isEmpty())
        return 0;
    require(checkDump(first.dump).isEmpty());
    const TagDump second = reread(first.dump);
    require(reread(second) == second && second.blocks.size() == first.dump.blocks.size());
    const Encoded bin = toBin(first.dump);
    for (qsizetype n = 0; n < second.blocks.size(); ++n) {
        require(second.blocks[n].data == first.dump.blocks[n].data && second.blocks[n].locked == first.dump.blocks[n].locked);
        require(!bin.refusal.isEmpty() || bin.bytes.mid(n * first.dump.blockSize, first.dump.blockSize) == second.blocks[n].data);
    }
    require(bin.refusal.isEmpty() == std::all_of(second.blocks.begin(), second.blocks.end(), [](const Block &b) { return b.isRead(); }));
    return 0;
}
