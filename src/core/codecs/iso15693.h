// VexaHost - ISO/IEC 15693 requests and the reports of their answers.
//
// Request, as built (flags = isoConfig | 0x20, | 0x10 when a UID is carried;
// the send step keeps bits 0-4):
//   0 01 | 1-2 n, low first | 3 10 | 4 flags | 5 code | 6.. parameters | check
//   With a UID, bytes 6-13 hold its 8 bytes last typed byte first and every
//   parameter below moves 8 bytes up (n grows by 8).
//   0x20 View One Block        6 block
//   0x23 View Many Blocks      6 first block, 7 count (at most 32)
//   0x2B View Factory Data     -
//   0x21 Program One Block     6 block, 7.. 4 or 8 data bytes, last typed first
//   0x24 Program Many Blocks   6 first block, 7 N, then N values of 4 bytes,
//                              low first (4 bytes whatever the block length)
//   0x27 Program AFI           6 AFI (family << 4 | subcategory)
//   0x29 Program DSFID         6 DSFID
//   0x22 Lock One Block        6 block
//   0x28 Lock AFI, 0x2A Lock DSFID  -
//   0x2C View Lock Status      6 first block, 7 count
//   0x01 Inventory             6 AFI or 0 (never a UID)
//
// Answer: 4 status, 5 code, payload from 6.
//   0x01 6 error indication, 7 N, 8.. N UIDs of 8 bytes (low first)
//   0x20 6-9 value (6-13 for 8-byte blocks), 11 block (15 for 8-byte blocks);
//        shorter than 13 bytes: no transponder
//   0x23 7 N, 8.. N records: block, value (4 bytes low first)
//   0x2B 6 info flags, 7-14 UID, then by flag bit: 0 DSFID, 1 AFI,
//        2 memory size (blocks - 1, block size - 1 in bits 0-5), 3 IC ref;
//        shorter than 15 bytes: no transponder
//   0x2C 7 first block, 8 N, 9.. N lock bytes (nonzero = locked)
//   0x26 Test (answer to the reader test command), status not examined
#pragma once

#include <cstdint>
#include <optional>
#include <QString>
#include <QStringList>

#include "core/codecs/tagcodec.h"
#include "core/wire/report.h"

namespace vexa::iso15693 {

// Items of the "Command Type" group, in their order on the page.
enum Command {
    ViewOneBlock,
    ViewManyBlocks,
    ViewFactoryData,
    ProgramOneBlock,
    ProgramManyBlocks,
    ProgramAfi,
    ProgramDsfid,
    LockOneBlock,
    LockAfi,
    LockDsfid,
    ViewLockStatus,
    Inventory,
    CommandCount
};

QStringList commandNames();
uint8_t commandCode(int command);

enum class Field { None, Uid, BlockNumber, NumBlocks, Data, WriteGrid, AfiSubcategory };

// The option values as read from the page's controls.
struct Request
{
    int command = ViewOneBlock;
    bool useUid = false;
    QString uid;
    QString blockNumber = QStringLiteral("0");
    QString numBlocks = QStringLiteral("1");
    QString data;
    QStringList gridValues; // "Value" column, rows 1..N
    int afiFamily = 0;
    QString afiSubcategory = QStringLiteral("0");
    bool useAfi = false; // Inventory's "Use AFI"
    uint8_t isoConfig = 2;
    int isoBlockLength = 0;
};

// Which option groups a command shows.
struct Panel
{
    bool uid = false;
    bool blockNumber = false;
    bool data = false;
    bool numBlocks = false;
    bool writeBlocks = false;
    bool afi = false;
    bool afiUseCheckBox = false; // Inventory shows "Use AFI"; Program AFI hides it
    int dataMaxLength = 8;
};
Panel panelFor(int command, int isoBlockLength);

// Data field length for the block length option: 8 digits for 4-byte
// blocks, 16 for 8-byte blocks.
int dataMaxLength(int isoBlockLength);

// The field checks made before anything is built.
std::optional<Refusal<Field>> checkFields(const Request &request);
// The question a lock command asks first; empty for other commands.
QString confirmation(int command);

// The command carries the UID typed (so the UID field is upper-cased).
bool carriesUid(const Request &request);

// Builds the request frame into `buffer`.
Built<Field> build(const Request &request, CommandBuffer &buffer);

// The most blocks Program Many Blocks can carry in the command buffer.
int maxProgramBlocks(bool withUid);

// Block numbers shown in the write grid, for the block number and count
// texts; nothing when either is not a number.
std::optional<QStringList> writeGridBlockNumbers(const QString &blockNumber, const QString &numBlocks);

// The report of an answer; `isoBlockLength` as at the time of the report.
Report reportResponse(const FrameView &frame, int isoBlockLength);

// The tags an answer names: the UIDs of an inventory or of the factory data,
// else the UID the request carried when the answer reports success (with
// the blocks a read returned). `request` is the frame as built, the answer's
// command or not; errors and unaddressed answers name none.
QList<TagSighting> tagsNamed(const FrameView &answer, const FrameView &request, int isoBlockLength);

} // namespace vexa::iso15693
