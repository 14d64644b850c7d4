// vexactl - the reader from the shell: one command on the reader session,
// its report on standard output, an exit status that says how it went.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <functional>
#include <memory>
#include <utility>
#include <unistd.h>

#include "app/settingsstore.h"
#include "app/version.h"
#include "config/configframes.h"
#include "config/management.h"
#include "ctl/commandline.h"
#include "ctl/firmwarerun.h"
#include "ctl/terminal.h"
#include "ctl/output.h"
#include "link/readerlink.h"
#include "link/serialtransport.h"
#include "link/framecheck.h"
#include "link/usbtransport.h"
#include "session/readersession.h"
#include "session/taglogexport.h"
#include "util/regularfile.h"
#include "tags/iso14443.h"
#include "tags/iso15693.h"
#include "tags/tagit.h"

using namespace vexa;
using namespace vexa::ctl;

namespace {

// The session's messages as one reason: their line breaks are the window's
// layout, not meaning.
QString oneLine(const QStringList &messages)
{
    return messages.join(QLatin1Char(' ')).split(QLatin1Char('\n'), Qt::SkipEmptyParts).join(QLatin1Char(' ')).trimmed();
}

// Runs one command against the session and ends the event loop with its
// exit status.
class CommandRun : public QObject
{
public:
    // `done` is called once with the exit status, when the last exchange
    // has ended or a stop was asked for.
    CommandRun(ReaderSession &session, TerminalPrompt &prompt, const Invocation &invocation,
               std::function<void(int)> done)
        : m_session(session), m_prompt(prompt), m_invocation(invocation), m_done(std::move(done))
    {
        m_clock.start();
        m_pause.setSingleShot(true);
        // --interval is a bench's spacing between exchanges: never shorter.
        m_pause.setTimerType(Qt::PreciseTimer);
        connect(&m_pause, &QTimer::timeout, this, &CommandRun::sendNext);
        ReaderLink &link = session.link();
        connect(&session, &ReaderSession::report, this, [this](const Report &report) { m_answer.report = report; });
        connect(&session, &ReaderSession::tagResponse, this, &CommandRun::onTagResponse);
        // The message view's lines: the frames and the USB connection notes.
        if (invocation.frames)
            connect(&session, &ReaderSession::messageLine, this, [](const QString &line) { printError(line); });
        // The session, connected first, has written the report by now.
        connect(&link, &ReaderLink::responseReady, this, [this](const FrameView &frame) {
            m_answered = true;
            // The test command's answer carries no status to judge.
            judgeAnswer(m_answer, frame, m_invocation.action->kind != Action::Kind::Test);
        });
        connect(&link, &ReaderLink::timedOut, this, [this] { judgeTimeout(m_answer); });
        connect(&link, &ReaderLink::sendFailed, this, [this](const QString &) { m_sendFailed = true; });
        connect(&link, &ReaderLink::exchangeEnded, this, &CommandRun::finish);
    }

    // Sends the first exchange; false with the exit status when nothing was sent.
    bool start(int *exitCode)
    {
        if (!send(exitCode)) {
            m_reason = std::exchange(m_refusal, {});
            return false;
        }
        m_inFlight = true;
        return true;
    }

    // Why the run failed (the worst exchange's reason), without the command.
    QString reason() const { return m_reason.isEmpty() ? QStringLiteral("failed") : m_reason; }

    // Ctrl-C or SIGTERM: the exchange in flight ends first.
    void requestStop()
    {
        m_stopRequested = true;
        if (!m_inFlight) {
            m_pause.stop();
            end();
        }
    }

private:
    // Sends the command; false with the exit status and m_refusal when
    // nothing was sent. What the session says meanwhile is the refusal.
    bool send(int *exitCode)
    {
        m_refusal.clear();
        m_prompt.hold();
        const bool sent = sendHeld(exitCode);
        const QStringList said = m_prompt.release();
        if (sent) {
            for (const QString &text : said)
                printError(printableText(oneLine({text})));
        } else if (!said.isEmpty()) {
            m_refusal = oneLine(said);
        } else if (m_refusal.isEmpty()) {
            m_refusal = QStringLiteral("nothing was sent");
        }
        return sent;
    }

    bool sendHeld(int *exitCode)
    {
        const Action &action = *m_invocation.action;
        m_answer.command = action.name;
        ReaderLink &link = m_session.link();
        switch (action.kind) {
        case Action::Kind::Management:
            m_session.setVisiblePage(TagPage::Iso15693);
            link.clearCommandBuffer();
            link.sendSimpleCommand(flagsFor(action.code), action.code);
            break;
        case Action::Kind::Test:
            m_session.setVisiblePage(TagPage::Iso15693);
            m_session.runTest();
            break;
        case Action::Kind::Iso15693: {
            m_session.setVisiblePage(TagPage::Iso15693);
            iso15693::Request request = action.iso;
            request.isoConfig = m_session.options().isoConfig;
            request.isoBlockLength = m_session.options().isoBlockLength;
            if (!sendTagRequest(request, iso15693::checkFields, iso15693::confirmation, iso15693::build, exitCode))
                return false;
            break;
        }
        case Action::Kind::Tagit: {
            m_session.setVisiblePage(TagPage::Tagit);
            const tagit::Request &request = action.tagit;
            if (!sendTagRequest(request, tagit::checkFields, tagit::confirmation, tagit::build, exitCode))
                return false;
            break;
        }
        case Action::Kind::Iso14443:
            m_session.setVisiblePage(TagPage::Iso14443);
            link.clearCommandBuffer();
            link.commandLength = iso14443::build(iso14443::ReadUid, link.commandBuffer);
            link.sendFrame();
            break;
        case Action::Kind::Wiegand: m_session.sendWiegandMode(action.number); break;
        case Action::Kind::Encryption: m_session.sendEncryption(action.first, action.text, action.second); break;
        case Action::Kind::Feedback:
            m_session.options().audioOn = action.first;
            m_session.options().ledOn = action.second;
            m_session.sendFeedback();
            break;
        case Action::Kind::Rf: m_session.setRfTransmitter(action.first); break;
        case Action::Kind::Led: m_session.activateLed(LedColour(action.number), action.text); break;
        case Action::Kind::Audio: m_session.activateAudio(action.text); break;
        case Action::Kind::Baud: m_session.changeBaudRate(action.number); break;
        case Action::Kind::IsoOptions: // changed before, never sent
        case Action::Kind::Run: // a script runs its lines, never itself
        case Action::Kind::Firmware: return false;
        case Action::Kind::Raw: {
            const QByteArray &body = action.rawBody;
            link.clearCommandBuffer();
            const int n = int(body.size()) + 6;
            writeHeader(link.commandBuffer.data(), n, uint8_t(body.at(0)), uint8_t(body.at(1)));
            for (qsizetype i = 2; i < body.size(); ++i)
                link.commandBuffer[size_t(4 + i)] = uint8_t(body.at(i));
            writeFrameCheck(link.commandBuffer.data(), n);
            link.commandLength = n;
            // The reader's answer is reported as the page in view would.
            m_session.setVisiblePage(TagPage::Iso15693);
            link.sendFrame();
            break;
        }
        }
        if (m_sendFailed) {
            // The link's message (held) names the port and the fault.
            link.responseTimer().stop();
            *exitCode = ExitNoDevice;
            return false;
        }
        // The session refused the input (its message is out) and sent nothing.
        if (!link.busy() && !m_session.changingBaud()) {
            *exitCode = ExitUsage;
            return false;
        }
        return true;
    }

    // A lock asks first; --yes is the only answer that sends it.
    // A tag page's request: its field checks, its question, its frame, as
    // the page sends it.
    template<typename Request, typename Check, typename Confirmation, typename Build>
    bool sendTagRequest(const Request &request, Check check, Confirmation confirmation, Build build, int *exitCode)
    {
        if (const auto refusal = check(request)) {
            m_refusal = refusal->message;
            *exitCode = ExitUsage;
            return false;
        }
        if (!confirmed(confirmation(request.command), exitCode))
            return false;
        CommandBuffer frame{};
        const auto built = build(request, frame);
        if (!built.ok()) {
            m_refusal = built.refusal->message;
            *exitCode = ExitUsage;
            return false;
        }
        ReaderLink &link = m_session.link();
        link.commandBuffer = frame;
        link.commandLength = built.length;
        link.sendFrame();
        return true;
    }

    bool confirmed(const QString &question, int *exitCode)
    {
        if (question.isEmpty() || m_invocation.yes)
            return true;
        m_refusal = question + QStringLiteral(" Not sent; give --yes to confirm.");
        *exitCode = ExitUsage;
        return false;
    }

    void onTagResponse(ResponseFamily family, const FrameView &frame)
    {
        const ReaderLink &link = m_session.link();
        const FrameView request(link.commandBuffer.data(), link.commandLength);
        switch (family) {
        case ResponseFamily::Iso15693:
            m_answer.report = iso15693::reportResponse(frame, m_session.options().isoBlockLength);
            m_answer.tags = iso15693::tagsNamed(frame, request, m_session.options().isoBlockLength);
            break;
        case ResponseFamily::Tagit:
            m_answer.report = tagit::reportResponse(frame, frame.available());
            m_answer.tags = tagit::tagsNamed(frame, request);
            break;
        case ResponseFamily::Iso14443:
            m_answer.report = iso14443::reportResponse(frame);
            m_answer.tags = iso14443::tagsNamed(frame);
            break;
        case ResponseFamily::Management: break;
        }
    }

    void finish()
    {
        // A rate change is two exchanges with a pause between: the rate
        // command, then the setup read at the new rate.
        const bool more = m_session.changingBaud() || m_session.link().busy();
        if (!m_answered && m_answer.status == Answer::Status::Ok)
            judgeNoValidAnswer(m_answer);
        // A failed write asks for the stop (the output handler): this
        // exchange still ends as usual.
        if (m_invocation.json) {
            printOut(answerJson(m_answer) + '\n');
        } else {
            const QStringList lines = reportTextLines(m_answer.report, m_session.clockText());
            if (!lines.isEmpty())
                printOut((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        }
        if (exitCodeFor(m_answer.status) > m_exitCode) {
            m_exitCode = exitCodeFor(m_answer.status);
            m_reason = failureReason(m_answer);
        }
        switch (m_answer.status) {
        case Answer::Status::Ok: break;
        case Answer::Status::ReaderError:
        case Answer::Status::BadAnswer: ++m_errors; break;
        case Answer::Status::NoAnswer: ++m_timeouts; break;
        }
        m_answers += m_answered ? 1 : 0;
        const QString command = m_answer.command;
        m_answer = Answer();
        m_answer.command = command;
        m_answered = false;
        if (more)
            return;
        ++m_exchanges;
        m_inFlight = false;
        if (m_stopRequested || (m_invocation.repeat > 0 && m_exchanges >= m_invocation.repeat)) {
            end();
            return;
        }
        m_pause.start(m_invocation.intervalMs);
    }

    void sendNext()
    {
        int code = ExitOk;
        if (send(&code)) {
            m_inFlight = true;
        } else {
            if (code > m_exitCode) {
                m_exitCode = code;
                m_reason = m_refusal;
            }
            end();
        }
    }

    void end()
    {
        if (m_ended)
            return;
        m_ended = true;
        if (m_invocation.repeat != 1) {
            const double seconds = std::max(1e-3, m_clock.elapsed() / 1000.0);
            printError(QStringLiteral("%1 exchanges, %2 answers, %3 errors, %4 time-outs, %5 per second")
                           .arg(m_exchanges)
                           .arg(m_answers)
                           .arg(m_errors)
                           .arg(m_timeouts)
                           .arg(m_exchanges / seconds, 0, 'f', 2));
        }
        m_done(m_exitCode);
    }

    ReaderSession &m_session;
    TerminalPrompt &m_prompt;
    const Invocation &m_invocation;
    QString m_refusal; // why the last send sent nothing
    QString m_reason;  // why the worst exchange failed
    Answer m_answer;
    std::function<void(int)> m_done;
    QElapsedTimer m_clock;
    QTimer m_pause;
    bool m_answered = false;
    bool m_sendFailed = false;
    bool m_inFlight = false;
    bool m_stopRequested = false;
    bool m_ended = false;
    int m_exitCode = ExitOk;
    int m_exchanges = 0;
    int m_answers = 0;
    int m_errors = 0;
    int m_timeouts = 0;
};

// Ctrl-C and SIGTERM, brought into the event loop through a pipe.
class StopSignal : public QObject
{
    Q_OBJECT
public:
    StopSignal()
    {
        if (::pipe(s_pipe) != 0)
            return;
        m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            char byte;
            if (::read(s_pipe[0], &byte, 1) == 1) {
                m_raised = true;
                emit raised();
            }
        });
        struct sigaction action = {};
        action.sa_handler = [](int) {
            const char byte = 1;
            [[maybe_unused]] const auto written = ::write(s_pipe[1], &byte, 1);
        };
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }

    bool wasRaised() const { return m_raised; }
    // A stop from within: standard output has gone.
    void raise()
    {
        m_raised = true;
        emit raised();
    }

signals:
    void raised();

private:
    bool m_raised = false;
    static inline int s_pipe[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
};

StopSignal *g_stopper = nullptr;

// The lines of a script, from a file or standard input; false when it
// cannot be read.
bool readScript(const QString &name, QStringList *lines)
{
    QFile file;
    const bool opened = name == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                   : (file.setFileName(name), file.open(QIODevice::ReadOnly));
    if (!opened) {
        printReason(name + QStringLiteral(": ") + file.errorString());
        return false;
    }
    *lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    return true;
}

// iso-options: changes the options of the commands that follow in this run
// (never the window's settings) and prints them; nothing goes to the reader.
void changeIsoOptions(ReaderOptions &options, const Invocation &invocation)
{
    applyIsoOptions(*invocation.action, options);
    if (invocation.json)
        printOut(isoOptionsJson(options) + '\n');
    else
        printOut((isoOptionsTextLines(options).join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

// A usage error: its reason, and the usage line some errors add below it
// (the only line break the command line's texts hold on purpose).
struct UsageError
{
    QString reason;
    QString usage;
};

UsageError splitUsageError(const QString &error)
{
    static const QString usageMark = QStringLiteral("\nUsage: ");
    const qsizetype at = error.lastIndexOf(usageMark);
    if (at < 0)
        return {error, {}};
    return {error.left(at), error.mid(at + 1)};
}

void printUsageError(const UsageError &error)
{
    printReason(error.reason);
    if (!error.usage.isEmpty())
        printError(printableText(error.usage));
}

// Runs a script line by line on one session; the exit status of the first
// failing line (of the worst with --keep-going). A failing line is named on
// one line: where, the line as shown (printable, shortened), its status and
// why.
int runScript(ReaderSession &session, TerminalPrompt &prompt, const Invocation &invocation)
{
    const QString name = invocation.action->text;
    QStringList lines;
    if (!readScript(name, &lines))
        return ExitUsage;
    const QString where = name == QLatin1String("-") ? QStringLiteral("standard input") : name;
    int worst = ExitOk;
    std::unique_ptr<Parsed> parsed;
    std::unique_ptr<CommandRun> run;
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList words = scriptLineWords(lines.at(i));
        if (words.isEmpty())
            continue;
        parsed = std::make_unique<Parsed>(parseCommandLine(invocation.options + words));
        int code = ExitOk;
        UsageError why;
        if (!parsed->error.isEmpty()) {
            why = splitUsageError(parsed->error);
            code = ExitUsage;
        } else if (parsed->invocation.help || parsed->invocation.action->kind == Action::Kind::Run
                   || parsed->invocation.action->kind == Action::Kind::Firmware) {
            why.reason = QStringLiteral("a script line holds one reader command.");
            code = ExitUsage;
        } else if (parsed->invocation.action->kind == Action::Kind::IsoOptions) {
            changeIsoOptions(session.options(), parsed->invocation);
        } else {
            run.reset();
            run = std::make_unique<CommandRun>(session, prompt, parsed->invocation,
                                               [](int status) { QCoreApplication::exit(status); });
            QObject::connect(g_stopper, &StopSignal::raised, run.get(), &CommandRun::requestStop);
            if (run->start(&code))
                code = QCoreApplication::exec();
            why.reason = run->reason();
        }
        if (code != ExitOk) {
            // Concatenated, not arg()-ed: the line may hold "%1".
            why.reason = where + QLatin1Char(':') + QString::number(i + 1) + QStringLiteral(": \"")
                + printableText(lines.at(i).trimmed(), kShownLineLength)
                + QStringLiteral("\" failed with exit status ") + QString::number(code) + QStringLiteral(": ")
                + why.reason;
            printUsageError(why);
            worst = std::max(worst, code);
            if (!invocation.keepGoing)
                break;
        }
        if (g_stopper->wasRaised())
            break;
    }
    return worst;
}

// Opens the interface the command line or the stored settings name; false
// (with the reason on standard error) when it is not there.
bool connectReader(ReaderSession &session, TerminalPrompt &prompt, const Connection &c, const StoredSettings &stored)
{
    const bool usb = c.usb || (!c.port && c.device.isEmpty() && stored.comMethod != 0);
    if (usb) {
        ReaderSession::Settings settings;
        settings.usb = true;
        settings.options = session.options();
        // What the session says on the way is the reason when it fails.
        prompt.hold();
        session.begin(settings);
        const QStringList said = prompt.release();
        if (!session.usb().isOpen()) {
            printReason(said.isEmpty() ? QStringLiteral("no USB reader is connected.") : oneLine(said));
            return false;
        }
        for (const QString &text : said)
            printError(printableText(oneLine({text})));
        return true;
    }
    session.tickClock();
    SerialTransport &serial = session.serial();
    serial.setBaudRate(c.baud.value_or(isKnownBaudRate(stored.baudRate) ? stored.baudRate : 38400));
    if (!c.device.isEmpty()) {
        if (!QFileInfo::exists(c.device)) {
            printReason(c.device + QStringLiteral(": no such device."));
            return false;
        }
        serial.setDevicePath(c.device);
    } else {
        serial.setPortNumber(c.port.value_or(stored.portNumber));
    }
    QString error;
    if (!serial.open(&error)) {
        printReason(error);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // A reader of standard output that has gone is seen as a failed write.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexactl"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersionText));

    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments == QStringList{QStringLiteral("--version")}) {
        printOut(QStringLiteral("vexactl %1\n").arg(QString::fromLatin1(kVersionText)).toUtf8());
        return ExitOk;
    }
    const Parsed parsed = parseCommandLine(arguments);
    if (!parsed.error.isEmpty()) {
        printUsageError(splitUsageError(parsed.error));
        return ExitUsage;
    }
    const Invocation &invocation = parsed.invocation;
    if (invocation.help) {
        printOut(helpText(invocation.helpTopic).toUtf8());
        return ExitOk;
    }

    // The window's settings are read, never written.
    const LoadedSettings loaded = loadSettings();
    if (!loaded.problem.isEmpty())
        printError(printableText(loaded.problem));
    TerminalPrompt prompt(invocation.yes);
    ReaderSession session(prompt);
    session.options() = loaded.settings.options;
    if (!invocation.connection.address.isEmpty()) {
        session.options().addressReader = true;
        session.options().readerSerialNumber = invocation.connection.address;
    }
    if (invocation.connection.timeoutMs)
        session.link().setResponseTimeout(*invocation.connection.timeoutMs);
    session.setTraceFrames(invocation.frames);

    session.link().setFastCompletion(invocation.fast);
    StopSignal stopper;
    g_stopper = &stopper;
    // A reader of standard output that has gone (`| head -n 1`) ends the
    // run as SIGTERM does: the failed write says so, not a signal that
    // would end the program before the log and the summary are written.
    setOutputFailedHandler([&stopper] { stopper.raise(); });

    // Options alone need no reader: they would only last for this run.
    if (invocation.action->kind == Action::Kind::IsoOptions) {
        changeIsoOptions(session.options(), invocation);
        session.end();
        return ExitOk;
    }
    // A firmware file that cannot be sent is refused before the port opens.
    if (invocation.action->kind == Action::Kind::Firmware) {
        if (const QString refusal = FirmwareRun::refusal(invocation.action->text, invocation.yes); !refusal.isEmpty()) {
            printReason(refusal);
            session.end();
            return ExitUsage;
        }
    }
    if (!connectReader(session, prompt, invocation.connection, loaded.settings)) {
        session.end();
        return ExitNoDevice;
    }
    int code = ExitOk;
    if (invocation.action->kind == Action::Kind::Run) {
        code = runScript(session, prompt, invocation);
    } else if (invocation.action->kind == Action::Kind::Firmware) {
        FirmwareRun firmware(session, prompt, invocation.action->text);
        QObject::connect(&stopper, &StopSignal::raised, &firmware, &FirmwareRun::requestStop);
        if (firmware.start(&code))
            code = QCoreApplication::exec();
    } else {
        std::unique_ptr<CommandRun> run;
        run = std::make_unique<CommandRun>(session, prompt, invocation,
                                           [](int status) { QCoreApplication::exit(status); });
        QObject::connect(&stopper, &StopSignal::raised, run.get(), &CommandRun::requestStop);
        if (run->start(&code))
            code = QCoreApplication::exec();
        if (code != ExitOk)
            printReason(invocation.action->name + QStringLiteral(": ") + run->reason());
    }
    session.end();
    if (!invocation.logFile.isEmpty()) {
        const QByteArray csv =
            tagcsv::text(session.tagLog(), QDateTime::currentMSecsSinceEpoch(), QTimeZone::systemTimeZone());
        const QString problem = replaceFile(invocation.logFile, csv);
        if (!problem.isEmpty()) {
            printReason(QStringLiteral("the tag log could not be written to %1: %2").arg(invocation.logFile, problem));
            code = std::max(code, int(ExitUsage));
        }
    }
    // A reader that went away wanted no more; any other failure lost output.
    if (outputError() && outputError() != EPIPE) {
        printReason(QStringLiteral("standard output: ") + QString::fromLocal8Bit(std::strerror(outputError())));
        code = std::max(code, int(ExitUsage));
    }
    return code;
}

#include "main.moc"
