// VexaHost - the operator's questions and messages as real message boxes.
#pragma once

#include "core/util/operatorprompt.h"

class QWidget;

namespace vexa {

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
