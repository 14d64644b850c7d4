// Fuzz target: a tag memory read from any ISO/IEC 15693 tag, through the
// NDEF reading, its words and fields, and a URI placed on it.
//
// The input is the memory in memory order. It is read as a tag and as a
// bare message; then a URI is laid out on it as on a tag of 4-byte blocks
// (odd bytes dropped) with the last block locked. A layout that is not
// refused must touch no locked block, change nothing outside its writes and
// read back as the URI.
//
// Seeds: tests/fuzz/seeds/ndef; dictionary: tests/fuzz/ndef.dict.
#include <cstddef>
#include <cstdint>

#include "core/codecs/ndef.h"

using namespace vexa::ndef;

namespace {

volatile qsizetype g_sink;

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    const QByteArray memory(reinterpret_cast<const char *>(data), qsizetype(size));
    const TagContent content = readTag(memory);
    qsizetype sink = tagLines(content).size() + tagFields(content).size();
    sink += messageLines(decodeMessage(memory)).size();

    const int blocks = int(size / 4);
    if (blocks > 0) {
        QList<bool> locked(blocks, false);
        locked.last() = true;
        const QByteArray before = memory.left(blocks * 4);
        const Layout l = layout({4, blocks, locked, before, false}, encodeUri("https://example.com").bytes);
        if (l.refusal.isEmpty()) {
            QByteArray rebuilt = before;
            for (const BlockWrite &w : l.writes) {
                require(!locked[w.block] && w.bytes.size() == 4);
                rebuilt.replace(w.block * 4, 4, w.bytes);
            }
            require(rebuilt == l.memory);
            require(messageLines(readTag(l.memory).message) == QStringList{"URI: https://example.com"});
        }
    }
    g_sink = sink;
    return 0;
}
