// VexaHost - Tag-it requests.
#include "tagit.h"

#include "core/util/hextext.h"

namespace vexa::tagit {

namespace {

struct CommandInfo
{
    const char *name;
    uint8_t code;
    bool blockNumber;  // byte 6 is a block number
    bool numBlocks;    // byte 7 is a block count
    bool canAddress;   // may carry the tag address
};

constexpr std::array<CommandInfo, CommandCount> kCommands = {{
    {"Read Tag Version", 0x05, false, false, true},
    {"Read Block", 0x07, true, false, true},
    {"Write Block", 0x03, true, false, true},
    {"Lock Block", 0x04, true, false, true},
    {"Write and Lock Block", 0x06, true, false, true},
    {"Read Multi-block", 0x0A, true, true, true},
    {"Write Multi-block", 0x08, true, true, true},
    {"Lock Muti-block ", 0x09, true, true, true},
    {"Read block SID", 0x0C, true, false, false},
    {"Read Multi-block SID", 0x0B, true, true, false},
    {"Inventory", 0x0D, false, false, false},
}};

const CommandInfo &info(int command)
{
    return kCommands[size_t(command >= 0 && command < CommandCount ? command : 0)];
}

QString atMost(int highest)
{
    return QStringLiteral("Value must be <= %1").arg(highest);
}

// The combo boxes compare their one character as text, not as a number.
std::optional<QString> rangeMessage(const QString &text, int highest)
{
    if (QString::compare(text, QString::number(highest), Qt::CaseSensitive) > 0)
        return atMost(highest);
    return std::nullopt;
}

} // namespace

QStringList commandNames()
{
    QStringList names;
    for (const auto &c : kCommands)
        names << QString::fromLatin1(c.name);
    return names;
}

uint8_t commandCode(int command)
{
    return info(command).code;
}

std::optional<Panel> panelFor(int command)
{
    Panel p;
    switch (command) {
    case ReadTagVersion: p.address = true; break;
    case ReadBlock:
    case LockBlock: p.address = p.blockNumber = true; break;
    case WriteBlock:
    case WriteAndLockBlock: p.address = p.blockNumber = p.blockData = true; break;
    case ReadMultiBlock:
    case LockMultiBlock:
    case ReadMultiBlockSid:
        p.address = command != ReadMultiBlockSid;
        p.blockNumber = p.blockData = p.numBlocksBox = true;
        p.blockDataCaption = QStringLiteral("Number of Blocks");
        p.dataField = false;
        break;
    case WriteMultiBlock:
        p.address = p.blockNumber = p.blockData = p.numBlocksBox = p.multiData = true;
        p.blockDataCaption = QStringLiteral("Num Blocks/Data");
        break;
    case ReadBlockSid: p.blockNumber = true; break;
    default: return std::nullopt;
    }
    return p;
}

std::optional<QString> blockNumberRangeMessage(const QString &text)
{
    return rangeMessage(text, kMaxBlockNumber);
}

std::optional<QString> numBlocksRangeMessage(const QString &text)
{
    return rangeMessage(text, kMaxNumBlocks);
}

std::optional<Refusal<Field>> checkFields(const Request &r)
{
    const auto addressCheck = [&]() -> std::optional<Refusal<Field>> {
        if (r.useAddress && r.address.isEmpty())
            return Refusal<Field>{tagtext::kAddressRequired, Field::Address};
        return std::nullopt;
    };
    switch (r.command) {
    case ReadTagVersion:
    case ReadBlock:
    case ReadMultiBlock: return addressCheck();
    case WriteBlock:
        if (r.blockData[0].isEmpty())
            return Refusal<Field>{QStringLiteral("Block data field is required!"), Field::BlockData, 0};
        return addressCheck();
    default: return std::nullopt;
    }
}

QString confirmation(int command)
{
    return command == LockBlock ? tagtext::kLockBlocksQuestion : QString();
}

bool carriesAddress(const Request &r)
{
    return r.useAddress && info(r.command).canAddress;
}

Built<Field> build(const Request &r, CommandBuffer &buffer)
{
    if (r.command < 0 || r.command >= CommandCount)
        return {0, Refusal<Field>{}};
    const CommandInfo &c = info(r.command);

    // Values are read in the order block number, count, data, address.
    int block = 0;
    if (c.blockNumber) {
        const auto value = decimalText(r.blockNumber);
        if (!value)
            return {0, Refusal<Field>{tagtext::kBlockNumberNotNumber, Field::BlockNumber}};
        if (*value > kMaxBlockNumber)
            return {0, Refusal<Field>{atMost(kMaxBlockNumber), Field::BlockNumber}};
        block = *value;
    }
    int count = 0;
    if (c.numBlocks) {
        const auto value = decimalText(r.numBlocks);
        if (!value)
            return {0, Refusal<Field>{tagtext::kNumBlocksNotNumber, Field::NumBlocks}};
        // Write Multi-block has eight data fields; more blocks have no value.
        if (*value > kMaxNumBlocks)
            return {0, Refusal<Field>{atMost(kMaxNumBlocks), Field::NumBlocks}};
        count = *value;
    }

    std::array<uint32_t, kDataFields> values{};
    // Write Multi-block converts every field, shown or not.
    const int fields = r.command == WriteMultiBlock ? kDataFields
        : (r.command == WriteBlock || r.command == WriteAndLockBlock) ? 1
                                                                        : 0;
    for (int i = 0; i < fields; ++i) {
        const auto value = hexTextToValue(r.blockData[size_t(i)]);
        if (!value)
            return {0, Refusal<Field>{kInvalidHexMessage, Field::BlockData, i}};
        values[size_t(i)] = *value;
    }

    const bool withAddress = carriesAddress(r);
    uint32_t address = 0;
    if (withAddress) {
        const auto value = hexTextToValue(r.address);
        if (!value)
            return {0, Refusal<Field>{kInvalidHexMessage, Field::Address}};
        address = *value;
    }

    FrameWriter w(buffer);
    if (withAddress)
        w.putU32(address);
    if (c.blockNumber)
        w.put(uint8_t(block));
    if (c.numBlocks)
        w.put(uint8_t(count));
    if (r.command == WriteBlock || r.command == WriteAndLockBlock)
        w.putU32(values[0]);
    if (r.command == WriteMultiBlock)
        for (int i = 0; i < count; ++i)
            w.putU32(values[size_t(i)]);
    return {w.finish(withAddress ? 0x10 : 0x00, c.code), std::nullopt};
}

} // namespace vexa::tagit
