// VexaHost - ISO/IEC 14443-A "Read UID".
#include "iso14443.h"

#include <algorithm>

#include "core/codecs/tagcodec.h"

namespace vexa::iso14443 {

QStringList commandNames()
{
    return {QStringLiteral("Read UID")};
}

int build(int command, CommandBuffer &buffer)
{
    if (command != ReadUid)
        return 0;
    FrameWriter w(buffer);
    w.put(0x00);
    return w.finish(0x60, kReadUidCode);
}

namespace {

QString uidDigits(const FrameView &f)
{
    const int length = std::clamp(payloadEnd(f) - 8, 0, int(f[7]));
    QString digits;
    for (int i = 0; i < length; ++i)
        digits += QString::asprintf("%02X", f[8 + i]);
    return digits;
}

} // namespace

Report reportResponse(const FrameView &f)
{
    Report r;
    r.separator = true;
    if (f.code() != kReadUidCode) {
        if (f.status() != 0)
            appendStatusError(r, f);
        return r;
    }
    r.heading = QStringLiteral("Read UID ISO 14443-A:");
    // Byte 6, whatever the status byte says, tells a failed read.
    if (f[6] != 0) {
        appendStatusError(r, f);
        return r;
    }
    r.lines << tagtext::kIndent + QStringLiteral("UID: ") + uidDigits(f);
    return r;
}

QList<TagSighting> tagsNamed(const FrameView &f)
{
    if (f.code() != kReadUidCode || f[6] != 0)
        return {};
    const QString uid = uidDigits(f);
    if (uid.isEmpty())
        return {};
    return {TagSighting{uid, {}}};
}

} // namespace vexa::iso14443
