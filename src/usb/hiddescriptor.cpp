// AtUsbHid - the report sizes a HID report descriptor describes.
#include "hiddescriptor.h"

#include <cstdint>

namespace atusbhid {

namespace {

constexpr int kMaxPushDepth = 8;
// Larger than any report a HID device can have; keeps the sums far from
// overflowing.
constexpr std::uint64_t kMaxReportBits = 8u * 65536u;

struct Globals
{
    std::uint64_t reportSize = 0;
    std::uint64_t reportCount = 0;
    std::uint32_t reportId = 0;
};

struct Kind
{
    bool seen = false;
    std::uint32_t reportId = 0;
    std::uint64_t bits = 0;

    bool add(const Globals &g)
    {
        if (!seen) {
            seen = true;
            reportId = g.reportId;
        }
        if (g.reportId != reportId)
            return true;
        if (g.reportSize > kMaxReportBits || g.reportCount > kMaxReportBits)
            return false;
        bits += g.reportSize * g.reportCount;
        return bits <= kMaxReportBits;
    }
    int bytes() const { return int((bits + 7) / 8); }
};

} // namespace

ReportSizes parseReportDescriptor(const unsigned char *data, std::size_t size)
{
    ReportSizes sizes;
    if (!data && size != 0)
        return sizes;
    Globals globals;
    Globals stack[kMaxPushDepth];
    int depth = 0;
    Kind input, output, feature;

    for (std::size_t at = 0; at < size;) {
        const unsigned char prefix = data[at];
        if (prefix == 0xFE) { // long item: skipped whole
            if (size - at < 3 || size - at - 3 < data[at + 1])
                return sizes;
            at += 3 + std::size_t(data[at + 1]);
            continue;
        }
        static constexpr std::size_t kDataSize[4] = {0, 1, 2, 4};
        const std::size_t length = kDataSize[prefix & 0x03];
        if (size - at - 1 < length)
            return sizes;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < length; ++i)
            value |= std::uint32_t(data[at + 1 + i]) << (8 * i);
        at += 1 + length;

        const int type = (prefix >> 2) & 0x03;
        const int tag = prefix >> 4;
        if (type == 1) { // global
            switch (tag) {
            case 7: globals.reportSize = value; break;
            case 8: globals.reportId = value; break;
            case 9: globals.reportCount = value; break;
            case 10:
                if (depth == kMaxPushDepth)
                    return sizes;
                stack[depth++] = globals;
                break;
            case 11:
                if (depth == 0)
                    return sizes;
                globals = stack[--depth];
                break;
            default: break;
            }
        } else if (type == 0) { // main
            bool ok = true;
            if (tag == 8)
                ok = input.add(globals);
            else if (tag == 9)
                ok = output.add(globals);
            else if (tag == 11)
                ok = feature.add(globals);
            if (!ok)
                return sizes;
        }
    }
    sizes.valid = true;
    sizes.input = input.bytes();
    sizes.output = output.bytes();
    sizes.feature = feature.bytes();
    return sizes;
}

int reportSizeOr(int described, int fallback, int limit)
{
    const int size = described > 0 ? described : fallback;
    return size < limit ? size : limit;
}

} // namespace atusbhid
