// vexactl - what a command line asks for: the connection, the output and
// one reader command, as plain values. Nothing here talks to a reader, so
// every refusal of a command line is decided (and tested) without one.
#pragma once

#include <array>
#include <optional>
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include "core/codecs/iso15693.h"
#include "core/codecs/readeroptions.h"
#include "core/codecs/tagit.h"
#include "core/session/memoryjob.h"
#include "core/wire/reception.h"

namespace vexa::ctl {

// The meaning of every exit status, as --help and the manual list them.
enum ExitCode {
    ExitOk = 0,
    ExitReaderError = 1,
    ExitUsage = 2,
    ExitNoAnswer = 3,
    ExitNoDevice = 4,
    ExitFirmware = 5
};

struct Connection
{
    std::optional<int> port;   // COMn
    QString device;            // a device path instead of a COM port
    bool usb = false;
    std::optional<int> baud;   // the rate to talk at
    QString address;           // the reader's serial number for addressed frames
    std::optional<int> timeoutMs;
};

// One reader command, ready for the session.
struct Action
{
    enum class Kind {
        Management, Test, Iso15693, Tagit, Iso14443, Raw,
        Wiegand, IsoOptions, Encryption, Feedback, Rf, Led, Audio, Baud,
        Run,     // text: the script's file, "-" for standard input
        Firmware, // text: the firmware file
        Memory    // memory: the job; text: the dump file to read (restore,
                  // verify) or to write (dump --out)
    };
    Kind kind = Kind::Management;
    QString name;             // the command words, as typed ("iso15693 read")
    uint8_t code = 0;         // management code
    iso15693::Request iso;    // Kind::Iso15693: the page's fields, options still to fill in
    tagit::Request tagit;     // Kind::Tagit: the page's fields
    QByteArray rawBody;       // Kind::Raw: flags, code and parameters
    // Configuration: the Wiegand mode, LED colour or rate; the user key or
    // on-time as typed; RF/audio on, plain text or LED on.
    int number = 0;
    QString text;
    bool first = false;
    bool second = false;
    // Kind::IsoOptions: the item chosen per list (in kIsoOptions order), -1 to keep it.
    std::array<int, 5> isoItems{-1, -1, -1, -1, -1};
    // Kind::Memory: the job as far as the command line tells it (the
    // reference dump is read from `text` once the command line is sound).
    MemoryJobInput memory;
};

struct Invocation
{
    Connection connection;
    bool json = false;
    bool frames = false;
    // The tag log's CSV, written once the run (or Repeat) has ended.
    QString logFile;
    bool yes = false;
    bool fast = false;
    bool keepGoing = false;
    // How often the command goes out: 1, a number, or until stopped (0).
    int repeat = 1;
    int intervalMs = 0;
    // The options of the command line without the command: what every line
    // of a script is run with.
    QStringList options;
    // --help: the program's (empty) or a command's synopsis.
    bool help = false;
    QString helpTopic;
    std::optional<Action> action;
};

struct Parsed
{
    Invocation invocation;
    QString error; // usage error for standard error (exit 2); empty when sound
};

// Parses the arguments after the program name.
Parsed parseCommandLine(const QStringList &arguments);

// The words of one script line: blanks separate them; a line that is
// empty or starts with "#" has none.
QStringList scriptLineWords(const QString &line);

// The text of --help: the program's, or a command's for `topic`.
QString helpText(const QString &topic = {});

// iso-options: the session's options with the chosen items set.
void applyIsoOptions(const Action &action, ReaderOptions &options);

// The rates the reader and the window know.
bool isKnownBaudRate(int rate);

} // namespace vexa::ctl
