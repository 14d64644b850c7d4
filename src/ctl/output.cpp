// vexactl - report text and JSON lines.
#include "output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "core/codecs/isooptions.h"
#include "ctl/commandline.h"

namespace vexa::ctl {

QStringList reportTextLines(const Report &report, const QString &clockText)
{
    // The pane's block for a report, in its reading order; the separator the
    // pane puts above a report falls below it when the newest come last.
    QStringList lines;
    if (report.heading)
        lines << clockText + QStringLiteral(" -  ") + *report.heading;
    else if (report.separator)
        lines << QString();
    lines << report.lines;
    if (report.heading && report.separator)
        lines << QString();
    return lines;
}

int exitCodeFor(Answer::Status status)
{
    switch (status) {
    case Answer::Status::Ok: return ExitOk;
    case Answer::Status::ReaderError: return ExitReaderError;
    case Answer::Status::NoAnswer:
    case Answer::Status::BadAnswer: return ExitNoAnswer;
    }
    return ExitNoAnswer;
}

void judgeAnswer(Answer &answer, const FrameView &frame, bool statusCounts)
{
    answer.statusByte = frame.status();
    const Report &report = answer.report;
    if (report.failure == Report::Failure::Unsound) {
        answer.status = Answer::Status::BadAnswer;
        answer.error = report.failureText;
    } else if (report.failure == Report::Failure::Refused) {
        answer.status = Answer::Status::ReaderError;
        answer.error = report.failureText;
    } else if (statusCounts && frame.status() != 0) {
        // Reports that show no error of their own (a version read, say).
        answer.status = Answer::Status::ReaderError;
        answer.error = statusErrorText(frame);
    }
}

void judgeTimeout(Answer &answer)
{
    answer.status = Answer::Status::NoAnswer;
    answer.statusByte.reset();
    answer.report = Report{};
    setErrorHeading(answer.report, QStringLiteral("Message timeout"));
    answer.error = answer.report.failureText;
}

void judgeNoValidAnswer(Answer &answer)
{
    // The message lines (--frames) show what came.
    answer.status = Answer::Status::BadAnswer;
    answer.statusByte.reset();
    answer.error = QStringLiteral("no valid answer");
}

QString failureReason(const Answer &answer)
{
    switch (answer.status) {
    case Answer::Status::Ok: return {};
    case Answer::Status::ReaderError: {
        const QString status = QStringLiteral("the reader answered with error status %1").arg(answer.statusByte.value_or(0));
        return answer.error.isEmpty() ? status : status + QStringLiteral(": ") + answer.error;
    }
    case Answer::Status::NoAnswer: return QStringLiteral("no answer: ") + answer.error;
    case Answer::Status::BadAnswer: return QStringLiteral("bad answer: ") + answer.error;
    }
    return {};
}

QStringList isoOptionsTextLines(const ReaderOptions &options)
{
    return isoOptionLines(options);
}

QByteArray isoOptionsJson(const ReaderOptions &options)
{
    static const char *const keys[] = {"downlinkMode", "readSpeed", "txModulation", "rxModulation", "blockLength"};
    QJsonObject values;
    for (size_t i = 0; i < kIsoOptions.size(); ++i)
        values.insert(QLatin1String(keys[i]), isoOptionItems(kIsoOptions[i]).value(isoOptionItem(options, kIsoOptions[i])));
    QJsonObject o;
    o.insert(QStringLiteral("command"), QStringLiteral("iso-options"));
    o.insert(QStringLiteral("status"), QStringLiteral("ok"));
    o.insert(QStringLiteral("lines"), QJsonArray::fromStringList(isoOptionLines(options)));
    o.insert(QStringLiteral("isoOptions"), values);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray answerJson(const Answer &answer)
{
    static const char *const statusNames[] = {"ok", "error", "timeout", "bad-answer"};
    QJsonObject o;
    o.insert(QStringLiteral("command"), answer.command);
    o.insert(QStringLiteral("status"), QLatin1String(statusNames[int(answer.status)]));
    if (answer.statusByte)
        o.insert(QStringLiteral("statusByte"), *answer.statusByte);
    // An error without text (a tag error code beyond the list) is still one.
    if (answer.status != Answer::Status::Ok)
        o.insert(QStringLiteral("error"), answer.error);
    if (answer.report.heading)
        o.insert(QStringLiteral("heading"), *answer.report.heading);
    o.insert(QStringLiteral("lines"), QJsonArray::fromStringList(answer.report.lines));
    // The decoded values, beside the names above.
    const QJsonObject fields = QJsonObject::fromVariantMap(answer.report.fields);
    for (auto it = fields.begin(); it != fields.end(); ++it)
        o.insert(it.key(), it.value());
    if (!answer.tags.isEmpty()) {
        QJsonArray tags;
        for (const TagSighting &tag : answer.tags) {
            QJsonObject t;
            t.insert(QStringLiteral("uid"), tag.id);
            if (!tag.blocks.isEmpty()) {
                QJsonObject blocks;
                for (const auto &[block, value] : tag.blocks)
                    blocks.insert(QString::number(block), value);
                t.insert(QStringLiteral("blocks"), blocks);
            }
            tags.append(t);
        }
        o.insert(QStringLiteral("tags"), tags);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace vexa::ctl
