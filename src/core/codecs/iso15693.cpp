// VexaHost - ISO/IEC 15693 requests.
#include "iso15693.h"

#include <algorithm>
#include <array>
#include <vector>

#include "core/util/fieldlimits.h"
#include "core/util/hextext.h"

namespace vexa::iso15693 {

namespace {

struct CommandInfo
{
    const char *name;
    uint8_t code;
    bool blockNumber; // byte 6 is a block number
    bool numBlocks;   // byte 7 is a block count
};

constexpr std::array<CommandInfo, CommandCount> kCommands = {{
    {"View One Block", 0x20, true, false},
    {"View Many Blocks", 0x23, true, true},
    {"View Factory Data", 0x2B, false, false},
    {"Program One Block", 0x21, true, false},
    {"Program Many Blocks", 0x24, true, true},
    {"Program AFI", 0x27, false, false},
    {"Program DSFID", 0x29, false, false},
    {"Lock One Block", 0x22, true, false},
    {"Lock AFI", 0x28, false, false},
    {"Lock DSFID", 0x2A, false, false},
    {"View Lock Status", 0x2C, true, true},
    {"Inventory", 0x01, false, false},
}};

constexpr int kMaxViewBlocks = fields::kIsoViewCount.high;
constexpr int kMaxByte = fields::kIsoBlockNumber.high;
constexpr int kUidBytes = 8;
// The block count field takes three digits; the grid never grows beyond that.
constexpr int kMaxGridRows = 999;

const CommandInfo &info(int command)
{
    return kCommands[size_t(command >= 0 && command < CommandCount ? command : 0)];
}

Refusal<Field> invalidHex(Field field, int index = 0)
{
    return {kInvalidHexMessage, field, index};
}

QString atMostBlocks(int limit)
{
    return QStringLiteral("Number of blocks must be less than or equal to %1.").arg(limit);
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

int dataMaxLength(int isoBlockLength)
{
    return (isoBlockLength == 0 ? fields::kIsoData4 : fields::kIsoData8).maxLength;
}

Panel panelFor(int command, int isoBlockLength)
{
    Panel p;
    p.dataMaxLength = dataMaxLength(isoBlockLength);
    switch (command) {
    case ViewOneBlock:
    case LockOneBlock: p.uid = p.blockNumber = true; break;
    case ViewManyBlocks:
    case ViewLockStatus: p.uid = p.blockNumber = p.numBlocks = true; break;
    case ViewFactoryData:
    case LockAfi:
    case LockDsfid: p.uid = true; break;
    case ProgramOneBlock: p.uid = p.blockNumber = p.data = true; break;
    case ProgramManyBlocks: p.uid = p.blockNumber = p.numBlocks = p.writeBlocks = true; break;
    case ProgramAfi: p.uid = p.afi = true; break;
    case ProgramDsfid:
        p.uid = p.data = true;
        p.dataMaxLength = fields::kDsfid.maxLength;
        break;
    case Inventory: p.afi = p.afiUseCheckBox = true; break;
    default: break;
    }
    return p;
}

std::optional<Refusal<Field>> checkFields(const Request &r)
{
    const auto uidCheck = [&]() -> std::optional<Refusal<Field>> {
        if (r.useUid && r.uid.isEmpty())
            return Refusal<Field>{tagtext::kAddressRequired, Field::Uid};
        return std::nullopt;
    };
    switch (r.command) {
    case ViewOneBlock:
    case ViewFactoryData:
    case ProgramManyBlocks:
    case ViewLockStatus: return uidCheck();
    case ViewManyBlocks: {
        if (auto refusal = uidCheck())
            return refusal;
        const auto n = decimalText(r.numBlocks);
        if (!n)
            return Refusal<Field>{tagtext::kNumBlocksNotNumber, Field::NumBlocks};
        if (*n > kMaxViewBlocks)
            return Refusal<Field>{atMostBlocks(kMaxViewBlocks), Field::NumBlocks};
        return std::nullopt;
    }
    case ProgramOneBlock:
    case ProgramDsfid:
        if (r.data.isEmpty())
            return Refusal<Field>{QStringLiteral("Data field is required!"), Field::Data};
        // The page's field never holds more; vexactl learns the block
        // length only here, and digits past the block must not be dropped.
        if (r.command == ProgramOneBlock && r.data.size() > dataMaxLength(r.isoBlockLength))
            return Refusal<Field>{QStringLiteral("Data takes at most %1 hexadecimal digits for a block length of "
                                                 "%2 bits.")
                                      .arg(dataMaxLength(r.isoBlockLength))
                                      .arg(r.isoBlockLength == 0 ? 32 : 64),
                                  Field::Data};
        return uidCheck();
    default: return std::nullopt;
    }
}

QString confirmation(int command)
{
    switch (command) {
    case LockOneBlock: return tagtext::kLockBlocksQuestion;
    case LockAfi: return QStringLiteral("Locked AFI can not be 'Unlocked', continue?");
    case LockDsfid: return QStringLiteral("Locked DSFID can not be 'Unlocked', continue?");
    default: return {};
    }
}

bool carriesUid(const Request &r)
{
    return r.useUid && r.command != Inventory;
}

int maxProgramBlocks(bool withUid)
{
    // 8 header and check bytes, 2 parameter bytes, the UID, 4 bytes a block.
    return (kCommandBufferSize - 10 - (withUid ? kUidBytes : 0)) / 4;
}

Built<Field> build(const Request &r, CommandBuffer &buffer)
{
    if (r.command < 0 || r.command >= CommandCount)
        return {0, Refusal<Field>{}};
    const CommandInfo &c = info(r.command);
    const bool withUid = carriesUid(r);

    // Values are read in the order block number, count, data, UID, the rest,
    // so the first bad field is the one reported.
    int block = 0;
    if (c.blockNumber) {
        const auto value = decimalText(r.blockNumber);
        if (!value)
            return {0, Refusal<Field>{tagtext::kBlockNumberNotNumber, Field::BlockNumber}};
        if (*value > kMaxByte)
            return {0, Refusal<Field>{QStringLiteral("Maximum block number is 255, please re-enter."),
                                      Field::BlockNumber}};
        block = *value;
    }
    int count = 0;
    if (c.numBlocks) {
        const auto value = decimalText(r.numBlocks);
        if (!value)
            return {0, Refusal<Field>{tagtext::kNumBlocksNotNumber, Field::NumBlocks}};
        int limit = kMaxByte;
        if (r.command == ViewManyBlocks)
            limit = kMaxViewBlocks;
        else if (r.command == ProgramManyBlocks)
            limit = maxProgramBlocks(withUid);
        if (*value > limit)
            return {0, Refusal<Field>{atMostBlocks(limit), Field::NumBlocks}};
        count = *value;
    }

    std::array<uint8_t, 8> data{};
    const int dataBytes = r.isoBlockLength == 0 ? 4 : 8;
    uint8_t dsfid = 0;
    if (r.command == ProgramOneBlock) {
        if (!hexTextToBytes(r.data, data.data(), dataBytes))
            return {0, invalidHex(Field::Data)};
    } else if (r.command == ProgramDsfid) {
        const auto value = hexTextToValue(r.data);
        if (!value)
            return {0, invalidHex(Field::Data)};
        dsfid = uint8_t(*value);
    }

    std::array<uint8_t, kUidBytes> uid{};
    if (withUid && !hexTextToBytes(r.uid, uid.data(), kUidBytes))
        return {0, invalidHex(Field::Uid)};

    uint8_t afi = 0;
    const bool needsAfi = r.command == ProgramAfi || (r.command == Inventory && r.useAfi);
    if (needsAfi) {
        const auto sub = hexTextToValue(r.afiSubcategory);
        if (!sub)
            return {0, invalidHex(Field::AfiSubcategory)};
        const int family = r.afiFamily >= 0 && r.afiFamily < 16 ? r.afiFamily : 0;
        afi = uint8_t((family << 4) | (*sub & 0x0F));
    }

    std::vector<uint32_t> values;
    if (r.command == ProgramManyBlocks) {
        for (int i = 0; i < count; ++i) {
            const auto value = hexTextToValue(i < r.gridValues.size() ? r.gridValues[i] : QString());
            if (!value)
                return {0, invalidHex(Field::WriteGrid, i + 1)};
            values.push_back(*value);
        }
    }

    FrameWriter w(buffer);
    if (withUid)
        for (int i = kUidBytes - 1; i >= 0; --i)
            w.put(uid[size_t(i)]);
    switch (r.command) {
    case ViewOneBlock:
    case LockOneBlock: w.put(uint8_t(block)); break;
    case ViewManyBlocks:
    case ViewLockStatus:
        w.put(uint8_t(block));
        w.put(uint8_t(count));
        break;
    case ProgramOneBlock:
        w.put(uint8_t(block));
        for (int i = dataBytes - 1; i >= 0; --i)
            w.put(data[size_t(i)]);
        break;
    case ProgramManyBlocks:
        w.put(uint8_t(block));
        w.put(uint8_t(count));
        for (uint32_t v : values)
            w.putU32(v);
        break;
    case ProgramAfi:
    case Inventory: w.put(afi); break;
    case ProgramDsfid: w.put(dsfid); break;
    default: break;
    }
    const uint8_t flags = uint8_t(r.isoConfig | 0x20 | (withUid ? 0x10 : 0));
    return {w.finish(flags, c.code), std::nullopt};
}

std::optional<QStringList> writeGridBlockNumbers(const QString &blockNumber, const QString &numBlocks)
{
    const auto first = decimalText(blockNumber);
    const auto count = decimalText(numBlocks);
    if (!first || !count)
        return std::nullopt;
    QStringList numbers;
    for (int i = 0; i < std::min(*count, kMaxGridRows); ++i)
        numbers << QString::number(qint64(*first) + i);
    return numbers;
}

} // namespace vexa::iso15693
