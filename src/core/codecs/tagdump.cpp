// VexaHost - tag dumps: files, comparison and restore plans (layouts in tagdump.h).
#include "tagdump.h"

#include <algorithm>
#include <cctype>
#include <QJsonDocument>
#include <QJsonObject>

namespace vexa::tagdump {

namespace {

const QString kIsoName = QStringLiteral("ISO/IEC 15693");
const QString kTagitName = QStringLiteral("Tag-it");
const QString kTagitType = QStringLiteral("Tag-it");
const QString kIsoType = QStringLiteral("15693 v4");
const QString kIsoWideType = QStringLiteral("15693 v5"); // two-byte block count
const QString kNotInFile = QStringLiteral("not in the file");

int uidSize(Family family)
{
    return family == Family::Tagit ? 4 : 8;
}

QByteArray reversed(QByteArray bytes)
{
    std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString numbers(const QList<int> &list)
{
    QStringList texts;
    for (int n : list)
        texts << QString::number(n);
    return texts.join(QStringLiteral(", "));
}

// ----- writing

// JSON string text: quotes, backslashes and control characters escaped.
QByteArray quoted(const QString &text)
{
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\')
            out += '\\', out += c;
        else if (uint8_t(c) < 0x20)
            out += QByteArray("\\u00") + QByteArray::number(uint8_t(c), 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out + '"';
}

// One object, its members in the order given, indented like the Proxmark3
// client's files so that the two diff well.
class ObjectWriter
{
public:
    explicit ObjectWriter(int depth)
        : m_indent(depth * 2, ' ')
    {}
    void add(const QString &name, const QByteArray &json)
    {
        m_members << m_indent + "  " + quoted(name) + ": " + json;
    }
    void addText(const QString &name, const QString &text) { add(name, quoted(text)); }
    void addHex(const QString &name, const QByteArray &bytes) { add(name, quoted(hex(bytes))); }
    bool isEmpty() const { return m_members.isEmpty(); }
    QByteArray text() const
    {
        if (m_members.isEmpty())
            return "{}";
        return "{\n" + m_members.join(",\n") + "\n" + m_indent + "}";
    }

private:
    QByteArray m_indent;
    QList<QByteArray> m_members;
};

QByteArray byteOf(uint8_t value)
{
    return QByteArray(1, char(value));
}

// ----- reading

// Hexadecimal text, two digits a byte; blanks between them are allowed.
std::optional<QByteArray> hexValue(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    QByteArray digits = value.toString().toLatin1();
    digits.replace(' ', QByteArray());
    if (digits.size() % 2 != 0)
        return std::nullopt;
    for (const char c : digits)
        if (!std::isxdigit(uint8_t(c)))
            return std::nullopt;
    return QByteArray::fromHex(digits);
}

struct FieldError
{
    QString text;
};

// A field of `sizes` bytes (one of them), or unset when absent.
std::optional<QByteArray> field(const QJsonObject &object, const QString &path, const QString &name,
                                std::initializer_list<int> sizes, FieldError &error)
{
    const QJsonValue value = object.value(name);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    const auto bytes = hexValue(value);
    if (bytes && std::find(sizes.begin(), sizes.end(), bytes->size()) != sizes.end())
        return bytes;
    QStringList allowed;
    for (int s : sizes)
        allowed << QString::number(s);
    if (error.text.isEmpty()) // the first fault found is the one told
        error.text = QStringLiteral("%1: not %2 byte(s) of hexadecimal").arg(path + name, allowed.join(QStringLiteral(" or ")));
    return std::nullopt;
}

std::optional<uint8_t> byteField(const QJsonObject &object, const QString &path, const QString &name, FieldError &error)
{
    const auto bytes = field(object, path, name, {1}, error);
    return bytes ? std::optional<uint8_t>(uint8_t(bytes->at(0))) : std::nullopt;
}

Decoded failed(const QString &error)
{
    return {TagDump{}, error};
}

// "15693": every block of 4 bytes in one text.
Decoded fromRaw(const QJsonObject &root)
{
    const auto raw = hexValue(root.value(QStringLiteral("raw")));
    if (!raw)
        return failed(QStringLiteral("raw: missing or not hexadecimal"));
    return fromBin(*raw, 4);
}

// "15693 v2" and "v3": blocks of 4 or 8 bytes up to the first missing one.
Decoded fromBlocksOnly(const QJsonObject &root, int blockSize)
{
    const QJsonObject blocks = root.value(QStringLiteral("blocks")).toObject();
    QByteArray memory;
    for (int n = 0; n < kMaxIsoBlocks; ++n) {
        const QString name = QString::number(n);
        if (!blocks.contains(name))
            break;
        const auto bytes = hexValue(blocks.value(name));
        if (!bytes || bytes->size() != blockSize)
            return failed(QStringLiteral("blocks.%1: not %2 bytes of hexadecimal").arg(name).arg(blockSize));
        memory += *bytes;
    }
    if (memory.isEmpty())
        return failed(QStringLiteral("blocks.0: missing"));
    return fromBin(memory, blockSize);
}

Decoded fromCard(const QJsonObject &root, Family family, const QString &fileType)
{
    const QJsonObject extra = root.value(QStringLiteral("VexaHost")).toObject();
    const QJsonValue familyValue = extra.value(QStringLiteral("family"));
    if (!familyValue.isUndefined() && familyValue.toString() != familyName(family))
        return failed(QStringLiteral("VexaHost.family: not the family of FileType \"%1\"").arg(fileType));
    const QJsonValue cardValue = root.value(QStringLiteral("Card"));
    if (!cardValue.isObject())
        return failed(QStringLiteral("Card: missing or not an object"));
    const QJsonObject card = cardValue.toObject();
    const QString at = QStringLiteral("Card.");
    FieldError error;
    TagDump dump;
    dump.family = family;

    if (const auto uid = field(card, at, QStringLiteral("uid"), {uidSize(family)}, error))
        dump.uid = reversed(*uid);
    dump.dsfid = byteField(card, at, QStringLiteral("dsfid"), error);
    dump.afi = byteField(card, at, QStringLiteral("afi"), error);
    dump.icReference = byteField(card, at, QStringLiteral("ic"), error);
    if (const auto lock = byteField(card, at, QStringLiteral("dsfidlock"), error))
        dump.dsfidLocked = *lock != 0;
    if (const auto lock = byteField(card, at, QStringLiteral("afilock"), error))
        dump.afiLocked = *lock != 0;
    const auto size = byteField(card, at, QStringLiteral("bytesperpage"), error);
    // Files in the wild hold the count in one byte or two, whatever their FileType says.
    const auto count = field(card, at, QStringLiteral("pagescount"), {1, 2}, error);
    if (!error.text.isEmpty())
        return failed(error.text);
    if (!size)
        return failed(QStringLiteral("Card.bytesperpage: missing"));
    if (!count)
        return failed(QStringLiteral("Card.pagescount: missing"));
    dump.blockSize = *size;
    const int blocks = uint8_t(count->at(0)) | (count->size() > 1 ? uint8_t(count->at(1)) << 8 : 0);
    const int maxBlocks = family == Family::Tagit ? kTagitBlocks : kMaxIsoBlocks;
    if (blocks < 1 || blocks > maxBlocks)
        return failed(QStringLiteral("Card.pagescount: %1 blocks, not 1 to %2").arg(blocks).arg(maxBlocks));
    const int sizeLimit = family == Family::Tagit ? kTagitBlockSize : kMaxBlockSize;
    if (dump.blockSize < (family == Family::Tagit ? kTagitBlockSize : 1) || dump.blockSize > sizeLimit)
        return failed(QStringLiteral("Card.bytesperpage: %1 bytes is no block size of %2").arg(dump.blockSize).arg(familyName(family)));
    const auto locks = field(card, at, QStringLiteral("locks"), {blocks}, error);
    if (!error.text.isEmpty())
        return failed(error.text);

    const QJsonValue blocksValue = root.value(QStringLiteral("blocks"));
    if (!blocksValue.isUndefined() && !blocksValue.isObject())
        return failed(QStringLiteral("blocks: not an object"));
    const QJsonObject data = blocksValue.toObject();
    const QJsonObject unread = extra.value(QStringLiteral("unread")).toObject();
    const QJsonObject knownLocks = extra.value(QStringLiteral("locks")).toObject();
    dump.blocks.resize(blocks);
    for (int n = 0; n < blocks; ++n) {
        const QString name = QString::number(n);
        Block &block = dump.blocks[n];
        const QJsonValue value = data.value(name);
        // An empty text ends the Proxmark3 client's reading there: nothing was read.
        const bool empty = value.isUndefined() || (value.isString() && value.toString().isEmpty());
        if (!empty) {
            const auto bytes = hexValue(value);
            if (!bytes || bytes->size() != dump.blockSize)
                return failed(QStringLiteral("blocks.%1: not %2 bytes of hexadecimal").arg(name).arg(dump.blockSize));
            block.data = *bytes;
        } else {
            const QString why = unread.value(name).toString();
            block.unread = why.isEmpty() ? kNotInFile : why;
        }
        if (locks)
            block.locked = locks->at(n) != 0;
        const QJsonValue known = knownLocks.value(name);
        if (known.isBool())
            block.locked = known.toBool();
        else if (!known.isUndefined())
            return failed(QStringLiteral("VexaHost.locks.%1: not true or false").arg(name));
    }
    return {dump, {}};
}

// Without the same family and block size no block of one stands for a block of the other.
bool sameLayout(const TagDump &a, const TagDump &b, QString *why)
{
    if (a.family != b.family) {
        *why = QStringLiteral("the tag is %1, the dump %2").arg(familyName(a.family), familyName(b.family));
        return false;
    }
    if (a.blockSize != b.blockSize) {
        *why = QStringLiteral("the tag's blocks have %1 bytes, the dump's %2").arg(a.blockSize).arg(b.blockSize);
        return false;
    }
    return true;
}

} // namespace

QString familyName(Family family)
{
    return family == Family::Tagit ? kTagitName : kIsoName;
}

QString checkDump(const TagDump &dump)
{
    const bool tagit = dump.family == Family::Tagit;
    const int maxBlocks = tagit ? kTagitBlocks : kMaxIsoBlocks;
    if (tagit ? dump.blockSize != kTagitBlockSize : (dump.blockSize < 1 || dump.blockSize > kMaxBlockSize))
        return QStringLiteral("%1 bytes is no block size of %2").arg(dump.blockSize).arg(familyName(dump.family));
    if (dump.blocks.isEmpty() || dump.blocks.size() > maxBlocks)
        return QStringLiteral("%1 blocks, not 1 to %2").arg(dump.blocks.size()).arg(maxBlocks);
    if (!dump.uid.isEmpty() && dump.uid.size() != uidSize(dump.family))
        return QStringLiteral("a UID of %1 bytes, not %2").arg(dump.uid.size()).arg(uidSize(dump.family));
    for (qsizetype n = 0; n < dump.blocks.size(); ++n) {
        const Block &block = dump.blocks[n];
        if (block.isRead() && block.data.size() != dump.blockSize)
            return QStringLiteral("block %1 holds %2 bytes, not %3").arg(n).arg(block.data.size()).arg(dump.blockSize);
    }
    return {};
}

QString uidText(const QByteArray &uid)
{
    return hex(uid);
}

QString shownValue(const QByteArray &memory)
{
    return hex(reversed(memory));
}

Encoded toJson(const TagDump &dump)
{
    if (const QString why = checkDump(dump); !why.isEmpty())
        return {{}, why};
    const bool tagit = dump.family == Family::Tagit;
    const bool wide = dump.blocks.size() > 255;

    ObjectWriter card(1);
    if (!dump.uid.isEmpty())
        card.addHex(QStringLiteral("uid"), reversed(dump.uid));
    if (dump.dsfid)
        card.addHex(QStringLiteral("dsfid"), byteOf(*dump.dsfid));
    if (dump.dsfidLocked)
        card.addHex(QStringLiteral("dsfidlock"), byteOf(*dump.dsfidLocked));
    if (dump.afi)
        card.addHex(QStringLiteral("afi"), byteOf(*dump.afi));
    if (dump.afiLocked)
        card.addHex(QStringLiteral("afilock"), byteOf(*dump.afiLocked));
    card.addHex(QStringLiteral("bytesperpage"), byteOf(uint8_t(dump.blockSize)));
    const int count = int(dump.blocks.size());
    card.addHex(QStringLiteral("pagescount"), wide ? byteOf(uint8_t(count)) + byteOf(uint8_t(count >> 8)) : byteOf(uint8_t(count)));
    if (dump.icReference)
        card.addHex(QStringLiteral("ic"), byteOf(*dump.icReference));
    const bool allLocksKnown = std::all_of(dump.blocks.begin(), dump.blocks.end(),
                                           [](const Block &b) { return b.locked.has_value(); });
    if (allLocksKnown) {
        QByteArray locks;
        for (const Block &b : dump.blocks)
            locks += char(*b.locked ? 1 : 0);
        card.addHex(QStringLiteral("locks"), locks);
    }

    ObjectWriter blocks(1), unread(2), knownLocks(2);
    for (int n = 0; n < count; ++n) {
        const Block &b = dump.blocks[n];
        const QString name = QString::number(n);
        if (b.isRead())
            blocks.addHex(name, b.data);
        else
            unread.addText(name, b.unread.isEmpty() ? kNotInFile : b.unread);
        if (!allLocksKnown && b.locked)
            knownLocks.add(name, *b.locked ? "true" : "false");
    }
    ObjectWriter extra(1);
    extra.addText(QStringLiteral("family"), familyName(dump.family));
    if (!unread.isEmpty())
        extra.add(QStringLiteral("unread"), unread.text());
    if (!knownLocks.isEmpty())
        extra.add(QStringLiteral("locks"), knownLocks.text());

    ObjectWriter root(0);
    root.addText(QStringLiteral("Created"), QStringLiteral("VexaHost"));
    root.addText(QStringLiteral("FileType"), tagit ? kTagitType : wide ? kIsoWideType : kIsoType);
    root.add(QStringLiteral("Card"), card.text());
    root.add(QStringLiteral("blocks"), blocks.text());
    root.add(QStringLiteral("VexaHost"), extra.text());
    return {root.text() + '\n', {}};
}

Decoded fromJson(const QByteArray &bytes)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return failed(QStringLiteral("not JSON: %1 at byte %2").arg(parseError.errorString()).arg(parseError.offset));
    if (!document.isObject())
        return failed(QStringLiteral("not a JSON object"));
    const QJsonObject root = document.object();
    const QJsonValue typeValue = root.value(QStringLiteral("FileType"));
    if (!typeValue.isString())
        return failed(QStringLiteral("FileType: missing or not a text"));
    const QString type = typeValue.toString();
    if (type == kIsoType || type == kIsoWideType)
        return fromCard(root, Family::Iso15693, type);
    if (type == kTagitType)
        return fromCard(root, Family::Tagit, type);
    if (type == QLatin1String("15693 v3"))
        return fromBlocksOnly(root, 8);
    if (type == QLatin1String("15693 v2"))
        return fromBlocksOnly(root, 4);
    if (type == QLatin1String("15693"))
        return fromRaw(root);
    return failed(QStringLiteral("FileType: \"%1\" is no tag dump of ISO/IEC 15693 or Tag-it").arg(type.left(40)));
}

Encoded toBin(const TagDump &dump)
{
    if (const QString why = checkDump(dump); !why.isEmpty())
        return {{}, why};
    QList<int> unread;
    QByteArray memory;
    for (qsizetype n = 0; n < dump.blocks.size(); ++n) {
        if (dump.blocks[n].isRead())
            memory += dump.blocks[n].data;
        else
            unread << int(n);
    }
    if (!unread.isEmpty())
        return {{}, QStringLiteral("a .bin file has no place for blocks not read: %1").arg(numbers(unread))};
    return {memory, {}};
}

Decoded fromBin(const QByteArray &bytes, int blockSize, Family family)
{
    TagDump dump;
    dump.family = family;
    dump.blockSize = blockSize;
    if (blockSize < 1 || blockSize > kMaxBlockSize)
        return failed(QStringLiteral("%1 bytes is no block size of %2").arg(blockSize).arg(familyName(family)));
    if (bytes.isEmpty() || bytes.size() % blockSize != 0)
        return failed(QStringLiteral("%1 bytes are no whole number of blocks of %2").arg(bytes.size()).arg(blockSize));
    // Counted first: a large file must not become a large list before it is refused.
    if (bytes.size() / blockSize > kMaxIsoBlocks)
        return failed(QStringLiteral("%1 blocks, not 1 to %2").arg(bytes.size() / blockSize).arg(kMaxIsoBlocks));
    for (qsizetype at = 0; at < bytes.size(); at += blockSize)
        dump.blocks.append(Block{bytes.mid(at, blockSize), {}, std::nullopt});
    if (const QString why = checkDump(dump); !why.isEmpty())
        return failed(why);
    return {dump, {}};
}

Comparison compare(const TagDump &tag, const TagDump &dump)
{
    Comparison result;
    result.uidDiffers = !tag.uid.isEmpty() && !dump.uid.isEmpty() && tag.uid != dump.uid;
    if (!sameLayout(tag, dump, &result.layout))
        return result;
    if (tag.blocks.size() != dump.blocks.size())
        result.layout = QStringLiteral("the tag has %1 blocks, the dump %2").arg(tag.blocks.size()).arg(dump.blocks.size());
    const qsizetype common = std::min(tag.blocks.size(), dump.blocks.size());
    for (qsizetype n = 0; n < common; ++n) {
        const Block &t = tag.blocks[n];
        const Block &d = dump.blocks[n];
        if (!t.isRead())
            result.unreadOnTag << int(n);
        if (!d.isRead())
            result.unreadInDump << int(n);
        if (t.isRead() && d.isRead() && t.data != d.data)
            result.differing << BlockDifference{int(n), t.data, d.data};
    }
    return result;
}

RestorePlan planRestore(const TagDump &dump, const TagDump &tag, const RestoreOptions &options)
{
    RestorePlan plan;
    const auto refuse = [&plan](RestorePlan::Refusal refusal, const QString &reason) {
        plan.refusal = refusal;
        plan.reason = reason;
        return plan;
    };
    if (const QString why = checkDump(dump); !why.isEmpty())
        return refuse(RestorePlan::Refusal::Invalid, QStringLiteral("the dump: ") + why);
    if (const QString why = checkDump(tag); !why.isEmpty())
        return refuse(RestorePlan::Refusal::Invalid, QStringLiteral("the tag: ") + why);
    QString why;
    if (!sameLayout(tag, dump, &why))
        return refuse(tag.family != dump.family ? RestorePlan::Refusal::FamilyDiffers : RestorePlan::Refusal::LayoutDiffers, why);
    if (dump.blocks.size() > tag.blocks.size())
        return refuse(RestorePlan::Refusal::LayoutDiffers,
                      QStringLiteral("the dump has %1 blocks, the tag only %2").arg(dump.blocks.size()).arg(tag.blocks.size()));
    if (!options.anyUid) {
        if (dump.uid.isEmpty())
            return refuse(RestorePlan::Refusal::UidDiffers, QStringLiteral("the dump names no UID"));
        if (tag.uid.isEmpty())
            return refuse(RestorePlan::Refusal::UidDiffers, QStringLiteral("the tag's UID is not known"));
        if (tag.uid != dump.uid)
            return refuse(RestorePlan::Refusal::UidDiffers,
                          QStringLiteral("the tag's UID %1 is not the dump's %2").arg(uidText(tag.uid), uidText(dump.uid)));
    }

    QList<int> cannotUnlock;
    for (qsizetype n = 0; n < dump.blocks.size(); ++n) {
        const Block &d = dump.blocks[n];
        const Block &t = tag.blocks[n];
        if (!d.isRead()) {
            plan.unreadInDump << int(n);
            continue;
        }
        // A block the tag did not give back may differ: writing it is the only way to know.
        if (!t.isRead() || t.data != d.data) {
            if (t.locked == true)
                plan.skippedLocked << int(n);
            else
                plan.writes << BlockWrite{int(n), d.data};
        }
        if (options.locks && d.locked == true && t.locked != true)
            plan.locks << int(n);
        if (options.locks && d.locked == false && t.locked == true)
            cannotUnlock << int(n);
    }
    if (!cannotUnlock.isEmpty())
        plan.notes << QStringLiteral("locked on the tag but not in the dump (a lock cannot be undone): blocks %1")
                          .arg(numbers(cannotUnlock));

    // AFI and DSFID alike: written when asked and different; locked when
    // asked, the dump's is locked and the value will be the dump's.
    const auto systemByte = [&](const QString &name, bool asked, const std::optional<uint8_t> &wanted,
                                const std::optional<uint8_t> &now, const std::optional<bool> &wantLocked,
                                const std::optional<bool> &nowLocked, std::optional<uint8_t> &write, bool &lock) {
        if (!asked)
            return;
        if (dump.family == Family::Tagit) {
            plan.notes << QStringLiteral("a Tag-it has no %1").arg(name);
            return;
        }
        if (!wanted) {
            plan.notes << QStringLiteral("the dump holds no %1").arg(name);
            return;
        }
        const bool same = now == wanted;
        if (!same && nowLocked == true) {
            plan.notes << QStringLiteral("the tag's %1 is locked").arg(name);
            return;
        }
        if (!same)
            write = wanted;
        if (options.locks && wantLocked == true && nowLocked != true)
            lock = true;
    };
    systemByte(QStringLiteral("AFI"), options.afi, dump.afi, tag.afi, dump.afiLocked, tag.afiLocked, plan.afi, plan.lockAfi);
    systemByte(QStringLiteral("DSFID"), options.dsfid, dump.dsfid, tag.dsfid, dump.dsfidLocked, tag.dsfidLocked, plan.dsfid,
               plan.lockDsfid);
    return plan;
}

} // namespace vexa::tagdump
