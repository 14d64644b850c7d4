// Fuzz target: a device's HID report descriptor through the USB library's
// parser. Whatever the bytes, it reads only inside them, and a descriptor it
// accepts gives sizes no larger than any HID report can be.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "hiddescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // An exact-size copy: a read past the input is a read past a buffer.
    const std::vector<unsigned char> bytes(data, data + size);
    const atusbhid::ReportSizes sizes = atusbhid::parseReportDescriptor(bytes.data(), bytes.size());
    for (int bytesOf : {sizes.input, sizes.output, sizes.feature})
        if (bytesOf < 0 || bytesOf > 65536 || (!sizes.valid && bytesOf != 0))
            std::abort();
    const int chosen = atusbhid::reportSizeOr(sizes.output, 16, 64);
    if (chosen < 1 || chosen > 64)
        std::abort();
    return 0;
}
