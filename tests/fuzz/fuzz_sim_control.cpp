// Fuzz target: the simulator's control lines, as typed on its standard input.
//
// Every line goes through the parser the simulator uses; what a line asks of
// the tag field ("tag add/remove/clear/defaults/list") is carried out on a
// field of its own, and a "frame" line is built into the frame it would
// send. A line that is neither blank nor a comment must either parse or say
// why; a built frame must be a sound answer frame.
//
// Seeds: tests/fuzz/seeds/sim_control; dictionary: tests/fuzz/sim_control.dict.
#include <cstddef>
#include <cstdint>
#include <QString>
#include <QStringList>

#include "control.h"
#include "core/wire/reception.h"
#include "readermodel.h"
#include "tagcollection.h"
#include "tagline.h"

using namespace vexa::sim;

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void applyTag(const ControlCommand &command, TagCollection &field)
{
    switch (command.kind) {
    case ControlCommand::TagAdd: {
        const TagParse parsed = parseTagLine(command.text);
        require(parsed.tag.has_value() != !parsed.error.isEmpty());
        if (parsed.tag)
            (void)field.add(*parsed.tag);
        break;
    }
    case ControlCommand::TagRemove: (void)field.remove(command.text); break;
    case ControlCommand::TagClear: field.clear(); break;
    case ControlCommand::TagDefaults:
        field.clear();
        addDefaultTags(field);
        break;
    case ControlCommand::TagList:
        for (const Tag &tag : field.tags())
            require(!tagLine(tag).isEmpty());
        break;
    default: break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Lines as the simulator cuts them: at each newline, UTF-8, trimmed.
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    TagCollection field;
    for (const QByteArray &raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const ControlParse parsed = parseControlLine(line);
        if (!parsed.command) {
            const bool ignored = line.simplified().isEmpty() || line.simplified().startsWith(QLatin1Char('#'));
            require(ignored == parsed.error.isEmpty());
            // An error names what is wrong: never a bare "unknown ...: ".
            require(!parsed.error.endsWith(QLatin1String(": ")));
            continue;
        }
        require(parsed.error.isEmpty());
        const ControlCommand &command = *parsed.command;
        if (command.kind == ControlCommand::Frame) {
            const QByteArray frame = ReaderModel::responseFrame(command.status, command.code, command.bytes);
            require(vexa::blockCheck(reinterpret_cast<const uint8_t *>(frame.constData()), int(frame.size())));
        }
        applyTag(command, field);
        require(int(field.tags().size()) <= TagCollection::kMaxTags);
    }
    return 0;
}
