// vexactl - one command and its Repeat: the sending as the window's pages
// and menus send, the judging of each answer, the summary.
#include "commandrun.h"

#include <algorithm>
#include <utility>

#include "core/codecs/configframes.h"
#include "core/codecs/iso14443.h"
#include "core/codecs/iso15693.h"
#include "core/codecs/management.h"
#include "core/codecs/tagit.h"
#include "core/link/readerlink.h"
#include "core/wire/framecheck.h"
#include "ctl/terminal.h"

namespace vexa::ctl {

CommandRun::CommandRun(ReaderSession &session, TerminalPrompt &prompt, const Invocation &invocation,
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

bool CommandRun::start(int *exitCode)
{
    if (!send(exitCode)) {
        m_reason = std::exchange(m_refusal, {});
        return false;
    }
    m_inFlight = true;
    return true;
}

void CommandRun::requestStop()
{
    m_stopRequested = true;
    if (!m_inFlight) {
        m_pause.stop();
        end();
    }
}

// Sends the command; false with the exit status and m_refusal when
// nothing was sent. What the session says meanwhile is the refusal.
bool CommandRun::send(int *exitCode)
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

bool CommandRun::sendHeld(int *exitCode)
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
bool CommandRun::sendTagRequest(const Request &request, Check check, Confirmation confirmation, Build build,
                                int *exitCode)
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

bool CommandRun::confirmed(const QString &question, int *exitCode)
{
    if (question.isEmpty() || m_invocation.yes)
        return true;
    m_refusal = question + QStringLiteral(" Not sent; give --yes to confirm.");
    *exitCode = ExitUsage;
    return false;
}

void CommandRun::onTagResponse(ResponseFamily family, const FrameView &frame)
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

void CommandRun::finish()
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

void CommandRun::sendNext()
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

void CommandRun::end()
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

void changeIsoOptions(ReaderOptions &options, const Invocation &invocation)
{
    applyIsoOptions(*invocation.action, options);
    if (invocation.json)
        printOut(isoOptionsJson(options) + '\n');
    else
        printOut((isoOptionsTextLines(options).join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

} // namespace vexa::ctl
