// Fuzz target: arbitrary USB input reports through the poll's reassembly and
// the auto-read line assembly.
//
// The input is cut into poll ticks: the first byte of each tick says how
// many 16-byte reports are waiting in it. Reports are gathered into a receive
// buffer as the poll does; a frame's last piece ends the block, which is
// judged and dropped as the response timer does. The same reports go through
// the auto-read assembly, whose lines must be exactly 25 characters and whose
// partial text never grows past 16.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/wire/reception.h"
#include "core/wire/usbreports.h"

using namespace vexa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static ReceiveBuffer buffer; // 8 KiB: keep it off the stack
    buffer.clear();
    UsbFrameAssembler frames;
    AutoReadAssembler lines;
    size_t offset = 0;
    while (offset < size) {
        const size_t waiting = data[offset++] % 32;
        for (size_t r = 0; r < waiting && offset + kUsbReportSize <= size; ++r, offset += kUsbReportSize) {
            UsbReport report;
            std::copy_n(data + offset, kUsbReportSize, report.begin());

            if (const auto line = lines.addReport(report); line && line->size() != AutoReadAssembler::kLineLength)
                std::abort();
            if (lines.text().size() > AutoReadAssembler::kFirstPart)
                std::abort();

            const UsbPiece piece = frames.take(report, buffer.count());
            if (piece.take < 0 || piece.take > kUsbReportSize)
                std::abort();
            buffer.append(report.data(), piece.take);
            if (piece.frameEnds) {
                offset += kUsbReportSize;
                const int count = buffer.count();
                if (findStartByte(buffer.data(), count) >= 0)
                    (void)blockCheck(buffer.data(), count);
                buffer.clear();
                break; // the rest waits for the next tick
            }
        }
        lines.tick();
    }
    return 0;
}
