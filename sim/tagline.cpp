// vexa-sim - tags written as one line of text.
#include "tagline.h"

#include <QFile>
#include <QMap>
#include <QTextStream>

#include "tagcollection.h"
#include "tagmemory.h"

namespace vexa::sim {

namespace {

bool hexDigits(const QString &text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f')))
            return false;
    }
    return !text.isEmpty();
}

// A hexadecimal number of 1 to maxDigits digits (exactly maxDigits when exact).
std::optional<uint64_t> hexNumber(const QString &text, int maxDigits, bool exact = false)
{
    if (!hexDigits(text) || text.size() > maxDigits || (exact && text.size() != maxDigits))
        return std::nullopt;
    return text.toULongLong(nullptr, 16);
}

} // namespace

std::optional<std::vector<int>> blockList(const QString &text, int count)
{
    std::vector<int> blocks;
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QStringList ends = item.split(QLatin1Char('-'));
        bool okFirst = false;
        bool okLast = false;
        const int first = ends.value(0).toInt(&okFirst);
        const int last = ends.size() == 2 ? ends[1].toInt(&okLast) : (okLast = true, first);
        if (ends.size() > 2 || !okFirst || !okLast || first < 0 || last < first || last >= count)
            return std::nullopt;
        for (int b = first; b <= last; ++b)
            blocks.push_back(b);
    }
    return blocks;
}

namespace {

std::optional<std::vector<uint64_t>> dataList(const QString &text, int count, int digits)
{
    const QStringList items = text.split(QLatin1Char(','));
    if (items.size() > count)
        return std::nullopt;
    std::vector<uint64_t> values;
    for (const QString &item : items) {
        const auto value = hexNumber(item, digits);
        if (!value)
            return std::nullopt;
        values.push_back(*value);
    }
    return values;
}

QString lockText(const uint8_t *locked, int count)
{
    QStringList parts;
    for (int b = 0; b < count; ++b) {
        if (!locked[b])
            continue;
        int last = b;
        while (last + 1 < count && locked[last + 1])
            ++last;
        parts << (last == b ? QString::number(b) : QStringLiteral("%1-%2").arg(b).arg(last));
        b = last;
    }
    return parts.isEmpty() ? QString() : QStringLiteral(" lock=") + parts.join(QLatin1Char(','));
}

template <typename Values>
QString dataText(const Values &values, int digits)
{
    int used = int(values.size());
    while (used > 0 && values[size_t(used - 1)] == 0)
        --used;
    QStringList parts;
    for (int b = 0; b < used; ++b)
        parts << QStringLiteral("%1").arg(qulonglong(values[size_t(b)]), digits, 16, QLatin1Char('0')).toUpper();
    return parts.isEmpty() ? QString() : QStringLiteral(" data=") + parts.join(QLatin1Char(','));
}

// The words after the id: key=value options and bare flags.
struct Options
{
    QMap<QString, QString> values;
    QStringList flags;
};

std::optional<Options> options(const QStringList &words, const QStringList &keys, const QStringList &flags,
                               QString *error)
{
    Options result;
    for (const QString &word : words) {
        const qsizetype eq = word.indexOf(QLatin1Char('='));
        const QString key = word.left(eq).toLower();
        if (eq < 0 && flags.contains(key)) {
            result.flags << key;
        } else if (eq > 0 && keys.contains(key)) {
            result.values[key] = word.mid(eq + 1);
        } else {
            *error = QStringLiteral("unknown word ") + word;
            return std::nullopt;
        }
    }
    return result;
}

TagParse failure(const QString &family, const QString &why)
{
    return {std::nullopt, family + QStringLiteral(": ") + why};
}

TagParse iso15693Tag(const QStringList &words)
{
    const QString family = QStringLiteral("iso15693");
    const auto uid = hexNumber(words.value(1), 16, true);
    if (!uid)
        return failure(family, QStringLiteral("the UID takes 16 hexadecimal digits"));
    QString error;
    const auto o = options(words.mid(2),
                           {QStringLiteral("kind"), QStringLiteral("blocks"), QStringLiteral("size"),
                            QStringLiteral("afi"), QStringLiteral("dsfid"), QStringLiteral("ic"),
                            QStringLiteral("memory"), QStringLiteral("uri"), QStringLiteral("lock"),
                            QStringLiteral("data")},
                           {QStringLiteral("afilock"), QStringLiteral("dsfidlock")}, &error);
    if (!o)
        return failure(family, error);

    // A kind gives the block count, block size and IC reference that the
    // words do not.
    Iso15693Kind kind{"", 28, 4, 0};
    if (o->values.contains(QStringLiteral("kind"))) {
        const auto named = iso15693Kind(o->values[QStringLiteral("kind")]);
        if (!named)
            return failure(family, QStringLiteral("kind takes ") + iso15693KindNames().join(QStringLiteral(", ")));
        kind = *named;
    }
    bool ok = false;
    const int blocks = o->values.value(QStringLiteral("blocks"), QString::number(kind.blocks)).toInt(&ok);
    if (!ok || blocks < 1 || blocks > Iso15693Tag::kMaxBlocks)
        return failure(family, QStringLiteral("blocks takes 1 to 256"));
    const QString sizeText = o->values.value(QStringLiteral("size"), QString::number(kind.blockSize));
    if (sizeText != QLatin1String("4") && sizeText != QLatin1String("8"))
        return failure(family, QStringLiteral("size takes 4 or 8"));
    Iso15693Tag tag(*uid, blocks, sizeText.toInt());

    const std::pair<const char *, uint8_t *> bytes[] = {
        {"afi", &tag.afi}, {"dsfid", &tag.dsfid}, {"ic", &tag.icReference}};
    for (const auto &[key, field] : bytes) {
        const QString fallback = QLatin1String(key) == QLatin1String("ic") ? QString::number(kind.icReference, 16)
                                                                           : QStringLiteral("0");
        const QString text = o->values.value(QLatin1String(key), fallback);
        const auto value = hexNumber(text, 2);
        if (!value)
            return failure(family, QStringLiteral("%1 takes 1 or 2 hexadecimal digits").arg(QLatin1String(key)));
        *field = uint8_t(*value);
    }
    tag.afiLocked = o->flags.contains(QStringLiteral("afilock"));
    tag.dsfidLocked = o->flags.contains(QStringLiteral("dsfidlock"));

    if (o->values.contains(QStringLiteral("memory")) || o->values.contains(QStringLiteral("uri"))) {
        const QString uri = o->values.value(QStringLiteral("uri"));
        const auto content = memoryContent(o->values.value(QStringLiteral("memory"), QStringLiteral("ndef")));
        if (!content)
            return failure(family, QStringLiteral("memory takes empty, cc or ndef"));
        if (o->values.contains(QStringLiteral("uri")) && (*content != MemoryContent::Ndef || uri.isEmpty()))
            return failure(family, QStringLiteral("uri takes a URI and goes with memory=ndef"));
        const QString why = fillMemory(tag, *content, uri);
        if (!why.isEmpty())
            return failure(family, why);
    }

    if (o->values.contains(QStringLiteral("lock"))) {
        const auto locked = blockList(o->values[QStringLiteral("lock")], blocks);
        if (!locked)
            return failure(family, QStringLiteral("lock takes block numbers below %1, such as 0,3-5").arg(blocks));
        for (int b : *locked)
            tag.locked[size_t(b)] = 1;
    }
    if (o->values.contains(QStringLiteral("data"))) {
        const auto values = dataList(o->values[QStringLiteral("data")], blocks, 2 * tag.blockSize);
        if (!values)
            return failure(family, QStringLiteral("data takes at most %1 values of up to %2 hexadecimal digits")
                                       .arg(blocks)
                                       .arg(2 * tag.blockSize));
        std::copy(values->begin(), values->end(), tag.blocks.begin());
    }
    return {tag, {}};
}

TagParse tagitTag(const QStringList &words)
{
    const QString family = QStringLiteral("tagit");
    const auto address = hexNumber(words.value(1), 8, true);
    if (!address)
        return failure(family, QStringLiteral("the address takes 8 hexadecimal digits"));
    QString error;
    const auto o = options(words.mid(2),
                           {QStringLiteral("mfr"), QStringLiteral("version"), QStringLiteral("lock"),
                            QStringLiteral("data")},
                           {}, &error);
    if (!o)
        return failure(family, error);

    TagitTag tag;
    tag.address = uint32_t(*address);
    const auto manufacturer = hexNumber(o->values.value(QStringLiteral("mfr"), QStringLiteral("0")), 2);
    if (!manufacturer)
        return failure(family, QStringLiteral("mfr takes 1 or 2 hexadecimal digits"));
    tag.manufacturer = uint8_t(*manufacturer);
    const auto version = hexNumber(o->values.value(QStringLiteral("version"), QStringLiteral("0")), 4);
    if (!version)
        return failure(family, QStringLiteral("version takes 1 to 4 hexadecimal digits"));
    tag.version = uint16_t(*version);

    if (o->values.contains(QStringLiteral("lock"))) {
        const auto locked = blockList(o->values[QStringLiteral("lock")], TagitTag::kBlocks);
        if (!locked)
            return failure(family, QStringLiteral("lock takes block numbers 0 to 7, such as 0,3-5"));
        for (int b : *locked)
            tag.locked[size_t(b)] = 1;
    }
    if (o->values.contains(QStringLiteral("data"))) {
        const auto values = dataList(o->values[QStringLiteral("data")], TagitTag::kBlocks, 8);
        if (!values)
            return failure(family, QStringLiteral("data takes at most 8 values of up to 8 hexadecimal digits"));
        std::copy(values->begin(), values->end(), tag.blocks.begin());
    }
    return {tag, {}};
}

TagParse iso14443Card(const QStringList &words)
{
    const QString family = QStringLiteral("iso14443a");
    const QString uid = words.value(1);
    const bool sizeOk = uid.size() == 8 || uid.size() == 14 || uid.size() == 20;
    if (!sizeOk || !hexDigits(uid))
        return failure(family, QStringLiteral("the UID takes 8, 14 or 20 hexadecimal digits"));
    if (words.size() > 2)
        return failure(family, QStringLiteral("unknown word ") + words[2]);
    return {Iso14443Card{QByteArray::fromHex(uid.toLatin1())}, {}};
}

} // namespace

TagParse parseTagLine(const QString &line)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString family = words.value(0).toLower();
    if (family == QLatin1String("iso15693"))
        return iso15693Tag(words);
    if (family == QLatin1String("tagit"))
        return tagitTag(words);
    if (family == QLatin1String("iso14443a"))
        return iso14443Card(words);
    return {std::nullopt, QStringLiteral("a tag starts with iso15693, tagit or iso14443a")};
}

QString tagLine(const Tag &tag)
{
    if (const auto *iso = std::get_if<Iso15693Tag>(&tag)) {
        QString text = QStringLiteral("iso15693 %1 blocks=%2 size=%3 afi=%4 dsfid=%5 ic=%6")
                           .arg(tagId(tag))
                           .arg(iso->blockCount())
                           .arg(iso->blockSize)
                           .arg(QString::asprintf("%02X", iso->afi))
                           .arg(QString::asprintf("%02X", iso->dsfid))
                           .arg(QString::asprintf("%02X", iso->icReference));
        if (iso->afiLocked)
            text += QStringLiteral(" afilock");
        if (iso->dsfidLocked)
            text += QStringLiteral(" dsfidlock");
        return text + lockText(iso->locked.data(), iso->blockCount()) + dataText(iso->blocks, 2 * iso->blockSize);
    }
    if (const auto *tagit = std::get_if<TagitTag>(&tag)) {
        return QStringLiteral("tagit %1 mfr=%2 version=%3")
                   .arg(tagId(tag), QString::asprintf("%02X", tagit->manufacturer),
                        QString::asprintf("%04X", tagit->version))
            + lockText(tagit->locked.data(), TagitTag::kBlocks) + dataText(tagit->blocks, 8);
    }
    return QStringLiteral("iso14443a ") + tagId(tag);
}

QString changeTag(TagCollection &field, const QString &id, const QString &change)
{
    Tag *tag = field.withBlocks(id);
    if (!tag)
        return QStringLiteral("no tag with blocks has the id ") + id;
    auto *iso = std::get_if<Iso15693Tag>(tag);
    auto *tagit = std::get_if<TagitTag>(tag);
    const QStringList words = change.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString what = words.value(0);
    if (what == QLatin1String("memory")) {
        const auto content = memoryContent(words.value(1));
        if (!content || words.size() > 3 || (words.size() == 3 && *content != MemoryContent::Ndef))
            return QStringLiteral("usage: tag memory <id> empty|cc|ndef [URI]");
        if (!iso)
            return QStringLiteral("only an ISO/IEC 15693 tag takes a memory content");
        // Checked on a copy: a content that does not fit leaves the tag as it was.
        Iso15693Tag changed = *iso;
        const QString why = fillMemory(changed, *content, words.value(2));
        if (why.isEmpty())
            *iso = changed;
        return why;
    }
    if ((what == QLatin1String("lock") || what == QLatin1String("unlock")) && words.size() == 2) {
        const int count = iso ? iso->blockCount() : TagitTag::kBlocks;
        const auto blocks = blockList(words[1], count);
        if (!blocks)
            return QStringLiteral("%1 takes block numbers below %2, such as 0,3-5").arg(what).arg(count);
        uint8_t *locked = iso ? iso->locked.data() : tagit->locked.data();
        for (int b : *blocks)
            locked[b] = what == QLatin1String("lock") ? 1 : 0;
        return {};
    }
    return QStringLiteral("usage: tag memory <id> empty|cc|ndef [URI] | tag lock|unlock <id> LIST");
}

QStringList defaultTagLines()
{
    return {
        QStringLiteral("iso15693 E00401501C6A93F2 blocks=28 size=4 ic=01 lock=0 "
                       "data=56455841,20312E30,00000000,0000CAFE"),
        QStringLiteral("iso15693 E0080112C4D5E6F7 blocks=32 size=8 afi=31 dsfid=01 ic=08 "
                       "data=0123456789ABCDEF,FEDCBA9876543210"),
        QStringLiteral("tagit C0A80137 mfr=07 version=0101 data=11223344,55667788"),
        QStringLiteral("tagit 5D2E9A41 mfr=07 version=0101 lock=7 data=DEADBEEF,0,0,0,0,0,0,CAFEF00D"),
        QStringLiteral("iso14443a 04A2C8F21B6E80"),
    };
}

void addDefaultTags(TagCollection &field)
{
    for (const QString &line : defaultTagLines())
        field.add(*parseTagLine(line).tag);
}

namespace {

bool loadTags(QTextStream &in, const QString &name, TagCollection &field, QString *error)
{
    for (int number = 1; !in.atEnd(); ++number) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const TagParse parsed = parseTagLine(line);
        const QString why = parsed.tag ? field.add(*parsed.tag) : parsed.error;
        if (!why.isEmpty()) {
            *error = QStringLiteral("%1:%2: %3").arg(name).arg(number).arg(why);
            return false;
        }
    }
    return true;
}

} // namespace

bool loadTagFile(const QString &path, TagCollection &field, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    QTextStream in(&file);
    return loadTags(in, path, field, error);
}

bool loadTagText(const QByteArray &text, const QString &name, TagCollection &field, QString *error)
{
    QTextStream in(text);
    return loadTags(in, name, field, error);
}

} // namespace vexa::sim
