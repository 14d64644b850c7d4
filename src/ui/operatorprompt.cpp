// VexaHost - message boxes for the operator.
#include "ui/operatorprompt.h"

#include <QApplication>
#include <QMessageBox>

namespace vexa {

void MessageBoxPrompt::message(Kind kind, const QString &text)
{
    const QString title = QApplication::applicationDisplayName();
    switch (kind) {
    case Kind::Information: QMessageBox::information(m_parent, title, text); break;
    case Kind::Warning: QMessageBox::warning(m_parent, title, text); break;
    case Kind::Error: QMessageBox::critical(m_parent, title, text); break;
    }
}

bool MessageBoxPrompt::confirm(const QString &text)
{
    return QMessageBox::question(m_parent, QApplication::applicationDisplayName(), text,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

} // namespace vexa
