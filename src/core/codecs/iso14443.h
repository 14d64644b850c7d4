// VexaHost - ISO/IEC 14443-A "Read UID" request and the report of its answer.
//
// Request, as built: 01 09 00 10 60 40 00 <check lo> <check hi>
//   (flags 0x60: the send step keeps bits 0-4, so none of them travels;
//   code 0x40; one parameter byte 0x00).
//
// Answer: 4 status, 5 code 0x40, 6 error indication (nonzero = failure),
//   7 UID length L, 8 .. 7+L the UID bytes in the order the card sent them.
//   The UID is shown as 2L hex digits, first received byte first; single
//   (4), double (7) and triple (10) size UIDs alike, and never with a byte
//   from beyond the frame.
#pragma once

#include <cstdint>
#include <QStringList>

#include "core/codecs/tagcodec.h"
#include "core/wire/frame.h"
#include "core/wire/report.h"

namespace vexa::iso14443 {

enum Command { ReadUid, CommandCount };

constexpr uint8_t kReadUidCode = 0x40;

QStringList commandNames();

// Builds the request frame of `command` into `buffer` and returns its length.
int build(int command, CommandBuffer &buffer);

Report reportResponse(const FrameView &frame);

// The card a successful "Read UID" answer names; none otherwise.
QList<TagSighting> tagsNamed(const FrameView &answer);

} // namespace vexa::iso14443
