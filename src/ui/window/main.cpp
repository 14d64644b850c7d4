// VexaHost - program entry.
#include <cstdio>
#include <optional>
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include "core/util/version.h"
#include "ui/window/mainwindow.h"
#include "ui/window/signalclose.h"

namespace {

// The program's own options, as vexahost(1) lists them under OPTIONS.
void addProgramOptions(QCommandLineParser &parser)
{
    // "-platform" is one of Qt's options, not "-p -l -a ...".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("v"), QStringLiteral("version")}));
}

// --help and --version are answered before the window's application exists,
// so that they need no display.
std::optional<int> answerInfoOptions(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    addProgramOptions(parser);
    parser.parse(arguments); // the rest is checked once Qt took its own options
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs("Usage: vexahost [options] [Qt options]\n"
                   "Host utility for Vexa 13.56 MHz RFID readers: opens the window.\n"
                   "\n"
                   "Options:\n"
                   "  -h, --help     Show this help and exit.\n"
                   "  -v, --version  Show the version and exit.\n"
                   "\n"
                   "See vexahost(1).\n",
                   stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("VexaHost %s\n", vexa::kVersionText);
        return 0;
    }
    return std::nullopt;
}

// What is left once Qt took its own options must be nothing.
std::optional<int> refuseOtherArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    addProgramOptions(parser);
    const bool parsed = parser.parse(arguments);
    if (parsed && parser.positionalArguments().isEmpty())
        return std::nullopt;
    const QString what = parsed ? QStringLiteral("unexpected argument: ") + parser.positionalArguments().constFirst()
                                : parser.errorText();
    std::fprintf(stderr, "vexahost: %s (see --help)\n", qPrintable(what));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const auto code = answerInfoOptions(argc, argv))
        return *code;
    QApplication app(argc, argv);
    if (const auto code = refuseOtherArguments(QApplication::arguments()))
        return *code;
    QApplication::setOrganizationName(QStringLiteral("Kestrune"));
    QApplication::setApplicationName(QStringLiteral("VexaHost"));
    // No display name: the window system would append it to the title of
    // every dialog and box ("Upgrade firmware — Vexa Host").
    QApplication::setApplicationVersion(QLatin1String(vexa::kVersionText));
    QApplication::setDesktopFileName(QStringLiteral("vexahost"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/images/vexahost-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    vexa::MainWindow window;
    const vexa::SignalClose signalClose(&window);
    window.show();
    return app.exec();
}
