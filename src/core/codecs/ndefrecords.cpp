// VexaHost - NDEF records: decoding, the URI and Text records written, and
// the words and fields front ends show (layouts in ndef.h).
#include "ndef.h"

#include <array>
#include <QVariantList>

namespace vexa::ndef {

namespace {

constexpr uint8_t kMb = 0x80, kMe = 0x40, kCf = 0x20, kSr = 0x10, kIl = 0x08;
// Smart posters inside smart posters are not expected; deeper ones are not
// read, so no tag can drive the decoder's recursion.
constexpr int kMaxDepth = 4;
// Payload bytes a line shows; the fields carry them all.
constexpr int kShownBytes = 64;

// The URI identifier codes 0x00-0x23, in order.
constexpr std::array<const char *, 0x24> kUriPrefixes = {
    "", "http://www.", "https://www.", "http://", "https://", "tel:", "mailto:",
    "ftp://anonymous:anonymous@", "ftp://ftp.", "ftps://", "sftp://", "smb://", "nfs://", "ftp://",
    "dav://", "news:", "telnet://", "imap:", "rtsp://", "urn:", "pop:", "sip:", "sips:", "tftp:",
    "btspp://", "btl2cap://", "btgoep://", "tcpobex://", "irdaobex://", "file://", "urn:epc:id:",
    "urn:epc:tag:", "urn:epc:pat:", "urn:epc:raw:", "urn:epc:", "urn:nfc:"};

uint8_t at(const QByteArray &bytes, qsizetype i)
{
    return uint8_t(bytes[i]);
}

QString utf16Text(const QByteArray &bytes, QString *problem)
{
    qsizetype p = 0;
    bool little = false;
    if (bytes.size() >= 2 && at(bytes, 0) == 0xFF && at(bytes, 1) == 0xFE) {
        little = true;
        p = 2;
    } else if (bytes.size() >= 2 && at(bytes, 0) == 0xFE && at(bytes, 1) == 0xFF) {
        p = 2;
    }
    if ((bytes.size() - p) % 2 != 0)
        *problem = QStringLiteral("The UTF-16 text has an odd number of bytes; the last is left out.");
    QString text;
    for (; p + 1 < bytes.size(); p += 2) {
        const uint8_t a = at(bytes, p), b = at(bytes, p + 1);
        text += QChar(char16_t(little ? (b << 8 | a) : (a << 8 | b)));
    }
    return text;
}

Message decodeAt(const QByteArray &bytes, int depth);

// A text record whose status byte and language code could be read.
bool isReadText(const Record &r)
{
    return r.tnf == WellKnown && r.type == "T" && !r.payload.isEmpty()
           && 1 + (at(r.payload, 0) & 0x3F) <= r.payload.size();
}

void interpret(Record &r, int depth)
{
    if (r.tnf == Empty) {
        if (!r.type.isEmpty() || !r.id.isEmpty() || !r.payload.isEmpty())
            r.problem = QStringLiteral("An empty record carries a type, an ID or a payload.");
        return;
    }
    if (r.tnf != WellKnown)
        return;
    if (r.type == "U") {
        if (const auto uri = uriFromPayload(r.payload))
            r.text = *uri;
        else if (r.payload.isEmpty())
            r.problem = QStringLiteral("The URI record has no payload.");
        else
            r.problem = QStringLiteral("Unknown URI prefix code %1.").arg(QString::asprintf("%02X", at(r.payload, 0)));
    } else if (r.type == "T") {
        if (r.payload.isEmpty()) {
            r.problem = QStringLiteral("The text record has no payload.");
            return;
        }
        const uint8_t status = at(r.payload, 0);
        const int languageLength = status & 0x3F;
        if (1 + languageLength > r.payload.size()) {
            r.problem = QStringLiteral("The language code of %1 bytes runs past the payload.").arg(languageLength);
            return;
        }
        r.language = QString::fromLatin1(r.payload.mid(1, languageLength));
        r.utf16 = status & 0x80;
        const QByteArray text = r.payload.mid(1 + languageLength);
        r.text = r.utf16 ? utf16Text(text, &r.problem) : QString::fromUtf8(text);
    } else if (r.type == "Sp") {
        if (depth + 1 >= kMaxDepth) {
            r.problem = QStringLiteral("Smart posters nested %1 deep are not read.").arg(depth + 1);
            return;
        }
        const Message inner = decodeAt(r.payload, depth + 1);
        r.nested = inner.records;
        if (!inner.problem.isEmpty())
            r.problem = QStringLiteral("In the smart poster: ") + inner.problem;
    }
}

Message decodeAt(const QByteArray &bytes, int depth)
{
    Message m;
    const qsizetype n = bytes.size();
    qsizetype p = 0;
    bool ended = false;
    qsizetype open = -1; // the chunked record being joined
    const auto stop = [&](const QString &why) {
        m.problem = why;
        if (open >= 0)
            m.records.removeAt(open);
        return m;
    };
    while (p < n) {
        if (ended)
            return stop(QStringLiteral("The message goes on after its last record, at byte %1.").arg(p));
        const uint8_t h = at(bytes, p);
        const bool sr = h & kSr, il = h & kIl, cf = h & kCf, mb = h & kMb, me = h & kMe;
        const uint8_t tnf = h & 0x07;
        const qsizetype headerSize = 2 + (sr ? 1 : 4) + (il ? 1 : 0);
        if (p + headerSize > n)
            return stop(QStringLiteral("The record at byte %1 is cut short in its header.").arg(p));
        qsizetype q = p + 1;
        const int typeLength = at(bytes, q++);
        quint64 payloadLength = 0;
        if (sr) {
            payloadLength = at(bytes, q++);
        } else {
            for (int i = 0; i < 4; ++i)
                payloadLength = payloadLength << 8 | at(bytes, q++);
        }
        const int idLength = il ? at(bytes, q++) : 0;
        const quint64 need = quint64(typeLength) + quint64(idLength) + payloadLength;
        if (need > quint64(n - q))
            return stop(QStringLiteral("The record at byte %1 needs %2 bytes; %3 are left.").arg(p).arg(need).arg(n - q));
        const QByteArray type = bytes.mid(q, typeLength);
        const QByteArray id = bytes.mid(q + typeLength, idLength);
        const QByteArray payload = bytes.mid(q + typeLength + idLength, qsizetype(payloadLength));
        const qsizetype at0 = p;
        p = q + qsizetype(need);

        if (mb != (m.records.isEmpty() && open < 0))
            return stop(mb ? QStringLiteral("The record at byte %1 begins a second message.").arg(at0)
                           : QStringLiteral("The first record does not say it begins the message."));
        if (cf && me)
            return stop(QStringLiteral("The chunk at byte %1 ends the message but not its record.").arg(at0));
        if (open >= 0) {
            if (tnf != Unchanged || typeLength != 0 || il)
                return stop(QStringLiteral("The chunk at byte %1 does not continue the record before it.").arg(at0));
            Record &r = m.records[open];
            r.payload += payload;
            ++r.chunks;
            if (!cf) {
                r.last = me;
                interpret(r, depth);
                open = -1;
            }
            ended = me;
            continue;
        }
        if (tnf == Unchanged)
            return stop(QStringLiteral("The record at byte %1 continues no chunked record.").arg(at0));
        Record r;
        r.tnf = tnf;
        r.first = mb;
        r.last = me;
        r.type = type;
        r.id = id;
        r.payload = payload;
        m.records.append(r);
        if (cf)
            open = m.records.size() - 1;
        else
            interpret(m.records.last(), depth);
        ended = me;
    }
    if (open >= 0)
        return stop(QStringLiteral("The message ends inside a chunked record."));
    if (!ended && !m.records.isEmpty())
        m.problem = QStringLiteral("The message ends without a last record.");
    return m;
}

QByteArray oneRecord(uint8_t tnf, const QByteArray &type, const QByteArray &payload)
{
    const bool shortRecord = payload.size() <= 0xFF;
    QByteArray b;
    b += char(kMb | kMe | (shortRecord ? kSr : 0) | tnf);
    b += char(type.size());
    if (shortRecord) {
        b += char(payload.size());
    } else {
        for (int shift = 24; shift >= 0; shift -= 8)
            b += char(quint32(payload.size()) >> shift);
    }
    return b + type + payload;
}

// One line per record: control characters and line breaks would start
// lines of their own, so they are shown as escapes.
QString shown(const QString &text)
{
    QString out;
    for (QChar c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
            || c.category() == QChar::Separator_Paragraph)
            out += QString::asprintf("\\u%04X", c.unicode());
        else
            out += c;
    }
    return out;
}

QString shownType(const QByteArray &type)
{
    return shown(QString::fromUtf8(type));
}

QString hexShown(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QStringLiteral("no payload");
    QString text = QString::fromLatin1(bytes.left(kShownBytes).toHex(' ').toUpper());
    if (bytes.size() > kShownBytes)
        text += QStringLiteral(" ... (%1 bytes)").arg(bytes.size());
    return text;
}

QString posterLine(const Record &r)
{
    if (r.type == "act" && r.payload.size() == 1) {
        static const char *actions[] = {"do the action", "save for later", "open for editing"};
        const uint8_t a = at(r.payload, 0);
        return QStringLiteral("Action: ") + (a < 3 ? QString::fromLatin1(actions[a]) : QString::number(a));
    }
    if (r.type == "s" && r.payload.size() == 4) {
        const quint32 size = quint32(at(r.payload, 0)) << 24 | at(r.payload, 1) << 16 | at(r.payload, 2) << 8
                             | at(r.payload, 3);
        return QStringLiteral("Size: %1 bytes").arg(size);
    }
    if (r.type == "t")
        return QStringLiteral("Type: ") + shown(QString::fromUtf8(r.payload));
    return {};
}

QString recordLine(const Record &r, bool inPoster)
{
    switch (r.tnf) {
    case Empty: return QStringLiteral("Empty record");
    case WellKnown:
        if (r.type == "U" && r.problem.isEmpty())
            return QStringLiteral("URI: ") + shown(r.text);
        if (isReadText(r))
            return QStringLiteral("Text (%1%2): ").arg(shown(r.language), r.utf16 ? QStringLiteral(", UTF-16") : QString())
                   + shown(r.text);
        if (r.type == "Sp")
            return QStringLiteral("Smart poster:");
        if (inPoster) {
            const QString line = posterLine(r);
            if (!line.isEmpty())
                return line;
        }
        return QStringLiteral("Well-known %1: %2").arg(shownType(r.type), hexShown(r.payload));
    case Mime: return QStringLiteral("MIME %1: %2 bytes").arg(shownType(r.type)).arg(r.payload.size());
    case AbsoluteUri:
        return QStringLiteral("Absolute URI: ") + shownType(r.type)
               + (r.payload.isEmpty() ? QString() : QStringLiteral(", %1 bytes").arg(r.payload.size()));
    case External: return QStringLiteral("External %1: %2").arg(shownType(r.type), hexShown(r.payload));
    case Unknown: return QStringLiteral("Unknown type: ") + hexShown(r.payload);
    default: return QStringLiteral("TNF %1, type %2: %3").arg(r.tnf).arg(shownType(r.type), hexShown(r.payload));
    }
}

void appendLines(const Record &r, const QString &indent, bool inPoster, QStringList &lines)
{
    QString line = indent + recordLine(r, inPoster);
    if (r.chunks > 1)
        line += QStringLiteral(" (in %1 chunks)").arg(r.chunks);
    lines << line;
    if (!r.id.isEmpty())
        lines << indent + QStringLiteral("  ID: ") + shownType(r.id);
    for (const Record &inner : r.nested)
        appendLines(inner, indent + QStringLiteral("  "), true, lines);
    if (!r.problem.isEmpty())
        lines << indent + QStringLiteral("  Malformed: ") + r.problem;
}

QString kindOf(const Record &r)
{
    switch (r.tnf) {
    case Empty: return QStringLiteral("empty");
    case WellKnown:
        if (r.type == "U")
            return QStringLiteral("uri");
        if (r.type == "T")
            return QStringLiteral("text");
        if (r.type == "Sp")
            return QStringLiteral("smartPoster");
        return QStringLiteral("wellKnown");
    case Mime: return QStringLiteral("mime");
    case AbsoluteUri: return QStringLiteral("absoluteUri");
    case External: return QStringLiteral("external");
    case Unknown: return QStringLiteral("unknown");
    default: return QStringLiteral("reserved");
    }
}

QVariantMap recordFields(const Record &r)
{
    QVariantMap f{{QStringLiteral("kind"), kindOf(r)},
                  {QStringLiteral("tnf"), int(r.tnf)},
                  {QStringLiteral("type"), QString::fromUtf8(r.type)},
                  {QStringLiteral("payload"), QString::fromLatin1(r.payload.toHex().toUpper())}};
    if (!r.id.isEmpty())
        f.insert(QStringLiteral("id"), QString::fromUtf8(r.id));
    if (r.chunks > 1)
        f.insert(QStringLiteral("chunks"), r.chunks);
    if (r.tnf == WellKnown && r.type == "U" && r.problem.isEmpty())
        f.insert(QStringLiteral("uri"), r.text);
    if (isReadText(r)) {
        f.insert(QStringLiteral("text"), r.text);
        f.insert(QStringLiteral("language"), r.language);
        f.insert(QStringLiteral("encoding"), r.utf16 ? QStringLiteral("UTF-16") : QStringLiteral("UTF-8"));
    }
    if (!r.nested.isEmpty()) {
        QVariantList inner;
        for (const Record &n : r.nested)
            inner << recordFields(n);
        f.insert(QStringLiteral("records"), inner);
    }
    if (!r.problem.isEmpty())
        f.insert(QStringLiteral("problem"), r.problem);
    return f;
}

} // namespace

Message decodeMessage(const QByteArray &bytes)
{
    return decodeAt(bytes, 0);
}

std::optional<QString> uriFromPayload(const QByteArray &payload)
{
    if (payload.isEmpty() || at(payload, 0) >= kUriPrefixes.size())
        return std::nullopt;
    return QString::fromLatin1(kUriPrefixes[at(payload, 0)]) + QString::fromUtf8(payload.mid(1));
}

Encoded encodeUri(const QString &uri)
{
    if (uri.isEmpty())
        return {{}, QStringLiteral("No URI given.")};
    size_t best = 0;
    for (size_t code = 1; code < kUriPrefixes.size(); ++code) {
        const QLatin1String prefix(kUriPrefixes[code]);
        if (uri.startsWith(prefix) && prefix.size() > qsizetype(qstrlen(kUriPrefixes[best])))
            best = code;
    }
    const QByteArray payload = char(best) + uri.mid(qsizetype(qstrlen(kUriPrefixes[best]))).toUtf8();
    return {oneRecord(WellKnown, "U", payload), {}};
}

Encoded encodeText(const QString &text, const QString &language)
{
    bool tag = !language.isEmpty() && language.size() <= 0x3F;
    for (QChar c : language)
        tag = tag && c.unicode() < 0x80 && (c.isLetterOrNumber() || c == QLatin1Char('-'));
    if (!tag)
        return {{}, QStringLiteral("The language code must be 1 to 63 ASCII letters, digits or hyphens (such as en or "
                                   "en-US).")};
    const QByteArray payload = char(language.size()) + language.toLatin1() + text.toUtf8();
    return {oneRecord(WellKnown, "T", payload), {}};
}

QStringList messageLines(const Message &message)
{
    QStringList lines;
    if (message.records.isEmpty() && message.problem.isEmpty())
        lines << QStringLiteral("Empty NDEF message");
    for (const Record &r : message.records)
        appendLines(r, QString(), false, lines);
    if (!message.problem.isEmpty())
        lines << QStringLiteral("Malformed: ") + message.problem;
    return lines;
}

QStringList tagLines(const TagContent &content)
{
    QStringList lines;
    if (const auto &cc = content.cc) {
        static const char *access[] = {"always", "reserved", "proprietary", "never"};
        lines << QStringLiteral("Capability container: %1, version %2.%3, %4 bytes of data, read %5, write %6")
                     .arg(QString::fromLatin1(cc->bytes().toHex(' ').toUpper()))
                     .arg(cc->majorVersion)
                     .arg(cc->minorVersion)
                     .arg(8 * cc->mlen)
                     .arg(QLatin1String(access[cc->readAccess]), QLatin1String(access[cc->writeAccess]));
    }
    if (content.tlvOffset >= 0)
        lines << QStringLiteral("NDEF message: %1 bytes at byte %2").arg(content.length).arg(content.tlvOffset);
    if (!content.problem.isEmpty())
        lines << content.problem;
    else
        lines << messageLines(content.message);
    return lines;
}

QVariantMap messageFields(const Message &message)
{
    QVariantList records;
    for (const Record &r : message.records)
        records << recordFields(r);
    QVariantMap f{{QStringLiteral("records"), records}};
    if (!message.problem.isEmpty())
        f.insert(QStringLiteral("problem"), message.problem);
    return f;
}

QVariantMap tagFields(const TagContent &content)
{
    QVariantMap f;
    if (const auto &cc = content.cc) {
        f.insert(QStringLiteral("capabilityContainer"),
                 QVariantMap{{QStringLiteral("bytes"), QString::fromLatin1(cc->bytes().toHex().toUpper())},
                             {QStringLiteral("version"), QStringLiteral("%1.%2").arg(cc->majorVersion).arg(cc->minorVersion)},
                             {QStringLiteral("dataBytes"), 8 * cc->mlen},
                             {QStringLiteral("readAccess"), cc->readAccess},
                             {QStringLiteral("writeAccess"), cc->writeAccess},
                             {QStringLiteral("features"), int(cc->features)}});
    }
    if (content.tlvOffset >= 0) {
        f.insert(QStringLiteral("tlvOffset"), content.tlvOffset);
        f.insert(QStringLiteral("length"), content.length);
    }
    if (!content.problem.isEmpty()) {
        f.insert(QStringLiteral("problem"), content.problem);
        return f;
    }
    f.insert(messageFields(content.message));
    return f;
}

} // namespace vexa::ndef
