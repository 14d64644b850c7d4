// VexaHost - reader options the main window keeps for the whole run and
// stores between runs: ISO 15693 transponder options, feedback flags and
// reader addressing.
#pragma once

#include <cstdint>
#include <QString>

#include "core/codecs/readeraddressing.h"

namespace vexa {

// The addressing part is what the link reads at each send.
struct ReaderOptions : ReaderAddressing
{
    // Bits 0-3: downlink "1 of 4", read speed "Fast", Tx "10%", Rx "ASK".
    uint8_t isoConfig = 2;
    uint8_t isoAfiValue = 0;    // AFI low nibble
    uint8_t isoAfiCategory = 0; // AFI high nibble (family)
    int isoBlockLength = 0;     // 0: 4-byte blocks, otherwise 8-byte blocks
    bool useAfi = false;
    bool audioOn = true;
    bool ledOn = true;

    int isoBlockBytes() const { return isoBlockLength == 0 ? 4 : 8; }
    uint8_t afiByte() const { return uint8_t((isoAfiCategory << 4) | isoAfiValue); }
};

} // namespace vexa
