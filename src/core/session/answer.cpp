// VexaHost - judging an exchange and its JSON form.
#include "answer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "core/codecs/management.h"

namespace vexa {

void judgeAnswer(Answer &answer, const FrameView &frame, const FrameView &request)
{
    const bool statusCounts = request.available() < 6 || request.code() != mgmt::Test;
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
    answer.tags.clear();
    setErrorHeading(answer.report, QStringLiteral("Message timeout"));
    answer.error = answer.report.failureText;
}

void judgeNoValidAnswer(Answer &answer)
{
    // The message lines show what came.
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

QByteArray answerJson(const Answer &answer, const QString &command)
{
    static const char *const statusNames[] = {"ok", "error", "timeout", "bad-answer"};
    QJsonObject o;
    o.insert(QStringLiteral("command"), command);
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

} // namespace vexa
