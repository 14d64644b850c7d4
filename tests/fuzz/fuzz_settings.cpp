// Fuzz target: the settings file, read at every start from a place any
// program of the user's (or a hand edit) may have written.
//
// A text is either refused as damaged or read into settings whose AFI
// halves stay within their four bits (the baud rate is kept as written and
// mapped onto the four rates when the window starts). Settings read from any text are written back as a
// sound file, and from the second reading on, writing and reading again
// changes nothing.
//
// Seeds: tests/fuzz/seeds/settings; dictionary: tests/fuzz/settings.dict.
#include <cstddef>
#include <cstdint>

#include "core/settings/settingsstore.h"

using namespace vexa;

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool sameValues(const SettingsValues &a, const SettingsValues &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].section != b[i].section || a[i].name != b[i].name || a[i].value != b[i].value)
            return false;
    return true;
}

StoredSettings reread(const StoredSettings &settings)
{
    const ParsedSettings parsed = parseSettingsText(settingsText(settingsToValues(settings)));
    require(parsed.error.isEmpty());
    return settingsFromValues(parsed.values);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const ParsedSettings parsed = parseSettingsText(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!parsed.error.isEmpty())
        return 0;
    const StoredSettings first = settingsFromValues(parsed.values);
    require(first.options.isoAfiValue < 16 && first.options.isoAfiCategory < 16);

    const StoredSettings second = reread(first);
    const StoredSettings third = reread(second);
    require(sameValues(settingsToValues(second), settingsToValues(third)));
    return 0;
}
