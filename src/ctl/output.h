// vexactl - the exit status of an answer and the iso-options output; an
// answer itself prints as the session's report lines or its JSON.
#pragma once

#include <optional>
#include <QList>
#include <QString>
#include <QStringList>

#include "core/codecs/readeroptions.h"
#include "core/codecs/tagcodec.h"
#include "core/session/answer.h"

namespace vexa::ctl {

// The exit status an answer gives.
int exitCodeFor(Answer::Status status);

// iso-options: the options in the dialog's words, as text lines or one
// line of JSON without its newline.
QStringList isoOptionsTextLines(const ReaderOptions &options);
QByteArray isoOptionsJson(const ReaderOptions &options);

} // namespace vexa::ctl
