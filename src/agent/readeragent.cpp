// vexa-agent - one reader's session, schedule, commands and events.
#include "agent/readeragent.h"

#include <cstdio>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>

#include "core/codecs/management.h"

namespace vexa::agent {

void logLine(const QString &text)
{
    std::fputs((QStringLiteral("vexa-agent: ") + text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void LogPrompt::message(Kind kind, const QString &text)
{
    Q_UNUSED(kind);
    logLine(QStringLiteral("%1: %2").arg(m_reader, text.simplified()));
}

bool LogPrompt::confirm(const QString &text)
{
    logLine(QStringLiteral("%1: %2 %3").arg(m_reader, text.simplified(),
                                            consent ? QStringLiteral("(yes: allowed)") : QStringLiteral("(no)")));
    return consent;
}

ReaderAgent::ReaderAgent(const ReaderConfig &config, int absenceMs, qint64 runId, quint64 lastSeq,
                         QObject *parent)
    : QObject(parent), m_config(config), m_prompt(config.name), m_session(m_prompt), m_seq(lastSeq), m_runId(runId)
{
    m_clock.start();
    m_schedule = parseAgentCommand(config.command, 0);
    m_session.setTagAbsence(absenceMs);
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &ReaderAgent::open);
    connect(&m_session, &ReaderSession::answered, this, &ReaderAgent::onAnswered);
    connect(&m_session, &ReaderSession::cycleStateChanged, this, &ReaderAgent::onCycleState);
    connect(&m_session, &ReaderSession::tagEvents, this, &ReaderAgent::onTagEvents);
    // The USB library tells of a removal at once; waiting for time-outs
    // would leave the reader "online" for seconds.
    connect(&m_session, &ReaderSession::connectionChanged, this, [this](const ReaderSession::ConnectionState &c) {
        if (c.kind == ReaderSession::ConnectionState::Kind::UsbRemoved)
            QTimer::singleShot(0, this, [this] { lost(QStringLiteral("the USB reader was removed")); });
    });
}

ReaderAgent::~ReaderAgent()
{
    stop();
}

void ReaderAgent::start()
{
    if (m_state == State::Closed && !m_retry.isActive())
        open();
}

void ReaderAgent::stop()
{
    if (m_state == State::Stopped)
        return;
    const bool wasOpen = m_state != State::Closed;
    m_state = State::Stopped;
    m_retry.stop();
    m_session.pause();
    if (wasOpen)
        m_session.end();
    m_online = false;
}

void ReaderAgent::open()
{
    if (m_state != State::Closed)
        return;
    ReaderSession::Settings settings;
    settings.usb = m_config.interface == ReaderConfig::Interface::Usb;
    settings.baudRate = m_config.baud;
    if (m_config.interface == ReaderConfig::Interface::Serial)
        settings.portNumber = m_config.port.mid(3).toInt();
    QString error;
    if (!m_session.beginAtRate(settings, m_config.device, &error)) {
        if (error.isEmpty())
            error = QStringLiteral("the USB reader is not there");
        if (error != m_lastProblem)
            logLine(QStringLiteral("%1: %2 (trying again every %3 s)").arg(m_config.name, error).arg(kRetryMs / 1000));
        m_lastProblem = error;
        m_session.end();
        m_retry.start();
        return;
    }
    m_session.setAddressing(m_config.addressing);
    m_session.setFastCompletion(m_config.fast);
    m_state = State::Opening;
    m_silent = 0;
    m_expect = Expect::Version;
    if (!m_session.send(ManagementCommand{mgmt::GetVersion}).sent())
        lost(m_session.lastSendFailure());
}

void ReaderAgent::lost(const QString &why)
{
    if (m_state == State::Stopped || m_state == State::Closed)
        return;
    const QString text = why.isEmpty() ? QStringLiteral("the reader does not answer") : why.simplified();
    if (text != m_lastProblem)
        logLine(QStringLiteral("%1: %2 (closed; trying again every %3 s)").arg(m_config.name, text).arg(kRetryMs / 1000));
    m_lastProblem = text;
    m_state = State::Closed;
    m_expect = Expect::Nothing;
    m_pausing = false;
    m_session.pause();
    m_session.stopAwaitingAnswer();
    m_session.end();
    // Block reads of tags that arrived belong to this connection; the
    // broker's commands are told, not kept for a reader that may not return.
    if (m_current && m_current->reply)
        refuse(m_current->id, QStringLiteral("failed"), QStringLiteral("the reader was lost: ") + text);
    m_current.reset();
    for (const Work &work : std::exchange(m_work, {}))
        if (work.reply)
            refuse(work.id, QStringLiteral("failed"), QStringLiteral("the reader was lost: ") + text);
    setOnline(false);
    m_retry.start();
}

void ReaderAgent::setOnline(bool online)
{
    if (online == m_online)
        return;
    m_online = online;
    if (online) {
        logLine(QStringLiteral("%1: online").arg(m_config.name));
        m_lastProblem.clear();
    }
    emit onlineChanged(online);
}

void ReaderAgent::startSchedule()
{
    m_state = State::Running;
    if (!m_schedule.command) {
        // A configuration that was not checked: the reader takes commands only.
        logLine(QStringLiteral("%1: the schedule \"%2\": %3").arg(m_config.name, m_config.command, m_schedule.refusal));
        return;
    }
    m_session.setRepeatInterval(m_config.intervalMs);
    m_session.setRepeatMode(true);
    m_expect = Expect::Schedule;
    if (m_session.cycleState() == CommandCycle::State::Idle)
        m_session.go([this] { sendSchedule(); });
}

void ReaderAgent::sendSchedule()
{
    m_expect = Expect::Schedule;
    const SendResult result = m_session.send(*m_schedule.command);
    if (!result.sent())
        QTimer::singleShot(0, this, [this] { lost(m_session.lastSendFailure()); });
}

void ReaderAgent::onAnswered(const Answer &answer)
{
    if (m_state == State::Stopped || m_state == State::Closed)
        return;
    // Any answer frame at all is a reader that is there.
    m_silent = answer.status == Answer::Status::NoAnswer ? m_silent + 1 : 0;
    const Expect expected = std::exchange(m_expect, Expect::Nothing);
    if (expected == Expect::Version) {
        if (answer.status != Answer::Status::Ok) {
            // The retry goes on until a reader answers its version.
            QTimer::singleShot(0, this, [this, why = failureReason(answer)] { lost(why); });
            return;
        }
        setOnline(true);
        QTimer::singleShot(0, this, [this] {
            if (m_state != State::Opening)
                return;
            m_state = State::Running;
            if (!m_work.isEmpty())
                runWork();
            else
                startSchedule();
        });
        return;
    }
    if (m_silent >= kSilentLimit) {
        QTimer::singleShot(0, this, [this, why = failureReason(answer)] { lost(why); });
        return;
    }
    if (answer.statusByte)
        setOnline(true);
    if (expected == Expect::Schedule) {
        // Told before Repeat's re-send: the interval still runs, then the
        // cycle goes on unless a command waits.
        m_expect = Expect::Schedule;
        return;
    }
    if (expected == Expect::Work && m_current) {
        const Work work = *std::exchange(m_current, std::nullopt);
        if (work.reply) {
            QJsonObject object = QJsonDocument::fromJson(answerJson(answer, work.command.name)).object();
            reply(work.id, object);
        }
        QTimer::singleShot(0, this, &ReaderAgent::runWork);
    }
}

void ReaderAgent::onCycleState(CommandCycle::State state)
{
    if (state != CommandCycle::State::Idle || m_state != State::Running)
        return;
    if (std::exchange(m_pausing, false)) {
        QTimer::singleShot(0, this, &ReaderAgent::runWork);
        return;
    }
    // Not paused by us: the interface refused a re-send.
    if (!m_current && m_expect == Expect::Schedule)
        QTimer::singleShot(0, this, [this] { lost(m_session.lastSendFailure()); });
}

void ReaderAgent::command(const QByteArray &payload)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    const QJsonObject object = document.object();
    // Any JSON value the client chose comes back as it was.
    const QJsonValue id = object.value(QStringLiteral("id"));
    if (repeated(id))
        return;
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        refuse(id, QStringLiteral("refused"), QStringLiteral("the command is not a JSON object"));
        return;
    }
    const QJsonValue text = object.value(QStringLiteral("command"));
    if (!text.isString()) {
        refuse(id, QStringLiteral("refused"), QStringLiteral("\"command\" must be a command line as a string"));
        return;
    }
    Work work{id, parseAgentCommand(text.toString(), m_config.allow), true};
    if (!work.command.command) {
        refuse(id, QStringLiteral("refused"), work.command.refusal);
        return;
    }
    if (m_state != State::Running && m_state != State::Opening) {
        refuse(id, QStringLiteral("failed"), QStringLiteral("the reader is offline"));
        return;
    }
    if (m_work.size() >= kCommandQueueLimit) {
        refuse(id, QStringLiteral("busy"), QStringLiteral("%1 commands are waiting already").arg(m_work.size()));
        return;
    }
    enqueue(std::move(work));
}

void ReaderAgent::onTagEvents(const QList<TagEvent> &batch)
{
    if (batch.isEmpty())
        return;
    QList<QJsonObject> events;
    const ReaderIdentity identity = m_session.readerIdentity();
    const QTimeZone zone = QTimeZone::systemTimeZone();
    for (const TagEvent &event : batch) {
        events << tagEventJson(event, identity, zone);
        if (event.kind != TagEvent::Kind::Arrive || m_config.arrivalFirstBlock < 0)
            continue;
        const int count = m_config.arrivalLastBlock - m_config.arrivalFirstBlock + 1;
        QString words;
        if (event.family == ResponseFamily::Iso15693)
            words = QStringLiteral("iso15693 read %1 --count %2 --uid %3");
        else if (event.family == ResponseFamily::Tagit)
            words = QStringLiteral("tagit read %1 --count %2 --tag %3");
        else
            continue;
        Work work{QJsonValue(), parseAgentCommand(words.arg(m_config.arrivalFirstBlock).arg(count).arg(event.tag), 0),
                  false};
        if (work.command.command && m_work.size() < kCommandQueueLimit)
            enqueue(std::move(work));
    }
    emit eventsReady(eventMessages(m_config.name, m_runId, m_seq, events));
}

QList<QByteArray> ReaderAgent::eventMessages(const QString &reader, qint64 runId, quint64 &seq,
                                             const QList<QJsonObject> &events)
{
    QList<QByteArray> messages;
    QJsonArray part;
    qint64 partBytes = 0;
    const auto flush = [&] {
        QJsonObject message{{QStringLiteral("reader"), reader},
                            {QStringLiteral("run"), runId},
                            {QStringLiteral("seq"), qint64(++seq)},
                            {QStringLiteral("events"), part}};
        messages << QJsonDocument(message).toJson(QJsonDocument::Compact);
        part = {};
        partBytes = 0;
    };
    // Room for the envelope; an event is a few hundred bytes at most.
    constexpr qint64 kRoom = kLargestMessage - 256;
    for (const QJsonObject &event : events) {
        const qint64 bytes = QJsonDocument(event).toJson(QJsonDocument::Compact).size() + 1;
        if (!part.isEmpty() && partBytes + bytes > kRoom)
            flush();
        part.append(event);
        partBytes += bytes;
    }
    if (!part.isEmpty())
        flush();
    return messages;
}

void ReaderAgent::enqueue(Work work)
{
    m_work.append(std::move(work));
    if (m_state != State::Running || m_current || m_pausing)
        return;
    if (m_session.cycleState() == CommandCycle::State::Idle) {
        QTimer::singleShot(0, this, &ReaderAgent::runWork);
        return;
    }
    // Between two of the schedule's exchanges: the one in flight ends first.
    m_pausing = true;
    m_session.pause();
}

void ReaderAgent::runWork()
{
    if (m_state != State::Running || m_current || m_pausing)
        return;
    if (m_session.cycleState() != CommandCycle::State::Idle || m_session.awaitingAnswer())
        return; // the cycle's Idle or the answer brings us back
    if (m_work.isEmpty()) {
        startSchedule();
        return;
    }
    m_current = m_work.takeFirst();
    m_expect = Expect::Work;
    // The link repeats what it sent last while Repeat is on: a command
    // goes out once.
    m_session.setRepeatMode(false);
    m_prompt.consent = m_current->command.needsConsent;
    const SendResult result = m_session.send(*m_current->command.command);
    m_prompt.consent = false;
    if (result.sent())
        return;
    m_expect = Expect::Nothing;
    const Work work = *std::exchange(m_current, std::nullopt);
    const QString why = result.refusal.isEmpty() ? m_session.lastSendFailure() : result.refusal;
    if (work.reply)
        refuse(work.id, result.outcome == SendResult::Outcome::Failed ? QStringLiteral("failed")
                                                                       : QStringLiteral("refused"),
               why.isEmpty() ? QStringLiteral("nothing was sent") : why.simplified());
    if (result.outcome == SendResult::Outcome::Failed) {
        lost(why);
        return;
    }
    QTimer::singleShot(0, this, &ReaderAgent::runWork);
}

// The id as a key: 1 and "1" are two ids.
static QByteArray idKey(const QJsonValue &id)
{
    return QJsonDocument(QJsonArray{id}).toJson(QJsonDocument::Compact);
}

bool ReaderAgent::repeated(const QJsonValue &id)
{
    if (id.isUndefined())
        return false;
    const qint64 now = m_clock.elapsed();
    while (!m_rememberedOrder.isEmpty()
           && (m_rememberedOrder.size() >= kCommandMemoryLimit
               || now - m_remembered.value(m_rememberedOrder.first()).atMs > kCommandMemoryMs))
        m_remembered.remove(m_rememberedOrder.takeFirst());
    const QByteArray key = idKey(id);
    const auto found = m_remembered.find(key);
    if (found == m_remembered.end()) {
        m_remembered.insert(key, Remembered{now, {}, 0});
        m_rememberedOrder.append(key);
        return false;
    }
    logLine(QStringLiteral("%1: the command %2 came again; answered with its first reply")
                .arg(m_config.name, QString::fromUtf8(key.mid(1, key.size() - 2)).left(64)));
    if (found->reply.isEmpty())
        ++found->repeats;
    else
        emit replyReady(found->reply);
    return true;
}

void ReaderAgent::reply(const QJsonValue &id, QJsonObject object)
{
    if (!id.isUndefined())
        object.insert(QStringLiteral("id"), id);
    const QByteArray payload = QJsonDocument(object).toJson(QJsonDocument::Compact);
    int copies = 1;
    if (const auto found = m_remembered.find(idKey(id)); !id.isUndefined() && found != m_remembered.end()) {
        found->reply = payload;
        copies += std::exchange(found->repeats, 0);
    }
    for (int i = 0; i < copies; ++i)
        emit replyReady(payload);
}

void ReaderAgent::refuse(const QJsonValue &id, const QString &status, const QString &reason)
{
    reply(id, {{QStringLiteral("status"), status}, {QStringLiteral("reason"), reason}});
}

} // namespace vexa::agent
