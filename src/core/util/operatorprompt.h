// VexaHost - every question and message for the operator goes through here:
// a window answers with message boxes, a program without a window answers
// on its own, and tests answer without a person.
#pragma once

#include <QString>

namespace vexa {

class OperatorPrompt
{
public:
    enum class Kind { Information, Warning, Error };

    virtual ~OperatorPrompt() = default;
    // A message with an OK button.
    virtual void message(Kind kind, const QString &text) = 0;
    // A confirmation with Yes and No; true only for Yes.
    virtual bool confirm(const QString &text) = 0;
    // A message under a caption of its own (the application's name otherwise).
    virtual void titledMessage(Kind kind, const QString &caption, const QString &text)
    {
        Q_UNUSED(caption);
        message(kind, text);
    }
    // A warning with OK and Cancel; true only for OK.
    virtual bool proceed(const QString &text) { return confirm(text); }
    // A message under its own caption with OK and Cancel, either of which
    // only closes it.
    virtual void titledDismissable(Kind kind, const QString &caption, const QString &text)
    {
        titledMessage(kind, caption, text);
    }

    void information(const QString &text) { message(Kind::Information, text); }
    void warning(const QString &text) { message(Kind::Warning, text); }
    void error(const QString &text) { message(Kind::Error, text); }
};

} // namespace vexa
