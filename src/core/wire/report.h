// VexaHost - a report as it will stand in the "Reader Response" pane.
//
// The pane shows the newest report first. A report is written as: an optional
// empty separator line at the top, then the heading (time-stamped, bold
// italic) above it, then detail lines directly under the heading. `lines`
// holds the detail lines in the order they read on screen, top to bottom.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "frameview.h"

namespace vexa {

struct Report
{
    bool separator = false;           // empty line put at the top before the heading
    std::optional<QString> heading;   // text after the time stamp
    QStringList lines;                // detail lines, top to bottom
    // The values the lines were written from, under stable names, for
    // callers that want them as data (vexactl's JSON). Filled by the same
    // code that writes the lines.
    QVariantMap fields;
    // What went wrong, for callers that judge the answer rather than show
    // it (vexactl's status and "error"), in the words the lines use: the
    // status error writer's text, or the text of an error heading for an
    // answer that is unsound in itself. Filled by the code that writes them.
    enum class Failure { None, Refused, Unsound };
    Failure failure = Failure::None;
    QString failureText;

    bool operator==(const Report &) const = default;
};

// One line of a report as it reads, top to bottom: the pane draws a
// heading in its own font; a program without a window prints the text.
struct ReportLine
{
    QString text;
    bool heading = false;
};
// A report's block under a time stamp such as " 12:00:00 ": with a heading,
// the heading, the details, then the separator that went on top before the
// heading went above it; without one, the separator, then the details.
QList<ReportLine> reportLines(const Report &report, const QString &clockText);

// Text for a non-zero status byte: tag error (1), reader error (2) or
// "Undefined error". Codes beyond the tables read "Undefined error".
QString statusErrorText(uint8_t status, uint8_t code);
// The text of an answer's error: its status byte with its error code, the
// first payload byte (never the command code). The pane and vexactl both
// take it from here.
QString statusErrorText(const FrameView &frame);

// What the status error writer adds under the heading: the error line, then
// an empty line.
void appendStatusError(Report &report, const FrameView &frame);

// A report that is an error in itself: the heading "Error: " + text.
void setErrorHeading(Report &report, const QString &text);

// An answer that only confirms a command: its heading, then on success one
// line (none when `line` is null), else the status error lines.
struct Acknowledgement
{
    uint8_t code;
    const char *heading;
    const char *line;
};

// Writes the acknowledgement report for the frame's code into `report`;
// false when the code is not in `table`.
bool reportAcknowledgement(std::span<const Acknowledgement> table, const FrameView &frame, Report &report);

} // namespace vexa
