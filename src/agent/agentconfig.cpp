// vexa-agent - the configuration file's parser. One pass over the lines
// collects every section and key with its line; the checks that need the
// whole file (required keys, interfaces, shared ports) run afterwards, so
// one run names every fault, each at the line to change.
#include "agent/agentconfig.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include "core/codecs/configframes.h"
#include "core/util/fieldlimits.h"
#include "core/util/regularfile.h"

namespace vexa::agent {

namespace {

// A configuration file is a few kilobytes; anything near this is not one.
constexpr qint64 kLargestConfigBytes = 1024 * 1024;

struct Entry
{
    QString key;
    QString value;
    int line = 0;
};

struct Section
{
    QString kind; // "broker", "agent", "reader"
    QString name; // the reader's
    int line = 0;
    QList<Entry> entries;

    const Entry *find(const QString &key) const
    {
        for (const Entry &e : entries) {
            if (e.key == key)
                return &e;
        }
        return nullptr;
    }
};

class Checker
{
public:
    Checker(QString baseDir, CommandCheck commandCheck)
        : m_baseDir(std::move(baseDir)), m_commandCheck(std::move(commandCheck))
    {}

    QList<ConfigFault> faults;

    void fault(int line, const QString &message) { faults.append({line, message}); }

    bool number(const Entry &e, int low, int high, int &out)
    {
        bool ok = false;
        // Digits only: no sign, no blanks, no "0x"; toLongLong would take some.
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,10}$"));
        const qint64 value = digits.match(e.value).hasMatch() ? e.value.toLongLong(&ok) : 0;
        if (!ok || value < low || value > high) {
            fault(e.line, QStringLiteral("\"%1\" must be a number from %2 to %3, not \"%4\"")
                              .arg(e.key).arg(low).arg(high).arg(e.value));
            return false;
        }
        out = int(value);
        return true;
    }

    bool onOff(const Entry &e, const QString &on, const QString &off, bool &out)
    {
        if (e.value == on || e.value == off) {
            out = e.value == on;
            return true;
        }
        fault(e.line, QStringLiteral("\"%1\" must be %2 or %3, not \"%4\"").arg(e.key, on, off, e.value));
        return false;
    }

    // A file the agent reads when it connects: readable now, relative to
    // the configuration's folder.
    QString file(const Entry &e)
    {
        const QString path = QDir(m_baseDir).absoluteFilePath(e.value);
        const QFileInfo info(path);
        if (!info.isFile() || !info.isReadable())
            fault(e.line, QStringLiteral("\"%1\": cannot read %2").arg(e.key, path));
        return path;
    }

    void broker(const Section &s, BrokerConfig &b)
    {
        for (const Entry &e : s.entries) {
            if (e.key == QLatin1String("host"))
                b.host = e.value;
            else if (e.key == QLatin1String("port"))
                number(e, 1, 65535, b.port);
            else if (e.key == QLatin1String("client-id"))
                clientId(e, b.clientId);
            else if (e.key == QLatin1String("prefix"))
                prefix(e, b.prefix);
            else if (e.key == QLatin1String("username"))
                b.username = e.value;
            else if (e.key == QLatin1String("password"))
                b.password = e.value;
            else if (e.key == QLatin1String("password-file"))
                b.passwordFile = file(e);
            else if (e.key == QLatin1String("tls"))
                onOff(e, QStringLiteral("on"), QStringLiteral("off"), b.tls);
            else if (e.key == QLatin1String("ca-file"))
                b.caFile = file(e);
            else if (e.key == QLatin1String("cert-file"))
                b.certFile = file(e);
            else if (e.key == QLatin1String("key-file"))
                b.keyFile = file(e);
            else if (e.key == QLatin1String("keepalive"))
                // The MQTT libraries refuse a keep-alive under 5 s; 0 would
                // never notice a broker that went away.
                number(e, 5, 65535, b.keepAliveSeconds);
            else if (e.key == QLatin1String("reconnect-max"))
                number(e, 1, 3600, b.reconnectMaxSeconds);
            else
                unknownKey(s, e);
        }
        requireKey(s, QStringLiteral("host"));
        const Entry *password = s.find(QStringLiteral("password"));
        const Entry *passwordFile = s.find(QStringLiteral("password-file"));
        if (password && passwordFile)
            fault(passwordFile->line, QStringLiteral("\"password-file\" and \"password\" (line %1) both given; keep one")
                                          .arg(password->line));
        if ((password || passwordFile) && !s.find(QStringLiteral("username")))
            fault((password ? password : passwordFile)->line,
                  QStringLiteral("a password without \"username\""));
        if (!b.tls) {
            for (const char *key : {"ca-file", "cert-file", "key-file"}) {
                if (const Entry *e = s.find(QLatin1String(key)))
                    fault(e->line, QStringLiteral("\"%1\" needs \"tls = on\"").arg(e->key));
            }
        }
        const Entry *cert = s.find(QStringLiteral("cert-file"));
        const Entry *key = s.find(QStringLiteral("key-file"));
        if (bool(cert) != bool(key)) {
            const Entry *given = cert ? cert : key;
            fault(given->line, QStringLiteral("\"%1\" without \"%2\"")
                                   .arg(given->key, cert ? QStringLiteral("key-file") : QStringLiteral("cert-file")));
        }
    }

    void agent(const Section &s, AgentSection &a)
    {
        for (const Entry &e : s.entries) {
            if (e.key == QLatin1String("state-dir")) {
                if (QDir::isAbsolutePath(e.value))
                    a.stateDir = QDir::cleanPath(e.value);
                else
                    fault(e.line, QStringLiteral("\"state-dir\" must be an absolute path, not \"%1\"").arg(e.value));
            } else if (e.key == QLatin1String("queue-limit")) {
                number(e, 1, 100 * 1024, a.queueLimitMegabytes);
            } else if (e.key == QLatin1String("absence")) {
                number(e, 100, 24 * 3600 * 1000, a.absenceMs);
            } else {
                unknownKey(s, e);
            }
        }
    }

    void reader(const Section &s, const AgentSection &agentSection, ReaderConfig &r)
    {
        r.name = s.name;
        r.line = s.line;
        static const QRegularExpression topicSafe(QStringLiteral("^[A-Za-z0-9._-]{1,64}$"));
        if (!topicSafe.match(s.name).hasMatch())
            fault(s.line, QStringLiteral("reader name \"%1\" is not topic-safe: 1 to 64 letters, digits, \".\", \"_\" or \"-\"")
                              .arg(s.name));
        const Entry *interface = nullptr;
        for (const Entry &e : s.entries) {
            const bool isInterface = e.key == QLatin1String("port") || e.key == QLatin1String("device")
                                     || e.key == QLatin1String("usb");
            if (isInterface && interface) {
                fault(e.line, QStringLiteral("\"%1\" is a second interface: \"%2\" on line %3 names one already")
                                  .arg(e.key, interface->key).arg(interface->line));
                continue;
            }
            if (isInterface)
                interface = &e;
            if (e.key == QLatin1String("port")) {
                // The window's and vexactl's ports, in any case.
                static const QRegularExpression com(QStringLiteral("^COM[1-8]$"),
                                                    QRegularExpression::CaseInsensitiveOption);
                r.interface = ReaderConfig::Interface::Serial;
                r.port = e.value.toUpper();
                if (!com.match(e.value).hasMatch())
                    fault(e.line, QStringLiteral("\"port\" must be COM1 to COM8, not \"%1\"").arg(e.value));
            } else if (e.key == QLatin1String("device")) {
                r.interface = ReaderConfig::Interface::Device;
                r.device = QDir::cleanPath(e.value);
                if (!r.device.startsWith(QLatin1String("/dev/")))
                    fault(e.line, QStringLiteral("\"device\" must be a path under /dev/, not \"%1\"").arg(e.value));
            } else if (e.key == QLatin1String("usb")) {
                r.interface = ReaderConfig::Interface::Usb;
                if (e.value != QLatin1String("yes"))
                    fault(e.line, QStringLiteral("\"usb\" must be yes, not \"%1\"").arg(e.value));
            } else if (e.key == QLatin1String("baud")) {
                baud(e, r.baud);
            } else if (e.key == QLatin1String("addressing")) {
                addressing(e, r.addressing);
            } else if (e.key == QLatin1String("command")) {
                command(e, r.command);
            } else if (e.key == QLatin1String("interval")) {
                number(e, 10, 24 * 3600 * 1000, r.intervalMs);
            } else if (e.key == QLatin1String("on-arrival")) {
                onArrival(e, r);
            } else if (e.key == QLatin1String("allow")) {
                allow(e, r.allow);
            } else if (e.key == QLatin1String("fast")) {
                onOff(e, QStringLiteral("on"), QStringLiteral("off"), r.fast);
            } else {
                unknownKey(s, e);
            }
        }
        if (!interface)
            fault(s.line, QStringLiteral("[reader %1] names no interface: \"port\", \"device\" or \"usb\"").arg(s.name));
        else if (r.interface == ReaderConfig::Interface::Usb && s.find(QStringLiteral("baud")))
            fault(s.find(QStringLiteral("baud"))->line, QStringLiteral("\"baud\" is for a serial reader, not a USB one"));
        requireKey(s, QStringLiteral("command"));
        // A tag would leave between two exchanges and come back at the next.
        if (const Entry *interval = s.find(QStringLiteral("interval"));
            interval && r.intervalMs >= agentSection.absenceMs)
            fault(interval->line, QStringLiteral("\"interval\" %1 ms is not shorter than the absence time, %2 ms")
                                      .arg(r.intervalMs).arg(agentSection.absenceMs));
    }

private:
    void unknownKey(const Section &s, const Entry &e)
    {
        const QString section = s.kind == QLatin1String("reader") ? QStringLiteral("[reader]") : QStringLiteral("[%1]").arg(s.kind);
        fault(e.line, QStringLiteral("unknown key \"%1\" in %2").arg(e.key, section));
    }

    void requireKey(const Section &s, const QString &key)
    {
        if (!s.find(key)) {
            const QString header = s.name.isEmpty() ? s.kind : s.kind + QLatin1Char(' ') + s.name;
            fault(s.line, QStringLiteral("[%1] lacks \"%2\"").arg(header, key));
        }
    }

    void clientId(const Entry &e, QString &out)
    {
        // What every broker takes (MQTT 3.1.1 asks brokers for 23 characters
        // of these at least; longer ones most accept).
        static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9._-]{1,64}$"));
        out = e.value;
        if (!safe.match(e.value).hasMatch())
            fault(e.line, QStringLiteral("\"client-id\" takes 1 to 64 letters, digits, \".\", \"_\" or \"-\", not \"%1\"")
                              .arg(e.value));
    }

    void prefix(const Entry &e, QString &out)
    {
        // Topic levels joined by "/", none empty, no wildcard, not "$..."
        // (the broker's own topics).
        static const QRegularExpression levels(QStringLiteral("^[A-Za-z0-9._-]+(/[A-Za-z0-9._-]+)*$"));
        out = e.value;
        if (!levels.match(e.value).hasMatch() || e.value.size() > 128)
            fault(e.line, QStringLiteral("\"prefix\" must be topic levels of letters, digits, \".\", \"_\" or \"-\" "
                                         "joined by \"/\", not \"%1\"")
                              .arg(e.value));
    }

    void baud(const Entry &e, int &out)
    {
        for (int rate : kReaderBaudRates) {
            if (e.value == QString::number(rate)) {
                out = rate;
                return;
            }
        }
        fault(e.line, QStringLiteral("\"baud\" must be 9600, 19200, 38400 or 57600, not \"%1\"").arg(e.value));
    }

    void addressing(const Entry &e, ReaderAddressing &out)
    {
        if (e.value == QLatin1String("off")) {
            out = {};
            return;
        }
        // The serial number as the window's address field takes it.
        static const QRegularExpression printable(QStringLiteral("^[\\x21-\\x7e]+$"));
        if (!fields::refusal(fields::kReaderSerialNumber, QStringLiteral("addressing"), e.value).isEmpty()
            || !printable.match(e.value).hasMatch()) {
            fault(e.line, QStringLiteral("\"addressing\" must be off or the reader's serial number "
                                         "(1 to %1 printable characters), not \"%2\"")
                              .arg(fields::kReaderSerialNumber.maxLength)
                              .arg(e.value));
            return;
        }
        out.addressReader = true;
        out.readerSerialNumber = e.value;
    }

    void command(const Entry &e, QString &out)
    {
        out = e.value;
        const QString first = e.value.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
        if (!knownCommandFamilies().contains(first)) {
            fault(e.line, QStringLiteral("\"command\" starts with \"%1\", which is no command family (%2)")
                              .arg(first, knownCommandFamilies().join(QStringLiteral(", "))));
            return;
        }
        if (m_commandCheck) {
            const QString why = m_commandCheck(e.value);
            if (!why.isEmpty())
                fault(e.line, QStringLiteral("\"command\": %1").arg(why));
        }
    }

    void onArrival(const Entry &e, ReaderConfig &r)
    {
        static const QRegularExpression form(QStringLiteral("^read +([0-9]{1,3})(?:-([0-9]{1,3}))?$"));
        const QRegularExpressionMatch m = form.match(e.value);
        const int first = m.hasMatch() ? m.captured(1).toInt() : -1;
        const int last = m.hasMatch() && m.hasCaptured(2) ? m.captured(2).toInt() : first;
        const fields::Limit &block = fields::kIsoBlockNumber;
        if (!m.hasMatch() || first > last || last > block.high) {
            fault(e.line, QStringLiteral("\"on-arrival\" must be \"read N\" or \"read FIRST-LAST\" with blocks "
                                         "from 0 to %1, not \"%2\"")
                              .arg(block.high)
                              .arg(e.value));
            return;
        }
        r.arrivalFirstBlock = first;
        r.arrivalLastBlock = last;
    }

    void allow(const Entry &e, int &out)
    {
        static const QList<std::pair<QString, Allow>> words{{QStringLiteral("writes"), Allow::Writes},
                                                           {QStringLiteral("locks"), Allow::Locks},
                                                           {QStringLiteral("config"), Allow::Config},
                                                           {QStringLiteral("firmware"), Allow::Firmware}};
        static const QRegularExpression separators(QStringLiteral("[ ,]+"));
        for (const QString &word : e.value.split(separators, Qt::SkipEmptyParts)) {
            bool known = false;
            for (const auto &[text, flag] : words) {
                if (word == text) {
                    out |= int(flag);
                    known = true;
                }
            }
            if (!known)
                fault(e.line, QStringLiteral("\"allow\" takes writes, locks, config and firmware, not \"%1\"").arg(word));
        }
    }

    QString m_baseDir;
    CommandCheck m_commandCheck;
};

} // namespace

const QStringList &knownCommandFamilies()
{
    // The tag families and the reader's own reading commands: what a
    // schedule repeats. Writes go through the broker's commands, not here.
    static const QStringList families{QStringLiteral("iso15693"), QStringLiteral("tagit"),
                                      QStringLiteral("iso14443a"), QStringLiteral("version"),
                                      QStringLiteral("info"), QStringLiteral("setup"),
                                      QStringLiteral("diag"), QStringLiteral("test")};
    return families;
}

QStringList ParsedConfig::faultLines(const QString &fileName) const
{
    QStringList lines;
    for (ConfigFault f : faults) {
        // Values are quoted in the messages; a control character in one
        // must not reach the terminal that shows them.
        for (QChar &c : f.message) {
            if (c.category() == QChar::Other_Control)
                c = QLatin1Char('?');
        }
        if (f.line > 0)
            lines.append(QStringLiteral("%1:%2: %3").arg(fileName).arg(f.line).arg(f.message));
        else
            lines.append(QStringLiteral("%1: %2").arg(fileName, f.message));
    }
    return lines;
}

ParsedConfig parseAgentConfig(const QByteArray &text, const QString &baseDir, const CommandCheck &commandCheck)
{
    Checker checker(baseDir, commandCheck);
    QList<Section> sections;
    const QList<QByteArray> rawLines = text.split('\n');
    int lineCount = 0;
    for (const QByteArray &raw : rawLines) {
        const int number = ++lineCount;
        QString line = QString::fromUtf8(raw);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        if (raw.isValidUtf8() == false || line.contains(QChar(0))) {
            checker.fault(number, QStringLiteral("not UTF-8 text"));
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']'))) {
                checker.fault(number, QStringLiteral("a section line must end with \"]\""));
                sections.append({QString(), QString(), number, {}}); // its keys belong to no known section
                continue;
            }
            const QString header = line.mid(1, line.size() - 2).trimmed();
            Section section{header.section(QLatin1Char(' '), 0, 0), header.section(QLatin1Char(' '), 1).trimmed(),
                            number, {}};
            const bool known = ((section.kind == QLatin1String("broker") || section.kind == QLatin1String("agent"))
                                && section.name.isEmpty())
                               || (section.kind == QLatin1String("reader") && !section.name.isEmpty());
            if (!known) {
                checker.fault(number, QStringLiteral("unknown section [%1]").arg(header));
                section.kind.clear();
            } else {
                for (const Section &earlier : sections) {
                    if (earlier.kind == section.kind && earlier.name == section.name) {
                        checker.fault(number, QStringLiteral("[%1] given twice (first on line %2)")
                                                  .arg(header)
                                                  .arg(earlier.line));
                        section.kind.clear();
                        break;
                    }
                }
            }
            sections.append(section);
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            checker.fault(number, QStringLiteral("expected \"key = value\""));
            continue;
        }
        const Entry entry{line.left(equals).trimmed(), line.mid(equals + 1).trimmed(), number};
        if (sections.isEmpty()) {
            checker.fault(number, QStringLiteral("\"%1\" comes before any section").arg(entry.key));
            continue;
        }
        Section &current = sections.last();
        if (current.kind.isEmpty())
            continue; // the section's own line has the fault
        if (const Entry *earlier = current.find(entry.key)) {
            checker.fault(number, QStringLiteral("\"%1\" given twice (first on line %2)").arg(entry.key).arg(earlier->line));
            continue;
        }
        if (entry.value.isEmpty()) {
            checker.fault(number, QStringLiteral("\"%1\" has no value").arg(entry.key));
            continue;
        }
        current.entries.append(entry);
    }
    const int lastLine = qMax(1, lineCount - (text.endsWith('\n') ? 1 : 0));

    ParsedConfig parsed;
    AgentConfig &config = parsed.config;
    auto findSection = [&](const QString &kind) -> const Section * {
        for (const Section &s : sections) {
            if (s.kind == kind)
                return &s;
        }
        return nullptr;
    };
    // [agent] first: the readers' intervals are held against its absence.
    if (const Section *agent = findSection(QStringLiteral("agent")))
        checker.agent(*agent, config.agent);
    if (const Section *broker = findSection(QStringLiteral("broker")))
        checker.broker(*broker, config.broker);
    else
        checker.fault(lastLine, QStringLiteral("no [broker] section"));
    QHash<QString, int> interfaces; // "COM1", a device, "usb" -> the reader's line
    for (const Section &s : sections) {
        if (s.kind != QLatin1String("reader"))
            continue;
        ReaderConfig reader;
        checker.reader(s, config.agent, reader);
        const QString key = reader.interface == ReaderConfig::Interface::Serial ? reader.port
                            : reader.interface == ReaderConfig::Interface::Device ? reader.device
                                                                                   : QStringLiteral("usb");
        if (!key.isEmpty()) {
            if (interfaces.contains(key))
                // The USB library reaches one reader, and a port opens once.
                checker.fault(s.line, QStringLiteral("[reader %1] uses %2, as the reader on line %3 does")
                                          .arg(s.name, key == QLatin1String("usb") ? QStringLiteral("USB") : key)
                                          .arg(interfaces.value(key)));
            else
                interfaces.insert(key, s.line);
        }
        config.readers.append(reader);
    }
    if (config.readers.isEmpty())
        checker.fault(lastLine, QStringLiteral("no [reader NAME] section"));

    parsed.faults = checker.faults;
    std::stable_sort(parsed.faults.begin(), parsed.faults.end(),
                     [](const ConfigFault &a, const ConfigFault &b) { return a.line < b.line; });
    if (!parsed.ok())
        parsed.config = AgentConfig();
    return parsed;
}

ParsedConfig loadAgentConfig(const QString &path, const CommandCheck &commandCheck)
{
    const RegularFileRead read = readRegularFile(path, kLargestConfigBytes);
    if (read.status != RegularFileRead::Status::Read) {
        ParsedConfig parsed;
        parsed.faults.append({0, read.reason});
        return parsed;
    }
    return parseAgentConfig(read.bytes, QFileInfo(path).absolutePath(), commandCheck);
}

} // namespace vexa::agent
