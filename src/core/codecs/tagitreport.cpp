// VexaHost - reports of Tag-it answers (layouts in tagit.h).
#include "tagit.h"

#include <algorithm>

#include "core/wire/reception.h"

namespace vexa::tagit {

namespace {

using tagtext::kIndent;

constexpr uint8_t kReadBlockSid = 0x0C;

QString hex32(uint32_t value)
{
    return QString::asprintf("%08X", value);
}

const QString &lockText(uint8_t flag)
{
    return flag ? tagtext::kLocked : tagtext::kUnlocked;
}

// Records the frame really holds: a count byte may claim more than arrived.
int recordsInFrame(const FrameView &f, int first, int size, int claimed)
{
    return std::clamp((payloadEnd(f) - first) / size, 0, claimed);
}

QVariantMap lockEntry(int block, uint8_t flag)
{
    return {{QStringLiteral("block"), block}, {QStringLiteral("locked"), flag != 0}};
}

void transponderDetails(const FrameView &f, Report &r)
{
    r.fields.insert(QStringLiteral("tagitVersion"), QVariantMap{{QStringLiteral("transponderId"), hex32(f.u32(6))},
                                                               {QStringLiteral("manufacturer"), f[10]},
                                                               {QStringLiteral("version"), f.u16(11)},
                                                               {QStringLiteral("blockCount"), f[13]},
                                                               {QStringLiteral("bytesPerBlock"), f[14]}});
    r.lines << kIndent + QStringLiteral("Transponder ID:      ") + hex32(f.u32(6)) + QStringLiteral(" hex")
            << kIndent + QStringLiteral("Manufacturer Number: ") + QString::asprintf("%02X", f[10])
            << kIndent + QStringLiteral("Version Number:      ") + QString::asprintf("%04X", f.u16(11))
            << kIndent + QStringLiteral("Number of blocks:    ") + QString::asprintf("%02X", f[13])
            << kIndent + QStringLiteral("Bytes per block:     ") + QString::asprintf("%02X", f[14]);
}

void readBlock(const FrameView &f, Report &r)
{
    r.fields.insert(QStringLiteral("locks"), QVariantList{lockEntry(f[11], f[10])});
    r.fields.insert(QStringLiteral("blocks"), QVariantList{blockValue(f[11], hex32(f.u32(6)))});
    r.lines << kIndent + QStringLiteral("Block Number: ") + QString::number(f[11])
            << (f[10] ? kIndent + QStringLiteral("Locked ") : kIndent + QStringLiteral("Unlocked "))
            << kIndent + QStringLiteral("Block Data: ") + hex32(f.u32(6));
}

void readMultiBlock(const FrameView &f, Report &r)
{
    r.lines << QStringLiteral("  Block    Value        Lock Status");
    const int n = recordsInFrame(f, 8, 6, f[7]);
    QVariantList locks, blocks;
    for (int k = 0; k < n; ++k) {
        const int at = 8 + 6 * k;
        locks << lockEntry(f[at + 1], f[at]);
        blocks << blockValue(f[at + 1], hex32(f.u32(at + 2)));
        r.lines << kIndent + QString::number(f[at + 1]) + QStringLiteral("     ") + hex32(f.u32(at + 2))
                + QStringLiteral("     ") + lockText(f[at]);
    }
    r.fields.insert(QStringLiteral("locks"), locks);
    r.fields.insert(QStringLiteral("blocks"), blocks);
}

void readBlockSid(const FrameView &f, Report &r)
{
    if (f[6] == 0) {
        r.lines << kIndent + QStringLiteral("No transponder(s) found");
        return;
    }
    r.lines << QStringLiteral("#   Address   Blk   Value    Lock Status");
    const int n = recordsInFrame(f, 7, 10, f[6]);
    QVariantList locks, blocks;
    for (int k = 0; k < n; ++k) {
        const int at = 7 + 10 * k;
        QVariantMap lock = lockEntry(f[at + 5], f[at + 4]);
        lock.insert(QStringLiteral("uid"), hex32(f.u32(at)));
        locks << lock;
        QVariantMap block = blockValue(f[at + 5], hex32(f.u32(at + 6)));
        block.insert(QStringLiteral("uid"), hex32(f.u32(at)));
        blocks << block;
        r.lines << QString::asprintf("%02d  %s   %01d   %s   %s", k + 1, qPrintable(hex32(f.u32(at))), f[at + 5],
                                     qPrintable(hex32(f.u32(at + 6))), qPrintable(lockText(f[at + 4])));
    }
    r.fields.insert(QStringLiteral("locks"), locks);
    r.fields.insert(QStringLiteral("blocks"), blocks);
}

void inventory(const FrameView &f, Report &r)
{
    if (f[6] == 0) {
        r.lines << kIndent + QStringLiteral("No transponder(s) found");
        return;
    }
    r.lines << kIndent + QStringLiteral("#   Tag Address");
    const int n = recordsInFrame(f, 7, 4, f[6]);
    for (int k = 0; k < n; ++k)
        r.lines << QString::asprintf("    %02d  %s", k + 1, qPrintable(hex32(f.u32(7 + 4 * k))));
}

constexpr Acknowledgement kAcknowledgements[] = {
    {0x03, "Write Tag Block:", "Block written"},
    {0x04, "Lock Tag Block:", "Block Locked"},
    {0x06, "Write & Lock Tag Block:", "Block written and locked"},
    {0x08, "Write Multi-Block:", "Block(s) written"},
    {0x09, "Lock Multi-Block:", "Block(s) locked"},
    {0x0B, "Read Tag Multi-Block SID:", nullptr},
};

} // namespace

Report reportResponse(const FrameView &f, int received)
{
    Report r;
    const uint8_t code = f.code();
    // Read block SID answers are taken as they come; every other answer must
    // be exactly one sound frame (the count is taken as 8 bits).
    if (code != kReadBlockSid && !responseCheck(f, received & 0xFF)) {
        setErrorHeading(r, QStringLiteral("Corrupted data received"));
        return r;
    }
    r.separator = true;

    if (reportAcknowledgement(kAcknowledgements, f, r))
        return r;

    switch (code) {
    case 0x05: r.heading = QStringLiteral("Read Transponder Details:"); break;
    case 0x07: r.heading = QStringLiteral("Read Tag Block:"); break;
    case 0x0A: r.heading = QStringLiteral("Read Tag Multi-Block:"); break;
    case 0x0C: r.heading = QStringLiteral("Read Tag Block SID:"); break;
    case 0x0D: r.heading = QStringLiteral("Read Tag-it Inventory:"); break;
    default: break;
    }
    if (f.status() != 0) {
        appendStatusError(r, f);
        return r;
    }
    switch (code) {
    case 0x05: transponderDetails(f, r); break;
    case 0x07: readBlock(f, r); break;
    case 0x0A: readMultiBlock(f, r); break;
    case 0x0C: readBlockSid(f, r); break;
    case 0x0D: inventory(f, r); break;
    default: break;
    }
    return r;
}

QList<TagSighting> tagsNamed(const FrameView &f, const FrameView &request)
{
    QList<TagSighting> tags;
    const uint8_t code = f.code();
    if (code != kReadBlockSid && !responseCheck(f, f.available() & 0xFF))
        return tags;
    if (f.status() != 0)
        return tags;
    switch (code) {
    case 0x0D: {
        const int n = recordsInFrame(f, 7, 4, f[6]);
        for (int k = 0; k < n; ++k)
            tags.append({hex32(f.u32(7 + 4 * k)), {}});
        return tags;
    }
    case kReadBlockSid: {
        const int n = recordsInFrame(f, 7, 10, f[6]);
        for (int k = 0; k < n; ++k) {
            const int at = 7 + 10 * k;
            tags.append({hex32(f.u32(at)), {{f[at + 5], hex32(f.u32(at + 6))}}});
        }
        return tags;
    }
    case 0x05: tags.append({hex32(f.u32(6)), {}}); return tags;
    default: break;
    }
    // Only the request says which tag answered; one for another command
    // says nothing about this answer.
    if (request.code() != code || (request[4] & 0x10) == 0)
        return tags;
    TagSighting tag{hex32(request.u32(6)), {}};
    if (code == 0x07) {
        tag.blocks.append({f[11], hex32(f.u32(6))});
    } else if (code == 0x0A) {
        const int n = recordsInFrame(f, 8, 6, f[7]);
        for (int k = 0; k < n; ++k)
            tag.blocks.append({f[8 + 6 * k + 1], hex32(f.u32(8 + 6 * k + 2))});
    }
    tags.append(tag);
    return tags;
}

} // namespace vexa::tagit
