// vexactl - report text and JSON lines.
#include "output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "config/isooptions.h"
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
    if (answer.status == Answer::Status::Ok || answer.status == Answer::Status::ReaderError)
        o.insert(QStringLiteral("statusByte"), answer.statusByte);
    if (!answer.error.isEmpty())
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
