// vexactl - what one answer prints: the report lines as the response pane
// shows them (read top to bottom, newest last), or one JSON object.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "config/readeroptions.h"
#include "link/report.h"
#include "tags/tagcodec.h"

namespace vexa::ctl {

// The lines of one report under a time stamp such as " 12:00:00 ".
QStringList reportTextLines(const Report &report, const QString &clockText);

// One exchange's outcome.
struct Answer
{
    enum class Status { Ok, ReaderError, NoAnswer, BadAnswer };
    QString command;
    Status status = Status::Ok;
    int statusByte = 0;
    QString error;            // the reader's error text, or why nothing usable came
    Report report;
    QList<TagSighting> tags;  // the UIDs and block values the answer names
};

// The exit status an answer gives.
int exitCodeFor(Answer::Status status);

// iso-options: the options in the dialog's words, as text lines or one
// line of JSON without its newline.
QStringList isoOptionsTextLines(const ReaderOptions &options);
QByteArray isoOptionsJson(const ReaderOptions &options);

// One line of JSON, without its newline.
QByteArray answerJson(const Answer &answer);

} // namespace vexa::ctl
