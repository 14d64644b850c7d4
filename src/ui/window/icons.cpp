// VexaHost - the tool bar's image list, indices 0 to 15.
#include "icons.h"

#include <QFile>

namespace vexa {

QIcon toolIcon(int index)
{
    QIcon icon;
    // Each image comes at several scales so that it stays sharp at high DPI.
    for (const char *suffix : {"", "@2x", "@3x"}) {
        const QString path = QStringLiteral(":/images/tool%1%2.png").arg(index, 2, 10, QLatin1Char('0')).arg(QLatin1String(suffix));
        if (QFile::exists(path))
            icon.addFile(path);
    }
    return icon;
}

} // namespace vexa
