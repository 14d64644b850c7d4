// VexaHost - one exchange's outcome as every front end renders it: made
// once from the answer frame (or its absence) by the codecs, never decoded
// again by whoever shows it.
#pragma once

#include <optional>
#include <QByteArray>
#include <QList>
#include <QString>

#include "core/codecs/tagcodec.h"
#include "core/wire/reception.h"
#include "core/wire/report.h"

namespace vexa {

struct Answer
{
    enum class Status { Ok, ReaderError, NoAnswer, BadAnswer };
    // The family the answer was reported as: the command's, or the page in
    // view where a window asked for that rule.
    ResponseFamily family = ResponseFamily::Management;
    Status status = Status::Ok;
    std::optional<int> statusByte; // when an answer frame was judged
    QString error;                 // the reader's error text, or why nothing usable came
    Report report;                 // heading, lines and the decoded fields
    QList<TagSighting> tags;       // the UIDs and block values the answer names
};

// Judges an answer frame by its status byte and by the report written for
// it (already in `answer.report`): ReaderError when the reader refused, by
// its status byte or by the error the report tells of (an inventory's error
// byte), BadAnswer when the report found the answer unsound. `request` is
// the frame the answer is for: the self test's status byte is its result,
// not the reader's refusal, and is not judged.
void judgeAnswer(Answer &answer, const FrameView &frame, const FrameView &request);
// Nothing came within the time-out: "Error: Message timeout".
void judgeTimeout(Answer &answer);
// Bytes came, but no sound answer frame.
void judgeNoValidAnswer(Answer &answer);
// Why an answer failed, in a few words; empty for Ok.
QString failureReason(const Answer &answer);

// One line of JSON without its newline: `command` names what was sent.
// The field names are documented in vexactl(1).
QByteArray answerJson(const Answer &answer, const QString &command);

} // namespace vexa
