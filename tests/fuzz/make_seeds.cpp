// Writes the seed corpora made of frames:
//  - fuzz_responses: one file per answer the host decodes, as the reader
//    would send it (sound frames with their check), plus error statuses,
//    short and over-long answers and answers split in pieces;
//  - fuzz_sim_requests: one file per request the host sends, plain,
//    addressed and aimed at a tag, plus noise and broken requests.
//
//   make_seeds tests/fuzz/seeds      (writes responses/ and sim_requests/)
//
// A seed is in its target's input form: arrival chunks, each a head byte
// (the chunk's length; for requests bits 0-6 only, bit 7 a pause) followed
// by that many bytes.
#include <cstdio>
#include <cstdlib>
#include <QDir>
#include <QFile>

#include "frames.h"
#include "core/wire/frame.h"

using vexa::test::answerFrame;
using vexa::test::hex;

namespace {

QString g_folder;
int g_written = 0;
int g_maxChunk = 255;

// One arrival chunk per piece; pieces longer than a chunk are cut.
QByteArray chunked(const QList<QByteArray> &pieces)
{
    QByteArray input;
    for (QByteArray piece : pieces) {
        do {
            const QByteArray part = piece.left(g_maxChunk);
            piece.remove(0, part.size());
            input.append(char(part.size()));
            input.append(part);
        } while (!piece.isEmpty());
    }
    return input;
}

void write(const char *name, const QList<QByteArray> &pieces)
{
    QFile file(QDir(g_folder).filePath(QString::fromLatin1(name)));
    if (!file.open(QIODevice::WriteOnly) || file.write(chunked(pieces)) < 0) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
    ++g_written;
}

void write(const char *name, const QByteArray &bytes)
{
    write(name, QList<QByteArray>{bytes});
}

QByteArray ok(uint8_t code, const char *payloadHex = "")
{
    return answerFrame(0, code, hex(payloadHex));
}

// The sound frame with its last `cut` bytes missing.
QByteArray shortOf(const QByteArray &frame, int cut)
{
    return frame.left(frame.size() - cut);
}

// Tag-it: values low byte first; records as in tagit.h.
void tagitSeeds()
{
    write("tagit-05-details", ok(0x05, "D4 C3 B2 A1 07 01 01 08 04"));
    write("tagit-07-read-block", ok(0x07, "78 56 34 12 01 03"));
    write("tagit-07-read-block-unlocked", ok(0x07, "44 33 22 11 00 07"));
    write("tagit-0a-read-multi", ok(0x0A, "00 02 01 00 78 56 34 12 00 01 EF BE AD DE"));
    write("tagit-0a-read-multi-claims-more", ok(0x0A, "00 08 00 00 78 56 34 12"));
    write("tagit-0c-read-sid", ok(0x0C, "02 D4 C3 B2 A1 00 03 78 56 34 12 41 9A 2E 5D 01 07 0D F0 FE CA"));
    write("tagit-0c-read-sid-none", ok(0x0C, "00"));
    write("tagit-0c-read-sid-claims-more", ok(0x0C, "05 D4 C3 B2 A1 00 03 78 56 34 12"));
    write("tagit-0d-inventory", ok(0x0D, "02 37 01 A8 C0 41 9A 2E 5D"));
    write("tagit-0d-inventory-none", ok(0x0D, "00"));
    write("tagit-0d-inventory-claims-more", ok(0x0D, "09 37 01 A8 C0"));
    for (uint8_t code : {0x03, 0x04, 0x06, 0x08, 0x09, 0x0B}) {
        const QByteArray name = QByteArray("tagit-") + QByteArray::number(code, 16).rightJustified(2, '0') + "-ack";
        write(name.constData(), ok(code));
    }
    write("tagit-07-status1-12", answerFrame(1, 0x07, hex("12")));
    write("tagit-05-status2-01", answerFrame(2, 0x05, hex("01")));
    write("tagit-03-status2-05", answerFrame(2, 0x03, hex("05")));
    write("tagit-07-bad-check", [] {
        QByteArray f = ok(0x07, "78 56 34 12 01 03");
        f[f.size() - 1] = char(f.at(f.size() - 1) ^ 0x01);
        return f;
    }());
    write("tagit-05-short", shortOf(ok(0x05, "D4 C3 B2 A1 07 01 01 08 04"), 4));
}

// ISO/IEC 15693: UIDs and values low byte first, as in iso15693.h.
void iso15693Seeds()
{
    write("iso15693-01-inventory", ok(0x01, "00 02 F2 93 6A 1C 50 01 04 E0 F7 E6 D5 C4 12 01 08 E0"));
    write("iso15693-01-inventory-none", ok(0x01, "00 00"));
    write("iso15693-01-inventory-failed", ok(0x01, "01 00"));
    write("iso15693-01-inventory-claims-more", ok(0x01, "00 07 F2 93 6A 1C 50 01 04 E0"));
    write("iso15693-20-read-block", ok(0x20, "41 58 45 56 00 00"));
    write("iso15693-20-read-block-8", ok(0x20, "EF CD AB 89 67 45 23 01 00 07"));
    write("iso15693-20-read-block-not-found", ok(0x20, "00"));
    write("iso15693-23-read-multi", ok(0x23, "00 02 00 41 58 45 56 01 30 2E 31 20"));
    write("iso15693-23-read-multi-claims-more", ok(0x23, "00 20 00 41 58 45 56"));
    write("iso15693-2b-information", ok(0x2B, "0F F2 93 6A 1C 50 01 04 E0 01 31 1B 03 01"));
    write("iso15693-2b-information-bare", ok(0x2B, "00 F2 93 6A 1C 50 01 04 E0"));
    write("iso15693-2b-information-afi-only", ok(0x2B, "02 F2 93 6A 1C 50 01 04 E0 C0"));
    write("iso15693-2b-not-found", ok(0x2B, "00 01"));
    write("iso15693-2c-security", ok(0x2C, "00 00 04 01 00 00 01"));
    write("iso15693-2c-security-claims-more", ok(0x2C, "00 03 40 01"));
    write("iso15693-26-test", ok(0x26));
    write("iso15693-26-test-status2", answerFrame(2, 0x26, hex("02")));
    for (uint8_t code : {0x21, 0x22, 0x24, 0x27, 0x28, 0x29, 0x2A}) {
        const QByteArray name = QByteArray("iso15693-") + QByteArray::number(code, 16) + "-ack";
        write(name.constData(), ok(code));
    }
    write("iso15693-20-status1-10", answerFrame(1, 0x20, hex("10")));
    write("iso15693-21-status1-12", answerFrame(1, 0x21, hex("12")));
    write("iso15693-23-status1-15", answerFrame(1, 0x23, hex("15")));
    write("iso15693-2b-status2-01", answerFrame(2, 0x2B, hex("01")));
    write("iso15693-2c-status3", answerFrame(3, 0x2C, hex("00")));
    write("iso15693-20-short", shortOf(ok(0x20, "41 58 45 56 00 00"), 3));
}

void iso14443Seeds()
{
    write("iso14443-40-uid-4", ok(0x40, "00 04 04 A1 B2 C3"));
    write("iso14443-40-uid-7", ok(0x40, "00 07 04 A2 C8 F2 1B 6E 80"));
    write("iso14443-40-uid-10", ok(0x40, "00 0A 04 A2 C8 F2 1B 6E 80 11 22 33"));
    write("iso14443-40-uid-claims-more", ok(0x40, "00 0A 04 A1 B2 C3"));
    write("iso14443-40-not-found", answerFrame(2, 0x40, hex("01")));
    write("iso14443-40-failed-status0", ok(0x40, "01"));
    write("iso14443-41-unknown-status2", answerFrame(2, 0x41, hex("02")));
}

// Reader management, byte layouts as in management.h.
void managementSeeds()
{
    write("mgmt-e0-version", ok(0xE0, "07 04 07 01 56 58 30 30 31 32 33 00"));
    write("mgmt-e0-version-boot", ok(0xE0, "02 01 00 82 56 58 30 30 31 32 33 34"));
    write("mgmt-e0-version-pelion", ok(0xE0, "10 03 05 02 00"));
    write("mgmt-e3-loader", ok(0xE3, "05 04 01 01 01"));
    write("mgmt-e3-loader-usb", ok(0xE3, "05 04 02 02 02"));
    write("mgmt-e3-loader-virtual", ok(0xE3, "05 04 00 03 03"));
    write("mgmt-e3-loader-status2", answerFrame(2, 0xE3, hex("02")));
    write("mgmt-e5-reset", ok(0xE5));
    write("mgmt-e6-diagnostics", ok(0xE6, "00 00 00 00"));
    write("mgmt-e7-setup", ok(0xE7, "40 2D 01 30 00"));
    write("mgmt-e7-setup-data-tagit", ok(0xE7, "80 40 02 00 02"));
    write("mgmt-e7-setup-14443", ok(0xE7, "80 11 00 00 01"));
    write("mgmt-e7-setup-all", ok(0xE7, "40 7D 05 C1 03"));
    write("mgmt-e7-setup-off", ok(0xE7, "00 00 00 00 00"));
    write("mgmt-eb-info", ok(0xEB, "56 58 31 32 33 34 35 00 2A 00 93 01"));
    write("mgmt-ec-encryption", ok(0xEC));
    write("mgmt-ec-encryption-status2", answerFrame(2, 0xEC, hex("02")));
    write("mgmt-ed-config", ok(0xED, "0E"));
    write("mgmt-ed-config-status2", answerFrame(2, 0xED, hex("03")));
    write("mgmt-ee-led", ok(0xEE));
    write("mgmt-ef-audio", ok(0xEF));
    write("mgmt-ef-audio-status1", answerFrame(1, 0xEF, hex("0F")));
    write("mgmt-e9-unknown-status2", answerFrame(2, 0xE9, hex("04")));
    write("mgmt-e0-short", shortOf(ok(0xE0, "07 04 07 01 56 58 30 30 31 32 33 00"), 6));
    write("mgmt-eb-short", ok(0xEB, "56 58"));
}

// Reception: pieces, noise, frames too long for the length byte. (Overflowing
// the 8 KiB receive buffer takes more than the fuzzer's input limit; the
// reception unit tests cover it.)
void receptionSeeds()
{
    const QByteArray version = ok(0xE0, "07 04 07 01 56 58 30 30 31 32 33 00");
    write("rx-pieces", QList<QByteArray>{version.left(3), version.mid(3, 5), version.mid(8)});
    write("rx-stray-before", QList<QByteArray>{hex("FF 00 7E"), version});
    write("rx-two-frames", QList<QByteArray>{version, ok(0xE7, "40 2D 01 30 00")});
    write("rx-no-start-byte", hex("FF FE 10 00 E0"));
    write("rx-header-only", hex("01 08 00"));
    write("rx-trailing-bytes", version + hex("00 00 00"));
    // 254 and 255 bytes still fit the length byte; 256 and more never do.
    write("rx-longest", ok(0x23, QByteArray(2 * 246, '0').constData()));
    write("rx-over-long-300", answerFrame(0, 0x23, QByteArray(292, '\x11')));
}

// A request as the host sends it: flags, code, parameters, check.
QByteArray request(uint8_t flags, uint8_t code, const char *parametersHex = "")
{
    const QByteArray parameters = hex(parametersHex);
    QByteArray f(8 + parameters.size(), '\0');
    auto *b = reinterpret_cast<uint8_t *>(f.data());
    vexa::writeHeader(b, int(f.size()), flags, code);
    std::copy(parameters.begin(), parameters.end(), f.begin() + 6);
    vexa::writeFrameCheck(b, int(f.size()));
    return f;
}

// Requests for the simulator: tags of its default field.
void requestSeeds()
{
    const char *uid = "F2 93 6A 1C 50 01 04 E0 ";   // E00401501C6A93F2, low byte first
    const char *uid8 = "F7 E6 D5 C4 12 01 08 E0 ";  // E0080112C4D5E6F7, 8-byte blocks
    const char *tagitAddress = "37 01 A8 C0 ";      // C0A80137
    auto joined = [](const char *prefix, const char *rest) { return QByteArray(prefix) + rest; };

    // Reader management, plain and addressed to serial number 4000123.
    for (uint8_t code : {0xE0, 0xE3, 0xE5, 0xE6, 0xE7, 0xEB}) {
        const QByteArray name = "rq-mgmt-" + QByteArray::number(code, 16);
        write(name.constData(), request(0x80, code));
    }
    write("rq-mgmt-e0-addressed", request(0xA0, 0xE0, "34 30 30 30 31 32 33 00"));
    write("rq-mgmt-e0-other-reader", request(0xA0, 0xE0, "39 39 39 39 39 39 39 00"));
    write("rq-mgmt-ec-encryption", request(0x80, 0xEC, "02 11 22 33 44 55 66 77 88"));
    write("rq-mgmt-ee-led", request(0x80, 0xEE, "01 02 0A 00"));
    write("rq-mgmt-ef-audio", request(0x80, 0xEF, "02 0A 00"));
    for (const char *sub : {"03 00", "04 00", "07 0C", "09 00 00", "0A 01 31", "0B 00 00", "0C 00 00",
                            "0E 00", "0F 00", "10 00", "11 00"}) {
        const QByteArray name = "rq-mgmt-ed-" + QByteArray(sub).left(2).toLower();
        write(name.constData(), request(0x80, 0xED, sub));
    }
    write("rq-mgmt-ed-short", request(0x80, 0xED));

    // ISO/IEC 15693, without and with a UID.
    write("rq-iso-01-inventory", request(0x82, 0x01, "00"));
    write("rq-iso-01-inventory-afi", request(0x82, 0x01, "31"));
    write("rq-iso-20-read", request(0x82, 0x20, "03"));
    write("rq-iso-20-read-uid", request(0x92, 0x20, joined(uid, "00").constData()));
    write("rq-iso-20-read-uid8", request(0x92, 0x20, joined(uid8, "01").constData()));
    write("rq-iso-20-read-absent", request(0x92, 0x20, "11 22 33 44 55 66 77 E0 00"));
    write("rq-iso-21-write", request(0x82, 0x21, "05 44 33 22 11"));
    write("rq-iso-21-write-uid8", request(0x92, 0x21, joined(uid8, "02 88 77 66 55 44 33 22 11").constData()));
    write("rq-iso-22-lock", request(0x82, 0x22, "06"));
    write("rq-iso-23-read-many", request(0x82, 0x23, "00 04"));
    write("rq-iso-23-read-many-past-end", request(0x82, 0x23, "1A 20"));
    write("rq-iso-24-write-many", request(0x82, 0x24, "02 02 01 00 00 00 02 00 00 00"));
    write("rq-iso-26-test", request(0x82, 0x26));
    write("rq-iso-27-afi", request(0x82, 0x27, "31"));
    write("rq-iso-28-lock-afi", request(0x82, 0x28));
    write("rq-iso-29-dsfid", request(0x82, 0x29, "01"));
    write("rq-iso-2a-lock-dsfid", request(0x82, 0x2A));
    write("rq-iso-2b-information", request(0x82, 0x2B));
    write("rq-iso-2c-security", request(0x82, 0x2C, "00 08"));
    write("rq-iso-20-short", request(0x82, 0x20));

    // Tag-it, without and with the tag address.
    write("rq-tagit-05-version", request(0x80, 0x05));
    write("rq-tagit-05-version-address", request(0x90, 0x05, tagitAddress));
    write("rq-tagit-07-read", request(0x80, 0x07, "03"));
    write("rq-tagit-03-write", request(0x80, 0x03, "02 78 56 34 12"));
    write("rq-tagit-06-write-lock", request(0x90, 0x06, joined(tagitAddress, "01 78 56 34 12").constData()));
    write("rq-tagit-04-lock", request(0x80, 0x04, "05"));
    write("rq-tagit-0a-read-many", request(0x80, 0x0A, "00 08"));
    write("rq-tagit-08-write-many", request(0x80, 0x08, "00 02 01 00 00 00 02 00 00 00"));
    write("rq-tagit-09-lock-many", request(0x80, 0x09, "02 02"));
    write("rq-tagit-0b-read-many-sid", request(0x80, 0x0B, "00 08"));
    write("rq-tagit-0c-read-sid", request(0x80, 0x0C, "07"));
    write("rq-tagit-0d-inventory", request(0x80, 0x0D));

    // ISO/IEC 14443-A and codes of no family.
    write("rq-iso14443-40-read-uid", request(0x80, 0x40, "00"));
    write("rq-unknown-code", request(0x80, 0x77));

    // Line troubles: noise, pieces, a pause inside a frame, a bad check.
    const QByteArray version = request(0x80, 0xE0);
    write("rq-noise-before", QList<QByteArray>{hex("FF 00 7E 01 02"), version});
    write("rq-pieces", QList<QByteArray>{version.left(2), version.mid(2)});
    write("rq-two-frames", QList<QByteArray>{version + request(0x80, 0xE7)});
    QByteArray bad = version;
    bad[bad.size() - 1] = char(bad.at(bad.size() - 1) ^ 0x01);
    write("rq-bad-check", bad);
    write("rq-length-too-short", hex("01 04 00 10 80 E0"));
    QByteArray paused = chunked({version.left(4)});
    paused += char(0x80 | (version.size() - 4));
    paused += version.mid(4);
    QFile file(QDir(g_folder).filePath(QStringLiteral("rq-pause-inside")));
    if (!file.open(QIODevice::WriteOnly) || file.write(paused) < 0)
        std::exit(1);
    ++g_written;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <folder>\n");
        return 2;
    }
    const QDir top(QString::fromLocal8Bit(argv[1]));
    g_folder = top.filePath(QStringLiteral("responses"));
    g_maxChunk = 255;
    if (!QDir().mkpath(g_folder))
        return 1;
    tagitSeeds();
    iso15693Seeds();
    iso14443Seeds();
    managementSeeds();
    receptionSeeds();
    std::printf("%d seeds in %s\n", g_written, qPrintable(g_folder));

    g_folder = top.filePath(QStringLiteral("sim_requests"));
    g_maxChunk = 127;
    g_written = 0;
    if (!QDir().mkpath(g_folder))
        return 1;
    requestSeeds();
    std::printf("%d seeds in %s\n", g_written, qPrintable(g_folder));
    return 0;
}
