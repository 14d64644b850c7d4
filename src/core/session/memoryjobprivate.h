// VexaHost - the memory job's state and the pieces its files share (not
// for front ends: memoryjob.h is the interface).
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <QMap>

#include "core/session/answer.h"
#include "core/session/command.h"
#include "core/session/memoryjob.h"

namespace vexa {

namespace memoryjob {

// View Many Blocks carries at most this many; the lock status is read in
// ranges as long, so that no answer outgrows the reader's buffer.
constexpr int kChunk = 32;

// "0, 3, 5"
QString numberList(const QList<int> &list);
// Why an answer is no use, in a few words; empty when it is.
QString answerProblem(const Answer &answer);
// Requests that carry the tag's UID (or address).
iso15693::Request isoRequest(int command, const QString &uid, int block = 0, int count = 1);
tagit::Request tagitRequest(int command, const QString &address, int block = 0, int count = 1);

} // namespace memoryjob

struct MemoryJob::Private
{
    struct Step
    {
        std::function<Command()> command; // empty: a step of the job's own, no exchange
        std::function<void(const Answer &)> answered;
        QString text; // progress
    };

    ReaderSession &session;
    std::deque<Step> steps;
    MemoryJobResult result;
    bool inFlight = false;
    Answer::Status lastStatus = Answer::Status::Ok;
    bool cancelled = false;
    bool ended = false;
    int done = 0;
    int total = 0;
    int savedBlockLength = 0;
    std::optional<TagPage> savedPage;
    QString uid; // as shown: the ISO UID or Tag-it address every command carries
    tagdump::RestorePlan plan;
    QMap<int, QByteArray> expected; // written blocks: what they should read back

    explicit Private(ReaderSession &s) : session(s) {}
};

} // namespace vexa
