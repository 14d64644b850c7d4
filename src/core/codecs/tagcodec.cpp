// VexaHost - pieces shared by the tag-family codecs.
#include "tagcodec.h"

#include <algorithm>
#include <climits>

namespace vexa {

std::optional<int> decimalText(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    long long value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = std::min<long long>(value * 10 + (c.unicode() - '0'), INT_MAX);
    }
    return int(value);
}

int payloadEnd(const FrameView &frame)
{
    return std::min<int>(frame.lengthLow(), frame.available()) - 2;
}

QString hexLowFirst(const FrameView &frame, int first, int count)
{
    QString text;
    text.reserve(count * 2);
    for (int i = first + count - 1; i >= first; --i)
        text += QString::asprintf("%02X", frame[i]);
    return text;
}

} // namespace vexa
