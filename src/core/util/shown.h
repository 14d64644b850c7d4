// VexaHost - text of the operator's (a word, a value, a line of a script)
// quoted back in a message.
#pragma once

#include <QString>

namespace vexa {

// How much of the operator's text a message quotes.
constexpr int kShownLength = 80;

// `text` fit for a terminal: every control character (C0 with NUL, DEL and
// C1) stands as \xHH, so no escape sequence from a file or an argument
// reaches the terminal. With `maxLength` above 0 at most that many
// characters are shown (an escape counts as the four it takes), followed by
// "..." when some were left out.
QString printableText(const QString &text, int maxLength = 0);

// The operator's text as every message quotes it: printable and cut after
// kShownLength characters, however long the text came.
inline QString shownText(const QString &text)
{
    return printableText(text, kShownLength);
}

} // namespace vexa
