// VexaHost - the ISO 15693 transponder options as lists of two items: which
// bit of isoConfig (or the block length) each list stands for and which item
// the options select. The options dialog and vexactl both go through here,
// so an item always means the same bit.
#pragma once

#include <array>
#include <QString>
#include <QStringList>

#include "core/codecs/readeroptions.h"

namespace vexa {

enum class IsoOption { Downlink, ReadSpeed, TxModulation, RxModulation, BlockLength };
constexpr std::array<IsoOption, 5> kIsoOptions{IsoOption::Downlink, IsoOption::ReadSpeed, IsoOption::TxModulation,
                                                IsoOption::RxModulation, IsoOption::BlockLength};

// The list's caption ("Read Speed") and its two items ("Fast", "Slow").
QString isoOptionCaption(IsoOption option);
QStringList isoOptionItems(IsoOption option);

// The item (0 or 1) the options select, and the change that selects one.
int isoOptionItem(const ReaderOptions &options, IsoOption option);
void setIsoOptionItem(ReaderOptions &options, IsoOption option, int item);

// "Caption: item" for every list, in the dialog's order.
QStringList isoOptionLines(const ReaderOptions &options);

} // namespace vexa
