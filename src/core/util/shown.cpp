// VexaHost - the operator's text quoted back (see shown.h).
#include "shown.h"

#include <QList>

namespace vexa {

namespace {

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

} // namespace

QString printableText(const QString &text, int maxLength)
{
    QString out;
    int shown = 0;
    const QList<uint> codePoints = text.toUcs4();
    for (const uint c : codePoints) {
        const QString piece = isControl(c) ? QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'))
                                           : QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1);
        const int width = isControl(c) ? int(piece.size()) : 1;
        if (maxLength > 0 && shown + width > maxLength)
            return out + QStringLiteral("...");
        out += piece;
        shown += width;
    }
    return out;
}

} // namespace vexa
