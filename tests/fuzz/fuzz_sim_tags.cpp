// Fuzz target: a tag file of the simulator (--tags), and the tag lines of
// "tag add".
//
// The text is loaded as the simulator loads a file: on the first bad line it
// must stop with "NAME:LINE: why". Every tag that a line gives must be
// written back by tagLine() as a line that gives the same tag again.
//
// Seeds: tests/fuzz/seeds/sim_tags; dictionary: tests/fuzz/sim_tags.dict.
#include <cstddef>
#include <cstdint>
#include <QString>

#include "tagcollection.h"
#include "tagline.h"

using namespace vexa::sim;

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    TagCollection field;
    QString error;
    if (!loadTagText(text, QStringLiteral("fuzz.tags"), field, &error))
        require(error.startsWith(QLatin1String("fuzz.tags:")) && !error.endsWith(QLatin1String(": ")));
    else
        require(error.isEmpty());

    for (const Tag &tag : field.tags()) {
        const QString line = tagLine(tag);
        const TagParse again = parseTagLine(line);
        require(again.tag.has_value() && again.error.isEmpty());
        require(tagLine(*again.tag) == line);
    }

    // Each line on its own, as "tag add" hands it over.
    for (const QByteArray &raw : text.split('\n')) {
        const TagParse parsed = parseTagLine(QString::fromUtf8(raw));
        require(parsed.tag.has_value() != !parsed.error.isEmpty());
        if (parsed.tag)
            require(parseTagLine(tagLine(*parsed.tag)).tag.has_value());
    }
    return 0;
}
