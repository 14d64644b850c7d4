// VexaHost - what each value the operator types may hold.
#include "fieldlimits.h"

#include <algorithm>

#include "hextext.h"
#include "shown.h"

namespace vexa::fields {

namespace {

QString digits(int count)
{
    return count == 1 ? QStringLiteral("1 digit") : QStringLiteral("%1 digits").arg(count);
}

} // namespace

QString refusal(const Limit &limit, const QString &name, const QString &text)
{
    if (text.isEmpty())
        return QStringLiteral("%1 needs a value.").arg(name);
    const bool tooLong = limit.maxLength > 0 && text.size() > limit.maxLength;
    switch (limit.kind) {
    case Kind::Hex:
        if (!hexTextToValue(text))
            return QStringLiteral("%1: \"%2\" is not a hexadecimal number.").arg(name, shownText(text));
        if (tooLong)
            return QStringLiteral("%1 takes at most %2 hexadecimal digits.").arg(name).arg(limit.maxLength);
        return {};
    case Kind::Decimal: {
        // Plain digits only, as the window's fields take them; past the
        // range the value stops growing, so no length can wrap it back in.
        qint64 value = 0;
        for (QChar c : text) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
                value = -1;
                break;
            }
            value = std::min<qint64>(value * 10 + (c.unicode() - '0'), qint64(limit.high) + 1);
        }
        if (value >= 0 && tooLong)
            return QStringLiteral("%1 takes a number of at most %2.").arg(name, digits(limit.maxLength));
        if (value < limit.low || value > limit.high)
            return QStringLiteral("%1 takes a number from %2 to %3.").arg(name).arg(limit.low).arg(limit.high);
        return {};
    }
    case Kind::Text:
        if (tooLong)
            return QStringLiteral("%1 takes at most %2 characters.").arg(name).arg(limit.maxLength);
        // The frame carries Latin-1 bytes; anything else would go out as "?".
        if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xFF; }))
            return QStringLiteral("%1: \"%2\" has characters other than Latin-1.").arg(name, shownText(text));
        return {};
    }
    return {};
}

} // namespace vexa::fields
