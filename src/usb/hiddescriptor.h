// AtUsbHid - the report sizes a HID report descriptor describes.
//
// A device's report descriptor is a list of items. Short items are a prefix
// byte (bits 0-1 the data size 0, 1, 2 or 4 bytes, bits 2-3 the type, bits
// 4-7 the tag) and their data, least significant byte first; a long item is
// 0xFE, its data size, its tag and the data. What sizes a report:
//   global  Report Size (tag 7, bits per field), Report Count (tag 9, fields),
//           Report ID (tag 8), Push (tag 10) and Pop (tag 11)
//   main    Input (tag 8), Output (tag 9), Feature (tag 11): add Report Size
//           x Report Count bits to that kind of report
// The sizes are those of the first report ID that has items of the kind
// (the reader's reports carry no ID). Device data: every read is bounded,
// totals are capped, and a truncated or inconsistent descriptor describes
// nothing, so the caller falls back to its default.
#pragma once

#include <cstddef>

namespace atusbhid {

struct ReportSizes
{
    bool valid = false; // false: truncated or inconsistent, use the default
    int input = 0;      // bytes; 0 when the descriptor has no such report
    int output = 0;
    int feature = 0;
};

ReportSizes parseReportDescriptor(const unsigned char *data, std::size_t size);

// `described` bytes when the descriptor gave a size, else `fallback`; never
// more than `limit`.
int reportSizeOr(int described, int fallback, int limit);

} // namespace atusbhid
