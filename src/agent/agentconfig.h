// vexa-agent - its configuration file: an INI text with a [broker] section,
// an [agent] section and one [reader NAME] section per reader. The parser is
// our own so that every fault names its line; a file with any fault is
// refused as a whole, never taken in part.
#pragma once

#include <functional>
#include <QList>
#include <QString>
#include <QStringList>

#include "core/codecs/readeraddressing.h"

namespace vexa::agent {

struct BrokerConfig
{
    QString host;
    int port = 0; // 0: 1883, or 8883 with TLS (effectivePort())
    QString clientId; // empty: "vexa-agent-" and the host name, chosen at run time
    QString prefix = QStringLiteral("vexa");
    QString username;
    QString password;     // as written in the file
    QString passwordFile; // or the file that holds it (its first line)
    bool tls = false;
    QString caFile;
    QString certFile;
    QString keyFile;
    int keepAliveSeconds = 60;
    // The longest wait between two attempts to reach the broker: the wait
    // doubles from one second up to it, so an agent is back at most this
    // long after its broker.
    int reconnectMaxSeconds = 5;

    int effectivePort() const { return port ? port : (tls ? 8883 : 1883); }
};

struct AgentSection
{
    QString stateDir = QStringLiteral("/var/lib/vexa-agent");
    int queueLimitMegabytes = 64;
    int absenceMs = 5000; // a tag not seen for this long has left
};

// Which actions a command from the broker may take on a reader beside the
// reading ones, which are always allowed.
enum class Allow { Writes = 1, Locks = 2, Config = 4, Firmware = 8 };

struct ReaderConfig
{
    enum class Interface { Serial, Device, Usb };

    QString name; // topic-safe: letters, digits, '.', '_', '-'
    int line = 0; // of its [reader NAME] line, for messages at run time
    Interface interface = Interface::Serial;
    QString port;   // "COM1" .. "COM8" (Serial)
    QString device; // an absolute path under /dev (Device)
    int baud = 38400;
    ReaderAddressing addressing;
    QString command; // one command line in the language of "vexactl run"
    int intervalMs = 500;
    // Blocks read from every tag that arrives; firstBlock < 0: none.
    int arrivalFirstBlock = -1;
    int arrivalLastBlock = -1;
    int allow = 0; // Allow flags
    // An answer ends as soon as it is one sound frame (vexactl --fast),
    // not after the reader's 100 ms of silence.
    bool fast = false;

    bool allows(Allow what) const { return allow & int(what); }
};

struct AgentConfig
{
    BrokerConfig broker;
    AgentSection agent;
    QList<ReaderConfig> readers; // in the file's order
};

struct ConfigFault
{
    int line = 0;
    QString message;
};

// Checks a reader's command line beyond its first word: a fault text, or an
// empty text when the command is good. The agent installs the full check of
// the command language here; without one, the first word must name a known
// command family.
using CommandCheck = std::function<QString(const QString &command)>;

struct ParsedConfig
{
    AgentConfig config;
    QList<ConfigFault> faults; // by line; none: config is the whole file

    bool ok() const { return faults.isEmpty(); }
    // "FILE:LINE: message", one per fault.
    QStringList faultLines(const QString &fileName) const;
};

// Parses `text`, the file's contents. Relative file names in it (password,
// TLS files) are taken from `baseDir`; those files must be readable now, so
// that --check-config finds what the first connection would.
ParsedConfig parseAgentConfig(const QByteArray &text, const QString &baseDir,
                              const CommandCheck &commandCheck = {});

// Reads and parses the file at `path`; a file that cannot be read is one
// fault on line 0.
ParsedConfig loadAgentConfig(const QString &path, const CommandCheck &commandCheck = {});

// The first words a reader's command may start with.
const QStringList &knownCommandFamilies();

} // namespace vexa::agent
