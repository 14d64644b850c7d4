// VexaHost - which reader a command is for. With addressing on, every frame
// carries the reader's serial number and only that reader answers; the link
// reads this at each send, so a change applies from the next frame on.
#pragma once

#include <QString>

namespace vexa {

struct ReaderAddressing
{
    bool addressReader = false;
    QString readerSerialNumber;
};

} // namespace vexa
