// VexaHost - every message box the operator sees goes through here, so that
// tests can answer them without a person.
#pragma once

#include <QString>

class QWidget;

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

// The box title where no caption of its own is given.
inline constexpr char kBoxTitle[] = "Vexa Host";

// The real boxes, modal on `parent`, titled kBoxTitle unless told otherwise.
class MessageBoxPrompt : public OperatorPrompt
{
public:
    explicit MessageBoxPrompt(QWidget *parent) : m_parent(parent) {}
    void message(Kind kind, const QString &text) override;
    bool confirm(const QString &text) override;
    void titledMessage(Kind kind, const QString &caption, const QString &text) override;
    bool proceed(const QString &text) override;
    void titledDismissable(Kind kind, const QString &caption, const QString &text) override;

private:
    QWidget *m_parent;
};

} // namespace vexa
