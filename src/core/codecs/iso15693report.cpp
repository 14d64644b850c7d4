// VexaHost - reports of ISO/IEC 15693 answers (layouts in iso15693.h).
#include "iso15693.h"

#include <algorithm>

#include "core/codecs/management.h"

namespace vexa::iso15693 {

namespace {

using tagtext::kIndent;

const QString kNotFound = kIndent + QStringLiteral("Transponder not found");

// Records the frame really holds: a count byte may claim more than arrived.
int recordsInFrame(const FrameView &f, int first, int size, int claimed)
{
    return std::clamp((payloadEnd(f) - first) / size, 0, claimed);
}

void inventory(const FrameView &f, Report &r)
{
    // Byte 6, not the status byte, tells a failed inventory.
    if (f[6] != 0) {
        appendStatusError(r, f);
        return;
    }
    const int claimed = f[7];
    if (claimed == 0) {
        r.lines << kIndent + QStringLiteral("Transponder(s) not found");
        return;
    }
    r.lines << kIndent + QStringLiteral("#    UID    ");
    const int n = recordsInFrame(f, 8, 8, claimed);
    for (int k = 0; k < n; ++k)
        r.lines << kIndent + QString::asprintf("%02d", k + 1) + QStringLiteral("   ") + hexLowFirst(f, 8 + 8 * k, 8);
}

void readBlock(const FrameView &f, int isoBlockLength, Report &r)
{
    if (f.lengthLow() < 13) {
        r.lines << kNotFound;
        return;
    }
    const bool wide = isoBlockLength != 0;
    const int block = wide ? f[15] : f[11];
    const QString value = hexLowFirst(f, 6, wide ? 8 : 4);
    r.fields.insert(QStringLiteral("blocks"), QVariantList{blockValue(block, value)});
    r.lines << kIndent + QStringLiteral("Block Number: ") + QString::number(block);
    r.lines << kIndent + QStringLiteral("Block Data: ") + value;
}

void readMultiBlock(const FrameView &f, Report &r)
{
    r.lines << QStringLiteral("  Block    Value");
    const int n = recordsInFrame(f, 8, 5, f[7]);
    QVariantList blocks;
    for (int k = 0; k < n; ++k) {
        const int at = 8 + 5 * k;
        const QString value = hexLowFirst(f, at + 1, 4);
        blocks << blockValue(f[at], value);
        r.lines << kIndent + QString::asprintf("%02d", f[at]) + QStringLiteral("     ") + value;
    }
    r.fields.insert(QStringLiteral("blocks"), blocks);
}

void securityStatus(const FrameView &f, Report &r)
{
    r.lines << QStringLiteral("  Block    Status");
    const int first = f[7];
    const int n = recordsInFrame(f, 9, 1, f[8]);
    QVariantList locks;
    for (int i = 0; i < n; ++i) {
        const bool locked = f[9 + i] != 0;
        locks << QVariantMap{{QStringLiteral("block"), first + i}, {QStringLiteral("locked"), locked}};
        r.lines << kIndent + QString::asprintf("%02d", first + i) + QStringLiteral("     ")
                + (locked ? tagtext::kLocked : tagtext::kUnlocked);
    }
    r.fields.insert(QStringLiteral("locks"), locks);
}

void tagInformation(const FrameView &f, Report &r)
{
    if (f.lengthLow() < 15) {
        r.lines << kNotFound;
        return;
    }
    const uint8_t flags = f[6];
    QVariantMap info{{QStringLiteral("uid"), hexLowFirst(f, 7, 8)}};
    r.lines << kIndent + QStringLiteral("UID:              ") + info.value(QStringLiteral("uid")).toString();
    int at = 15;
    if (flags & 0x01) {
        const QString dsfid = QString::asprintf("%02X", f[at++]);
        info.insert(QStringLiteral("dsfid"), dsfid);
        r.lines << kIndent + QStringLiteral("DSFID:            ") + dsfid;
    }
    if (flags & 0x02) {
        const uint8_t afi = f[at++];
        info.insert(QStringLiteral("afi"), QString::asprintf("%02X", afi));
        r.lines << kIndent + QStringLiteral("AFI:              ") + QString::asprintf("%02X: ", afi)
                + afiFamilyName(afi);
    }
    if (flags & 0x04) {
        const int blocks = f[at] + 1;
        // Five bits; the three above them are reserved.
        const int blockSize = (f[at + 1] & 0x1F) + 1;
        at += 2;
        info.insert(QStringLiteral("blockSize"), blockSize);
        info.insert(QStringLiteral("blockCount"), blocks);
        r.lines << kIndent + QStringLiteral("Block Size:       ") + QString::number(blockSize);
        r.lines << kIndent + QStringLiteral("Number of Blocks: ") + QString::number(blocks);
    }
    if (flags & 0x08) {
        info.insert(QStringLiteral("icReference"), f[at]);
        r.lines << kIndent + QStringLiteral("IC Reference:     ") + QString::asprintf("%02d", f[at]);
    }
    r.fields.insert(QStringLiteral("systemInfo"), info);
}

// Answers that carry nothing but success: heading and one line.
constexpr Acknowledgement kAcknowledgements[] = {
    {0x21, "Write Tag Block:", "Block written"},
    {0x22, "Lock Tag Block:", "Block Locked"},
    {0x24, "Write Tag Multi-Block:", "Block(s) written"},
    {0x27, "Write Tag AFI:", "AFI written"},
    {0x28, "Lock Tag AFI:", "AFI Locked"},
    {0x29, "Write Tag DSFID:", "DSFID written"},
    {0x2A, "Lock Tag DSFID:", "DSFID Locked"},
};

} // namespace

Report reportResponse(const FrameView &f, int isoBlockLength)
{
    Report r;
    r.separator = true;
    const uint8_t code = f.code();

    if (code == 0x26) {
        r.heading = QStringLiteral("Test:");
        r.lines << kIndent + QStringLiteral("Test complete");
        return r;
    }
    if (code == 0x01) {
        r.heading = QStringLiteral("ISO Inventory:");
        inventory(f, r);
        return r;
    }
    if (reportAcknowledgement(kAcknowledgements, f, r))
        return r;

    switch (code) {
    case 0x20: r.heading = QStringLiteral("Read Tag Block:"); break;
    case 0x23: r.heading = QStringLiteral("Read Tag Multi-Block:"); break;
    case 0x2B: r.heading = QStringLiteral("Read Tag Information:"); break;
    case 0x2C: r.heading = QStringLiteral("Read Tag Multi-Block Security Status:"); break;
    default: break;
    }
    if (f.status() != 0) {
        appendStatusError(r, f);
        return r;
    }
    switch (code) {
    case 0x20: readBlock(f, isoBlockLength, r); break;
    case 0x23: readMultiBlock(f, r); break;
    case 0x2B: tagInformation(f, r); break;
    case 0x2C: securityStatus(f, r); break;
    default: break;
    }
    return r;
}

QList<TagSighting> tagsNamed(const FrameView &f, const FrameView &request, int isoBlockLength)
{
    QList<TagSighting> tags;
    const uint8_t code = f.code();
    if (code == 0x01) {
        if (f[6] != 0)
            return tags;
        const int n = recordsInFrame(f, 8, 8, f[7]);
        for (int k = 0; k < n; ++k)
            tags.append({hexLowFirst(f, 8 + 8 * k, 8), {}});
        return tags;
    }
    if (f.status() != 0)
        return tags;
    if (code == 0x2B) {
        if (f.lengthLow() >= 15)
            tags.append({hexLowFirst(f, 7, 8), {}});
        return tags;
    }
    // Only the request says which tag answered; one for another command
    // (a page changed meanwhile) says nothing about this answer.
    const bool addressed = request.code() == code && (request[4] & 0x10) != 0;
    if (!addressed || code == 0x26)
        return tags;
    TagSighting tag{hexLowFirst(request, 6, 8), {}};
    if (code == 0x20) {
        if (f.lengthLow() < 13)
            return tags; // no transponder
        const bool wide = isoBlockLength != 0;
        tag.blocks.append({wide ? f[15] : f[11], hexLowFirst(f, 6, wide ? 8 : 4)});
    } else if (code == 0x23) {
        const int n = recordsInFrame(f, 8, 5, f[7]);
        for (int k = 0; k < n; ++k)
            tag.blocks.append({f[8 + 5 * k], hexLowFirst(f, 8 + 5 * k + 1, 4)});
    }
    tags.append(tag);
    return tags;
}

} // namespace vexa::iso15693
