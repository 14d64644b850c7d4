// VexaHost - reader error texts and the status error lines of a report.
#include "report.h"

#include <array>

namespace vexa {

namespace {

// Tag errors (status 1), by error code 0x00..0x1F.
QString tagErrorText(uint8_t code)
{
    switch (code) {
    case 0x00: return {};
    case 0x01: return QStringLiteral("Command not supported");
    case 0x02: return QStringLiteral("Command not recognized");
    case 0x03: return QStringLiteral("Command option not supported");
    case 0x0F: return QStringLiteral("Error - no information given");
    case 0x10: return QStringLiteral("Specified block not available");
    case 0x11: return QStringLiteral("Specified block already locked");
    case 0x12: return QStringLiteral("Specified block locked, contents cannot be changed");
    case 0x13: return QStringLiteral("Specified block was not successfully programmed");
    case 0x14: return QStringLiteral("Block not successfully locked");
    default: break;
    }
    if (code >= 0x04 && code <= 0x0E)
        return QStringLiteral("Undefined error");
    if (code >= 0x15 && code <= 0x1F)
        return {};
    return QStringLiteral("Undefined error"); // beyond the table
}

// Reader errors (status 2), by error code 0x00..0x0F.
QString readerErrorText(uint8_t code)
{
    static const std::array<const char *, 7> texts = {
        "", "Transponder not found", "Command not supported by reader", "Packet BCC invalid",
        "Undefined error", "General write failure", "Tag CRC error",
    };
    if (code < texts.size())
        return QString::fromLatin1(texts[code]);
    return QStringLiteral("Undefined error"); // 0x07..0x0F and beyond the table
}

} // namespace

QString statusErrorText(uint8_t status, uint8_t code)
{
    if (status == 1)
        return tagErrorText(code);
    if (status == 2)
        return readerErrorText(code);
    return QStringLiteral("Undefined error");
}

QString statusErrorText(const FrameView &frame)
{
    return statusErrorText(frame.status(), frame[6]);
}

void appendStatusError(Report &report, const FrameView &frame)
{
    const QString text = statusErrorText(frame);
    report.lines << QStringLiteral("    ") + text << QString();
    report.failure = Report::Failure::Refused;
    report.failureText = text;
}

QList<ReportLine> reportLines(const Report &report, const QString &clockText)
{
    QList<ReportLine> block;
    block.reserve(report.lines.size() + 2);
    if (report.heading)
        block.append({clockText + QStringLiteral(" -  ") + *report.heading, true});
    else if (report.separator)
        block.append({QString(), false});
    for (const QString &line : report.lines)
        block.append({line, false});
    if (report.heading && report.separator)
        block.append({QString(), false});
    return block;
}

void setErrorHeading(Report &report, const QString &text)
{
    report.heading = QStringLiteral("Error: ") + text;
    report.failure = Report::Failure::Unsound;
    report.failureText = text;
}

bool reportAcknowledgement(std::span<const Acknowledgement> table, const FrameView &frame, Report &report)
{
    for (const Acknowledgement &ack : table) {
        if (ack.code != frame.code())
            continue;
        report.heading = QString::fromLatin1(ack.heading);
        if (frame.status() != 0)
            appendStatusError(report, frame);
        else if (ack.line)
            report.lines << QStringLiteral("    ") + QString::fromLatin1(ack.line);
        return true;
    }
    return false;
}

} // namespace vexa
