// vexa-sim - a Vexa reader on a pseudo-terminal.
//
// Prints "device: <slave path>" and "port: COMn" once the port entry is in
// place, then answers the host on the line and control lines on standard
// input until SIGINT, SIGTERM, SIGHUP or "quit". Exit codes: 0 normal end,
// 1 the pseudo-terminal or the port entry could not be set up, 2 bad options.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QSocketNotifier>

#include "console.h"
#include "control.h"
#include "readermodel.h"
#include "simulator.h"
#include "tagcollection.h"
#include "tagline.h"
#include "usbreader.h"

using namespace vexa::sim;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int signo)
{
    const int saved = errno;
    const char byte = char(signo);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

bool installSignalPipe()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signo : {SIGINT, SIGTERM, SIGHUP})
        if (::sigaction(signo, &action, nullptr) != 0)
            return false;
    // A reader of our standard output that goes away must not kill us
    // before the port entry is removed.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

QString outputHelp()
{
    return QStringLiteral(
        "Standard output: \"device: <path>\" and \"port: COMn\" at start; with --trace,\n"
        "\"rx: <bytes>\" per request frame, \"air: <n> us\" for the tags' air time of\n"
        "its answer, \"tx: <bytes>\" per write queued (answers,\n"
        "send, frame), \"quiet: <why>\" for a request left unanswered, \"discard: <bytes>\"\n"
        "for bytes not understood, \"garbled: <bytes>\" for bytes sent while the host's\n"
        "rate differs, \"rate: <rate>\" when the reader's line rate changes. Bytes are\n"
        "written \" %02X\" each, e.g. \"rx: 01 08 00 10 80 E0 79 86\".\n");
}

struct Options
{
    QString port = QStringLiteral("COM1");
    bool trace = false;
    QString tagFile;
    bool noTags = false;
    bool usb = false;
    int bootMs = 0;
    QString help; // set when --help or --version was given
};

// Applies the command line to the model; false with a message on misuse.
bool parseOptions(QCoreApplication &app, ReaderModel &model, Options &options, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A Vexa RFID reader on a pseudo-terminal, published as a COM port "
                       "in $XDG_CONFIG_HOME/Kestrune/VexaHost/ports/."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Publish as COMn, n 1 to 9 (default COM1)."),
                                  QStringLiteral("COMn"));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("The reader's rate: 9600, 19200, 38400 (default) or 57600."),
                                  QStringLiteral("rate"));
    const QCommandLineOption serial(QStringLiteral("serial"),
                                    QStringLiteral("Serial number, 1 to 8 printable characters "
                                                   "(default 4000123)."),
                                    QStringLiteral("text"));
    const QCommandLineOption firmware(QStringLiteral("firmware"),
                                      QStringLiteral("Firmware version major.minor, two minor digits "
                                                     "(default 4.07)."),
                                      QStringLiteral("M.mm"));
    const QCommandLineOption trace(QStringLiteral("trace"), QStringLiteral("Print rx:/tx: lines for the wire."));
    const QCommandLineOption tagFile(QStringLiteral("tags"),
                                     QStringLiteral("Put the tags of this file in the field instead of the "
                                                    "default tags (one tag a line, see below)."),
                                     QStringLiteral("file"));
    const QCommandLineOption noTags(QStringLiteral("no-tags"), QStringLiteral("Start with an empty field."));
    const QCommandLineOption usb(QStringLiteral("usb"),
                                 QStringLiteral("Also be a USB HID reader (vendor 0x03EB, product 0x2013), plugged in,\n"
                                                "for the simulator's USB library: socket\n"
                                                "$XDG_CONFIG_HOME/Kestrune/VexaHost/usb/reader."));
    const QCommandLineOption noAirTime(QStringLiteral("no-air-time"),
                                       QStringLiteral("Answer as soon as the line is free, without waiting\n"
                                                      "for the request to cross the line and the tags' air\n"
                                                      "time (\"airtime on\" brings it back)."));
    const QCommandLineOption bootTime(QStringLiteral("boot-time"),
                                      QStringLiteral("After the boot loader's go command the application takes\n"
                                                     "this long to start (default 0): what the host sends\n"
                                                     "meanwhile, on the line or over USB, is lost."),
                                      QStringLiteral("ms"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOptions({help, version, port, baud, serial, firmware, trace, tagFile, noTags, usb, noAirTime, bootTime});

    if (!parser.parse(app.arguments())) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(help)) {
        QString usage = parser.helpText();
        usage.replace(app.arguments().constFirst(), QStringLiteral("vexa-sim"));
        options.help = usage + QLatin1Char('\n') + controlHelp() + QLatin1Char('\n') + outputHelp();
        return true;
    }
    if (parser.isSet(version)) {
        options.help = QStringLiteral("vexa-sim ") + QLatin1String(VEXA_VERSION_TEXT) + QLatin1Char('\n');
        return true;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
        return false;
    }
    if (parser.isSet(port)) {
        options.port = parser.value(port);
        if (!QRegularExpression(QStringLiteral("^COM[1-9]$")).match(options.port).hasMatch()) {
            *error = QStringLiteral("--port takes COM1 to COM9");
            return false;
        }
    }
    if (parser.isSet(baud) && !model.setBaudRate(parser.value(baud).toInt())) {
        *error = QStringLiteral("--baud takes 9600, 19200, 38400 or 57600");
        return false;
    }
    if (parser.isSet(serial) && !model.setSerialNumber(parser.value(serial).toLatin1())) {
        *error = QStringLiteral("--serial takes 1 to 8 printable characters without blanks");
        return false;
    }
    if (parser.isSet(firmware)) {
        const auto match = QRegularExpression(QStringLiteral("^(\\d{1,3})\\.(\\d\\d)$")).match(parser.value(firmware));
        if (!match.hasMatch() || match.captured(1).toInt() > 255) {
            *error = QStringLiteral("--firmware takes major.minor such as 4.07");
            return false;
        }
        model.state().firmwareMajor = uint8_t(match.captured(1).toInt());
        model.state().firmwareMinor = uint8_t(match.captured(2).toInt());
    }
    if (parser.isSet(bootTime)) {
        bool ok = false;
        const int ms = parser.value(bootTime).toInt(&ok);
        if (!ok || ms < 0 || ms > BootLoader::kMaxBootMs) {
            *error = QStringLiteral("--boot-time takes milliseconds from 0 to 600000");
            return false;
        }
        options.bootMs = ms;
    }
    if (parser.isSet(tagFile) && parser.isSet(noTags)) {
        *error = QStringLiteral("--tags and --no-tags exclude each other");
        return false;
    }
    options.tagFile = parser.value(tagFile);
    options.noTags = parser.isSet(noTags);
    options.trace = parser.isSet(trace);
    options.usb = parser.isSet(usb);
    model.state().airTime = !parser.isSet(noAirTime);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexa-sim"));

    ReaderModel model;
    Options options;
    QString error;
    if (!parseOptions(app, model, options, &error)) {
        printError(error + QStringLiteral(" (see --help)"));
        return 2;
    }
    if (!options.help.isEmpty()) {
        std::fputs(options.help.toLocal8Bit().constData(), stdout);
        return 0;
    }
    TagCollection tags;
    if (!options.tagFile.isEmpty()) {
        if (!loadTagFile(options.tagFile, tags, &error)) {
            printError(error);
            return 2;
        }
    } else if (!options.noTags) {
        addDefaultTags(tags);
    }
    model.setTagField(&tags);

    if (!installSignalPipe()) {
        printError(QStringLiteral("cannot install the signal handlers"));
        return 1;
    }

    Simulator simulator(model, options.trace);
    simulator.setBootMs(options.bootMs);
    simulator.setTags(&tags);
    if (!simulator.start(options.port, &error)) {
        printError(error);
        return 1;
    }
    UsbReader usbReader(model, [&options](const QString &line) {
        if (options.trace)
            printLine(line);
    });
    if (options.usb) {
        if (!usbReader.start(&error)) {
            printError(error);
            simulator.stop();
            return 1;
        }
        simulator.setUsbReader(&usbReader);
        model.state().usbLoader = true;
    }
    if (::fcntl(STDIN_FILENO, F_GETFD) >= 0)
        simulator.listen(STDIN_FILENO);

    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&app] {
        char byte;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        app.quit();
    });
    QObject::connect(&simulator, &Simulator::quitRequested, &app, &QCoreApplication::quit);

    const int code = app.exec();
    usbReader.stop();
    simulator.stop();
    return code;
}
