// vexactl - what one answer prints: the report lines as the response pane
// shows them (read top to bottom, newest last), or one JSON object.
#pragma once

#include <optional>
#include <QList>
#include <QString>
#include <QStringList>

#include "core/codecs/readeroptions.h"
#include "core/codecs/tagcodec.h"
#include "core/wire/report.h"

namespace vexa::ctl {

// The lines of one report under a time stamp such as " 12:00:00 ".
QStringList reportTextLines(const Report &report, const QString &clockText);

// One exchange's outcome.
struct Answer
{
    enum class Status { Ok, ReaderError, NoAnswer, BadAnswer };
    QString command;
    Status status = Status::Ok;
    std::optional<int> statusByte; // when an answer frame was judged
    QString error;            // the reader's error text, or why nothing usable came
    Report report;
    QList<TagSighting> tags;  // the UIDs and block values the answer names
};

// The exit status an answer gives.
int exitCodeFor(Answer::Status status);

// Judges an answer frame by its status byte and by the report the pane
// writes for it (already in `answer.report`): "error" when the reader
// refused, by its status byte or by the error the report tells of (an
// inventory's error byte), "bad-answer" when the report found the answer
// unsound. The error text is the pane's, from the same function. The test
// command's status byte is not judged (`statusCounts` false).
void judgeAnswer(Answer &answer, const FrameView &frame, bool statusCounts);
// Nothing came within the time-out: the pane's "Error: Message timeout".
void judgeTimeout(Answer &answer);
// Bytes came, but no sound answer frame.
void judgeNoValidAnswer(Answer &answer);
// Why an answer failed, in a few words for standard error; empty for "ok".
QString failureReason(const Answer &answer);

// iso-options: the options in the dialog's words, as text lines or one
// line of JSON without its newline.
QStringList isoOptionsTextLines(const ReaderOptions &options);
QByteArray isoOptionsJson(const ReaderOptions &options);

// One line of JSON, without its newline.
QByteArray answerJson(const Answer &answer);

} // namespace vexa::ctl
