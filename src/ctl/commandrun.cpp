// vexactl - one command and its Repeat: the command as a value for the
// session, each answer printed as it comes, the summary.
#include "commandrun.h"

#include <algorithm>
#include <utility>

#include <QTimer>

#include "core/codecs/iso14443.h"
#include "ctl/terminal.h"

namespace vexa::ctl {

CommandRun::CommandRun(ReaderSession &session, TerminalPrompt &prompt, const Invocation &invocation,
                       std::function<void(int)> done)
    : m_session(session), m_prompt(prompt), m_invocation(invocation), m_done(std::move(done))
{
    m_clock.start();
    // The message view's lines: the frames and the USB connection notes.
    if (invocation.frames)
        connect(&session, &ReaderSession::messageLine, this, [](const QString &line) { printError(line); });
    connect(&session, &ReaderSession::answered, this, &CommandRun::onAnswered);
    connect(&session, &ReaderSession::cycleStateChanged, this, &CommandRun::onCycleState);
}

bool CommandRun::start(int *exitCode)
{
    // A rate change is two exchanges of its own, never a cycle.
    const bool cycle = m_invocation.action->kind != Action::Kind::Baud;
    const bool repeat = cycle && m_invocation.repeat != 1;
    m_session.setRepeatInterval(m_invocation.intervalMs);
    m_session.setRepeatMode(repeat);
    m_last = !repeat;
    bool sent = false;
    if (cycle)
        m_session.go([&] { sent = send(exitCode); });
    else
        sent = send(exitCode);
    if (!sent) {
        m_session.pause();
        m_reason = std::exchange(m_refusal, {});
        return false;
    }
    m_inFlight = true;
    return true;
}

void CommandRun::requestStop()
{
    m_stopRequested = true;
    m_last = true;
    m_session.pause();
    // Nothing in flight (Repeat's interval): the run ends now.
    if (!m_session.awaitingAnswer() && !m_session.changingBaud())
        end();
}

std::optional<Command> CommandRun::command() const
{
    const Action &action = *m_invocation.action;
    switch (action.kind) {
    case Action::Kind::Management: return ManagementCommand{action.code};
    case Action::Kind::Test: return ReaderTestCommand{};
    case Action::Kind::Iso15693: return action.iso;
    case Action::Kind::Tagit: return action.tagit;
    case Action::Kind::Iso14443: return Iso14443Command{iso14443::ReadUid};
    case Action::Kind::Wiegand: return WiegandCommand{action.number};
    case Action::Kind::Encryption: return EncryptionCommand{action.first, action.text, action.second};
    case Action::Kind::Feedback: return FeedbackCommand{action.first, action.second};
    case Action::Kind::Rf: return RfCommand{action.first};
    case Action::Kind::Led: return LedCommand{LedColour(action.number), action.text};
    case Action::Kind::Audio: return AudioCommand{action.text};
    case Action::Kind::Baud: return BaudCommand{action.number};
    case Action::Kind::Raw: return RawCommand{action.rawBody};
    case Action::Kind::IsoOptions: // changed before, never sent
    case Action::Kind::Run:        // a script runs its lines, never itself
    case Action::Kind::Firmware:
    case Action::Kind::Memory: break; // jobs of their own (memoryrun.h)
    }
    return std::nullopt;
}

// Sends the command; false with the exit status and m_refusal when nothing
// was sent. What the session says meanwhile is the refusal.
bool CommandRun::send(int *exitCode)
{
    const std::optional<Command> c = command();
    if (!c) {
        *exitCode = ExitUsage;
        m_refusal = QStringLiteral("nothing was sent");
        return false;
    }
    m_prompt.hold();
    const SendResult result = m_session.send(*c);
    const QStringList said = m_prompt.release();
    if (result.sent()) {
        for (const QString &text : said)
            printError(printableText(oneLine({text})));
        return true;
    }
    *exitCode = ExitUsage;
    if (result.outcome == SendResult::Outcome::Failed) {
        // The reason is out; a time-out after it would only mislead.
        m_session.stopAwaitingAnswer();
        *exitCode = ExitNoDevice;
    }
    m_refusal = !said.isEmpty()               ? oneLine(said)
                : !result.refusal.isEmpty() ? result.refusal
                                            : QStringLiteral("nothing was sent");
    return false;
}

void CommandRun::onAnswered(const Answer &answer)
{
    if (!m_inFlight || m_ended)
        return;
    // A failed write asks for the stop (the output handler): this
    // exchange still ends as usual.
    if (m_invocation.json) {
        printOut(answerJson(answer, m_invocation.action->name) + '\n');
    } else {
        QStringList lines;
        for (const ReportLine &line : reportLines(answer.report, m_session.clockText()))
            lines << line.text;
        if (!lines.isEmpty())
            printOut((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    }
    if (exitCodeFor(answer.status) > m_exitCode) {
        m_exitCode = exitCodeFor(answer.status);
        m_reason = failureReason(answer);
    }
    switch (answer.status) {
    case Answer::Status::Ok: break;
    case Answer::Status::ReaderError:
    case Answer::Status::BadAnswer: ++m_errors; break;
    case Answer::Status::NoAnswer: ++m_timeouts; break;
    }
    m_answers += answer.statusByte ? 1 : 0;
    // A rate change goes on with the setup read at the new rate.
    if (m_session.changingBaud())
        return;
    ++m_exchanges;
    if (m_invocation.repeat > 0 && m_exchanges >= m_invocation.repeat)
        m_last = true;
    if (!m_last)
        return;
    // Told before Repeat sends again: nothing more goes out.
    m_session.pause();
    m_inFlight = false;
    QTimer::singleShot(0, this, &CommandRun::end);
}

void CommandRun::onCycleState(CommandCycle::State state)
{
    // A re-send the interface refused has ended the cycle: nothing is in
    // flight and nothing will be.
    if (state == CommandCycle::State::Idle && m_inFlight && !m_session.awaitingAnswer() && !m_last) {
        m_inFlight = false;
        if (ExitNoDevice > m_exitCode) {
            m_exitCode = ExitNoDevice;
            m_reason = m_session.lastSendFailure();
        }
        QTimer::singleShot(0, this, &CommandRun::end);
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
