// vexa-agent - one configured reader: its session, opened and kept open,
// the schedule as the session's Repeat cycle, the broker's commands run
// between two of its exchanges, and its tag events made into messages.
//
//   Closed    not open; a timer tries again every kRetryMs
//   Opening   open, the version command out: the reader's identity, and
//             the proof that something answers
//   Running   the schedule repeats; commands wait for the cycle to pause
//   Stopped   stop() was called; nothing more happens
//
// The device counts as gone (status offline, session closed, the retry
// timer on) when the interface refuses a frame (the port went), the USB
// library reports the reader removed, or kSilentLimit exchanges in a row
// get no answer at all.
//
// A command's id is remembered with its reply for kCommandMemoryMs: the
// same id again (QoS 1 may deliver a command twice, after a reconnect) is
// answered with the first reply, and the command does not run again.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QTimer>

#include "agent/agentcommand.h"
#include "agent/agentconfig.h"
#include "core/session/readersession.h"
#include "core/session/tagevents.h"
#include "core/util/operatorprompt.h"

namespace vexa::agent {

// Nobody answers the session's questions: messages go to the log, and a
// question is answered yes only while a command the configuration allowed
// is being sent.
class LogPrompt : public OperatorPrompt
{
public:
    explicit LogPrompt(QString reader) : m_reader(std::move(reader)) {}
    void message(Kind kind, const QString &text) override;
    bool confirm(const QString &text) override;
    bool consent = false;

private:
    QString m_reader;
};

// One line on standard error (the journal under systemd).
void logLine(const QString &text);

class ReaderAgent : public QObject
{
    Q_OBJECT
public:
    enum class State { Closed, Opening, Running, Stopped };

    static constexpr int kRetryMs = 3000;
    static constexpr int kSilentLimit = 3;
    static constexpr int kCommandQueueLimit = 32;
    // Well under the 256 kB some brokers take at most.
    static constexpr int kLargestMessage = 64 * 1024;
    // Longer than any broker's redelivery after a reconnect; the oldest id
    // goes first when more are remembered.
    static constexpr qint64 kCommandMemoryMs = 10 * 60 * 1000;
    static constexpr int kCommandMemoryLimit = 1024;

    // `runId` is the agent start's; the reader's messages are numbered on
    // from `lastSeq`.
    ReaderAgent(const ReaderConfig &config, int absenceMs, qint64 runId, quint64 lastSeq = 0,
                QObject *parent = nullptr);
    ~ReaderAgent() override;

    const ReaderConfig &config() const { return m_config; }
    State state() const { return m_state; }
    quint64 lastSeq() const { return m_seq; }
    bool online() const { return m_online; }

    void start();
    // The cycle paused and the port closed; no signal after this.
    void stop();

    // A command from the broker; its reply comes through replyReady().
    void command(const QByteArray &payload);

    // The event messages of one batch of events (more than one only for a
    // batch too large for one message), each with its own sequence number.
    static QList<QByteArray> eventMessages(const QString &reader, qint64 runId, quint64 &seq,
                                           const QList<QJsonObject> &events);

signals:
    void onlineChanged(bool online);
    void eventsReady(const QList<QByteArray> &messages);
    void replyReady(const QByteArray &payload);

private:
    struct Work
    {
        QJsonValue id; // the broker's correlation id, as it came
        AgentCommand command;
        bool reply = true; // false: an arrival's block read
    };
    enum class Expect { Nothing, Version, Schedule, Work };

    void open();
    void lost(const QString &why);
    void setOnline(bool online);
    void startSchedule();
    void sendSchedule();
    void onAnswered(const Answer &answer);
    void onCycleState(CommandCycle::State state);
    void onTagEvents(const QList<TagEvent> &batch);
    void enqueue(Work work);
    void runWork();
    void reply(const QJsonValue &id, QJsonObject object);
    void refuse(const QJsonValue &id, const QString &status, const QString &reason);
    // True when `id` came before (its reply is sent again, or will be).
    bool repeated(const QJsonValue &id);

    struct Remembered
    {
        qint64 atMs = 0;
        QByteArray reply; // empty while the command runs
        int repeats = 0;  // deliveries waiting for it
    };

    ReaderConfig m_config;
    LogPrompt m_prompt;
    ReaderSession m_session;
    AgentCommand m_schedule;
    QTimer m_retry;
    State m_state = State::Closed;
    Expect m_expect = Expect::Nothing;
    bool m_online = false;
    bool m_pausing = false;
    int m_silent = 0;
    QString m_lastProblem; // logged once, not at every retry
    QList<Work> m_work;
    std::optional<Work> m_current;
    quint64 m_seq = 0;
    qint64 m_runId = 0;
    QElapsedTimer m_clock;
    QHash<QByteArray, Remembered> m_remembered; // by the id's JSON
    QList<QByteArray> m_rememberedOrder;        // oldest first
};

} // namespace vexa::agent
