// vexactl - report text and JSON lines.
#include "output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "core/codecs/isooptions.h"
#include "ctl/commandline.h"

namespace vexa::ctl {

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

} // namespace vexa::ctl
