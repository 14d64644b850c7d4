// Fuzz target: arbitrary bytes through reception, routing and every report.
//
// The input is cut into arrival chunks the way a serial port delivers them;
// each chunk is appended to a receive buffer, the block is judged as the
// response timer does, and whatever starts at the first start byte is handed
// to every report writer, valid or not, so no report can read out of bounds
// whatever the reader sends.
#include <cstddef>
#include <cstdint>

#include "config/management.h"
#include "link/reception.h"
#include "tags/iso14443.h"
#include "tags/iso15693.h"
#include "tags/tagit.h"

using namespace vexa;

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
    const bool valid = buffer.dropped() == 0 && blockCheck(buffer.data(), count);
    const FrameView frame = buffer.viewFrom(p);
    for (TagPage page : {TagPage::Iso15693, TagPage::Iso14443, TagPage::Tagit})
        (void)routeResponse(frame.code(), page);
    (void)valid;

    volatile qsizetype sink = 0;
    sink += reportManagementResponse(frame).report.lines.size();
    sink += iso15693::reportResponse(frame, 0).lines.size();
    sink += iso15693::reportResponse(frame, 1).lines.size();
    sink += tagit::reportResponse(frame, count - p).lines.size();
    sink += iso14443::reportResponse(frame).lines.size();
    (void)sink;
    return 0;
}
