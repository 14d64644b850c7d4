// VexaHost - the settings that survive between runs, and their store.
#include "settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>

#include "core/codecs/configframes.h"
#include "core/util/regularfile.h"

namespace vexa {

namespace {

const QString kCom = QStringLiteral("Com");
const QString kBaud = QStringLiteral("Baud");
const QString kSettings = QStringLiteral("Settings");
const QString kIso = QStringLiteral("Iso Cgf");
const QString kTagLog = QStringLiteral("Tag Log");
const QString kTagMemory = QStringLiteral("Tag Memory");

QString widthsText(const QList<int> &widths)
{
    QStringList parts;
    for (int w : widths)
        parts << QString::number(w);
    return parts.join(QLatin1Char(','));
}

// Widths that are not all small positive numbers are not used at all: a
// table of zero-width or giant columns is worse than the default one.
QList<int> widthsFromText(const QString &text)
{
    QList<int> widths;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int w = part.trimmed().toInt(&ok);
        if (!ok || w < 1 || w > 10000 || widths.size() >= 32)
            return {};
        widths << w;
    }
    return widths;
}

// A hand-edited file may hold far more, but never this much of settings.
constexpr qint64 kLargestFile = 64 * 1024;

QString number(int value)
{
    return QString::number(value);
}

QString flag(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

// Control characters would break the line structure of the file.
QString oneLine(const QString &text)
{
    QString out;
    for (QChar c : text)
        if (!c.isNull() && c.unicode() >= 0x20 && c.unicode() != 0x7F)
            out.append(c);
    return out;
}

class ValueLookup
{
public:
    explicit ValueLookup(const SettingsValues &values) : m_values(values) {}

    // The last occurrence wins, as when a name is written twice by hand.
    const QString *find(const QString &section, const QString &name) const
    {
        for (auto it = m_values.crbegin(); it != m_values.crend(); ++it)
            if (it->section.trimmed().compare(section, Qt::CaseInsensitive) == 0
                && it->name.trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return &it->value;
        return nullptr;
    }
    void readInt(const QString &section, const QString &name, int &target) const
    {
        if (const QString *text = find(section, name))
            if (const auto value = decimalTextToInt(*text))
                target = *value;
    }
    void readByte(const QString &section, const QString &name, uint8_t &target) const
    {
        int value = target;
        readInt(section, name, value);
        target = uint8_t(value);
    }
    void readBool(const QString &section, const QString &name, bool &target) const
    {
        int value = target ? 1 : 0;
        readInt(section, name, value);
        target = value != 0;
    }
    void readText(const QString &section, const QString &name, QString &target) const
    {
        if (const QString *text = find(section, name))
            target = text->trimmed();
    }

private:
    const SettingsValues &m_values;
};

} // namespace

SettingsValues settingsToValues(const StoredSettings &s)
{
    const ReaderOptions &o = s.options;
    SettingsValues values{
        {kCom, QStringLiteral("Com Method"), number(s.comMethod)},
        {kCom, QStringLiteral("Port Number"), number(s.portNumber)},
        {kBaud, QStringLiteral("Baud rate"), number(s.baudRate)},
        {kSettings, QStringLiteral("DebugOn"), flag(s.debugOn)},
        {kSettings, QStringLiteral("Left"), number(s.left)},
        {kSettings, QStringLiteral("Top"), number(s.top)},
        {kSettings, QStringLiteral("AudioOn"), flag(o.audioOn)},
        {kSettings, QStringLiteral("LEDOn"), flag(o.ledOn)},
        {kSettings, QStringLiteral("address rdr"), flag(o.addressReader)},
        {kSettings, QStringLiteral("rdr serial number"), oneLine(o.readerSerialNumber)},
        {kSettings, QStringLiteral("Height"), number(s.height)},
        {kSettings, QStringLiteral("Width"), number(s.width)},
        {kIso, QStringLiteral("ISO Config"), number(o.isoConfig)},
        {kIso, QStringLiteral("ISO AFI Val"), number(o.isoAfiValue)},
        {kIso, QStringLiteral("ISO AFI Cat"), number(o.isoAfiCategory)},
        {kIso, QStringLiteral("ISO Blk Len"), number(o.isoBlockLength)},
        {kIso, QStringLiteral("use AFI"), flag(o.useAfi)},
        {kTagLog, QStringLiteral("Visible"), flag(s.tagLog.visible)},
        {kTagLog, QStringLiteral("Window Left"), number(s.tagLog.left)},
        {kTagLog, QStringLiteral("Window Top"), number(s.tagLog.top)},
        {kTagLog, QStringLiteral("Window Width"), number(s.tagLog.width)},
        {kTagLog, QStringLiteral("Window Height"), number(s.tagLog.height)},
        {kTagLog, QStringLiteral("Column Widths"), widthsText(s.tagLog.columnWidths)},
        {kTagLog, QStringLiteral("Sort Column"), number(s.tagLog.sortColumn)},
        {kTagLog, QStringLiteral("Sort Descending"), flag(s.tagLog.sortDescending)},
    };
    if (s.tagMemory.width > 0) {
        values.append({kTagMemory, QStringLiteral("Window Left"), number(s.tagMemory.left)});
        values.append({kTagMemory, QStringLiteral("Window Top"), number(s.tagMemory.top)});
        values.append({kTagMemory, QStringLiteral("Window Width"), number(s.tagMemory.width)});
        values.append({kTagMemory, QStringLiteral("Window Height"), number(s.tagMemory.height)});
    }
    return values;
}

StoredSettings settingsFromValues(const SettingsValues &values, const StoredSettings &defaults)
{
    StoredSettings s = defaults;
    ReaderOptions &o = s.options;
    const ValueLookup v(values);
    v.readInt(kCom, QStringLiteral("Com Method"), s.comMethod);
    v.readInt(kCom, QStringLiteral("Port Number"), s.portNumber);
    v.readInt(kBaud, QStringLiteral("Baud rate"), s.baudRate);
    v.readByte(kIso, QStringLiteral("ISO Config"), o.isoConfig);
    v.readByte(kIso, QStringLiteral("ISO AFI Val"), o.isoAfiValue);
    v.readByte(kIso, QStringLiteral("ISO AFI Cat"), o.isoAfiCategory);
    v.readInt(kIso, QStringLiteral("ISO Blk Len"), o.isoBlockLength);
    v.readBool(kIso, QStringLiteral("use AFI"), o.useAfi);
    v.readBool(kSettings, QStringLiteral("DebugOn"), s.debugOn);
    v.readInt(kSettings, QStringLiteral("Left"), s.left);
    v.readInt(kSettings, QStringLiteral("Top"), s.top);
    v.readInt(kSettings, QStringLiteral("Height"), s.height);
    v.readInt(kSettings, QStringLiteral("Width"), s.width);
    v.readBool(kSettings, QStringLiteral("AudioOn"), o.audioOn);
    v.readBool(kSettings, QStringLiteral("LEDOn"), o.ledOn);
    v.readBool(kSettings, QStringLiteral("address rdr"), o.addressReader);
    v.readText(kSettings, QStringLiteral("rdr serial number"), o.readerSerialNumber);
    TagLogPlacement &t = s.tagLog;
    v.readBool(kTagLog, QStringLiteral("Visible"), t.visible);
    v.readInt(kTagLog, QStringLiteral("Window Left"), t.left);
    v.readInt(kTagLog, QStringLiteral("Window Top"), t.top);
    v.readInt(kTagLog, QStringLiteral("Window Width"), t.width);
    v.readInt(kTagLog, QStringLiteral("Window Height"), t.height);
    QString widths = widthsText(t.columnWidths);
    v.readText(kTagLog, QStringLiteral("Column Widths"), widths);
    t.columnWidths = widthsFromText(widths);
    v.readInt(kTagLog, QStringLiteral("Sort Column"), t.sortColumn);
    v.readBool(kTagLog, QStringLiteral("Sort Descending"), t.sortDescending);
    TagMemoryPlacement &m = s.tagMemory;
    v.readInt(kTagMemory, QStringLiteral("Window Left"), m.left);
    v.readInt(kTagMemory, QStringLiteral("Window Top"), m.top);
    v.readInt(kTagMemory, QStringLiteral("Window Width"), m.width);
    v.readInt(kTagMemory, QStringLiteral("Window Height"), m.height);
    // The AFI halves are nibbles: a larger value would spill into the other
    // half of the AFI byte and has no item in the family list.
    o.isoAfiValue &= 0x0F;
    o.isoAfiCategory &= 0x0F;
    return s;
}

ParsedSettings parseSettingsText(const QByteArray &bytes)
{
    ParsedSettings out;
    if (bytes.size() > kLargestFile) {
        out.error = QStringLiteral("larger than %1 bytes").arg(kLargestFile);
        return out;
    }
    if (bytes.contains('\0')) {
        out.error = QStringLiteral("holds zero bytes");
        return out;
    }
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decode(bytes);
    if (decode.hasError()) {
        out.error = QStringLiteral("is not UTF-8 text");
        return out;
    }
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    QString section;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || line.size() < 3) {
                out.error = QStringLiteral("line %1 is not a section header").arg(i + 1);
                return out;
            }
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            out.error = QStringLiteral("line %1 is neither a section nor a value").arg(i + 1);
            return out;
        }
        out.values.append({section, line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
    }
    return out;
}

QByteArray settingsText(const SettingsValues &values)
{
    QString text;
    QString section;
    bool first = true;
    for (const SettingsValue &v : values) {
        if (first || v.section != section) {
            if (!first)
                text += QLatin1Char('\n');
            text += QLatin1Char('[') + v.section + QStringLiteral("]\n");
            section = v.section;
            first = false;
        }
        text += v.name + QLatin1Char('=') + oneLine(v.value) + QLatin1Char('\n');
    }
    return text.toUtf8();
}

StoredSettings readSettings(QSettings &store, const StoredSettings &defaults)
{
    SettingsValues values;
    for (const SettingsValue &known : settingsToValues(defaults)) {
        const QVariant value = store.value(known.section + QLatin1Char('/') + known.name);
        if (value.isValid())
            values.append({known.section, known.name, value.toString()});
    }
    return settingsFromValues(values, defaults);
}

void writeSettings(QSettings &store, const StoredSettings &settings)
{
    // Every value a string, as the registry key has always held them.
    for (const SettingsValue &v : settingsToValues(settings))
        store.setValue(v.section + QLatin1Char('/') + v.name, v.value);
}

QString settingsFilePath()
{
    // Honours XDG_CONFIG_HOME (~/.config when unset).
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base + QStringLiteral("/Kestrune/VexaHost.conf");
}

LoadedSettings loadSettingsFile(const QString &path, const StoredSettings &defaults)
{
    LoadedSettings out{defaults, {}};
    const RegularFileRead read = readRegularFile(path, kLargestFile);
    switch (read.status) {
    case RegularFileRead::Status::Missing:
        return out; // the first run
    case RegularFileRead::Status::Read:
        break;
    case RegularFileRead::Status::TooLarge:
        out.problem = QStringLiteral("VexaHost: the settings file %1 is damaged (larger than %2 bytes); using the defaults.")
                          .arg(QDir::toNativeSeparators(path))
                          .arg(kLargestFile);
        return out;
    case RegularFileRead::Status::NotRegular:
        out.notAFile = true;
        [[fallthrough]];
    case RegularFileRead::Status::Failed:
        out.problem = QStringLiteral("VexaHost: cannot read the settings file %1 (%2); using the defaults.")
                          .arg(QDir::toNativeSeparators(path), read.reason);
        return out;
    }
    const ParsedSettings parsed = parseSettingsText(read.bytes);
    if (!parsed.error.isEmpty()) {
        out.problem = QStringLiteral("VexaHost: the settings file %1 is damaged (%2); using the defaults.")
                          .arg(QDir::toNativeSeparators(path), parsed.error);
        return out;
    }
    out.settings = settingsFromValues(parsed.values, defaults);
    return out;
}

QString saveSettingsFile(const QString &path, const StoredSettings &settings)
{
    const auto failed = [&path](const QString &why) {
        return QStringLiteral("VexaHost: the settings were not saved to %1 (%2).")
            .arg(QDir::toNativeSeparators(path), why);
    };
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return failed(QStringLiteral("cannot create the folder"));
    const QString why = replaceFile(path, settingsText(settingsToValues(settings)));
    return why.isEmpty() ? QString() : failed(why);
}

LoadedSettings loadSettings(const StoredSettings &defaults)
{
#ifdef Q_OS_WIN
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kestrune"),
                    QStringLiteral("VexaHost"));
    LoadedSettings out{readSettings(store, defaults), {}};
    if (store.status() != QSettings::NoError)
        out.problem = QStringLiteral("VexaHost: cannot read the settings from the registry; using the defaults.");
    return out;
#else
    return loadSettingsFile(settingsFilePath(), defaults);
#endif
}

QString saveSettings(const StoredSettings &settings)
{
#ifdef Q_OS_WIN
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kestrune"),
                    QStringLiteral("VexaHost"));
    writeSettings(store, settings);
    store.sync();
    if (store.status() != QSettings::NoError)
        return QStringLiteral("VexaHost: the settings were not saved to the registry.");
    return {};
#else
    return saveSettingsFile(settingsFilePath(), settings);
#endif
}

} // namespace vexa
