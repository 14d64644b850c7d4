// VexaHost - the ISO 15693 transponder options' bits.
#include "isooptions.h"

#include <cstdint>

namespace vexa {

namespace {
// The bit a list stands for, and whether item 0 means the bit set.
struct BitList
{
    uint8_t bit;
    bool setAtItem0;
};

BitList bitList(IsoOption option)
{
    switch (option) {
    case IsoOption::Downlink: return {0x01, true};
    case IsoOption::ReadSpeed: return {0x02, true};
    case IsoOption::TxModulation: return {0x04, false};
    case IsoOption::RxModulation: return {0x08, false};
    case IsoOption::BlockLength: break;
    }
    return {0, true};
}
} // namespace

QString isoOptionCaption(IsoOption option)
{
    switch (option) {
    case IsoOption::Downlink: return QStringLiteral("Downlink Mode");
    case IsoOption::ReadSpeed: return QStringLiteral("Read Speed");
    case IsoOption::TxModulation: return QStringLiteral("Tx Modulation");
    case IsoOption::RxModulation: return QStringLiteral("Rx Modulation");
    case IsoOption::BlockLength: return QStringLiteral("Block Length");
    }
    return {};
}

QStringList isoOptionItems(IsoOption option)
{
    switch (option) {
    case IsoOption::Downlink: return {QStringLiteral("1 of 4"), QStringLiteral("1 of 256")};
    case IsoOption::ReadSpeed: return {QStringLiteral("Fast"), QStringLiteral("Slow")};
    case IsoOption::TxModulation: return {QStringLiteral("100%"), QStringLiteral("10%")};
    case IsoOption::RxModulation: return {QStringLiteral("FSK"), QStringLiteral("ASK")};
    case IsoOption::BlockLength: return {QStringLiteral("32 Bits"), QStringLiteral("64 Bits")};
    }
    return {};
}

int isoOptionItem(const ReaderOptions &options, IsoOption option)
{
    if (option == IsoOption::BlockLength)
        return options.isoBlockLength == 0 ? 0 : 1;
    const BitList list = bitList(option);
    const bool set = (options.isoConfig & list.bit) != 0;
    return set == list.setAtItem0 ? 0 : 1;
}

void setIsoOptionItem(ReaderOptions &options, IsoOption option, int item)
{
    if (option == IsoOption::BlockLength) {
        options.isoBlockLength = item == 0 ? 0 : 1;
        return;
    }
    const BitList list = bitList(option);
    if ((item == 0) == list.setAtItem0)
        options.isoConfig |= list.bit;
    else
        options.isoConfig &= uint8_t(~list.bit);
}

QStringList isoOptionLines(const ReaderOptions &options)
{
    QStringList lines;
    for (IsoOption option : kIsoOptions)
        lines << isoOptionCaption(option) + QStringLiteral(": ")
                     + isoOptionItems(option).value(isoOptionItem(options, option));
    return lines;
}

} // namespace vexa
