// VexaHost - Tag-it requests and the reports of their answers.
//
// Request, as built (flags 0x10 with a tag address, else 0x00; the send
// step keeps bits 0-4):
//   0 01 | 1-2 n, low first | 3 10 | 4 flags | 5 code | 6.. parameters | check
//   With a tag address, bytes 6-9 hold it low byte first and every parameter
//   below moves 4 bytes up (n grows by 4). Codes 0x0B-0x0D never carry one.
//   0x05 Read Tag Version       -
//   0x07 Read Block             6 block
//   0x03 Write Block            6 block, 7-10 value (low first)
//   0x04 Lock Block             6 block
//   0x06 Write and Lock Block   6 block, 7-10 value
//   0x0A Read Multi-block       6 first block, 7 N
//   0x08 Write Multi-block      6 first block, 7 N, 8.. N values of 4 bytes
//   0x09 Lock Multi-block       6 first block, 7 N
//   0x0C Read block SID         6 block
//   0x0B Read Multi-block SID   6 first block, 7 N
//   0x0D Inventory              -
//
// Answer: 4 status, 5 code, payload from 6 (values low byte first).
//   0x05 6-9 transponder ID, 10 manufacturer, 11-12 version, 13 blocks,
//        14 bytes per block
//   0x07 6-9 value, 10 lock flag, 11 block
//   0x0A 7 N, 8.. N records of 6: lock flag, block, value
//   0x0C 6 N, 7.. N records of 10: tag address, lock flag, block, value
//   0x0D 6 N, 7.. N tag addresses of 4
// Every answer but 0x0C must pass the response check first.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <QString>
#include <QStringList>

#include "core/codecs/tagcodec.h"
#include "core/util/fieldlimits.h"
#include "core/wire/report.h"

namespace vexa::tagit {

enum Command {
    ReadTagVersion,
    ReadBlock,
    WriteBlock,
    LockBlock,
    WriteAndLockBlock,
    ReadMultiBlock,
    WriteMultiBlock,
    LockMultiBlock,
    ReadBlockSid,
    ReadMultiBlockSid,
    Inventory,
    CommandCount
};

constexpr int kDataFields = 8;
constexpr int kMaxBlockNumber = fields::kTagitBlockNumber.high;
constexpr int kMaxNumBlocks = fields::kTagitBlockCount.high;

QStringList commandNames();
uint8_t commandCode(int command);

enum class Field { None, Address, BlockNumber, NumBlocks, BlockData };

// The option values as read from the page's controls.
struct Request
{
    int command = ReadTagVersion;
    bool useAddress = false;
    QString address;
    QString blockNumber = QStringLiteral("0");
    QString numBlocks = QStringLiteral("1");
    std::array<QString, kDataFields> blockData; // the data fields, top to bottom
};

// Which option groups a command shows; nothing for Inventory, which leaves
// the panel as it was.
struct Panel
{
    bool address = false;
    bool blockNumber = false;
    bool blockData = false;
    QString blockDataCaption = QStringLiteral("Block Data");
    bool numBlocksBox = false; // blockCountCombo
    bool dataField = true;     // the first data field and its label
    bool multiData = false;    // further data fields by the number of blocks
};
std::optional<Panel> panelFor(int command);

// The range checks of the two combo boxes, made as the text changes:
// the message when the text sorts after the highest value.
std::optional<QString> blockNumberRangeMessage(const QString &text);
std::optional<QString> numBlocksRangeMessage(const QString &text);

std::optional<Refusal<Field>> checkFields(const Request &request);
QString confirmation(int command);

// The command carries the tag address (so the address field is upper-cased).
bool carriesAddress(const Request &request);

Built<Field> build(const Request &request, CommandBuffer &buffer);

// The report of an answer; `received` is the number of bytes received from
// the answer's first byte on.
Report reportResponse(const FrameView &frame, int received);

// The tags an answer names: the addresses of an inventory, a block SID read
// or a version read, else the address the request carried when the answer
// reports success (with the blocks a read returned). Answers that fail the
// response check name none.
QList<TagSighting> tagsNamed(const FrameView &answer, const FrameView &request);

} // namespace vexa::tagit
