// VexaHost - message boxes for the operator.
#include "ui/operatorprompt.h"

#include <QApplication>
#include <QMessageBox>

namespace vexa {

void MessageBoxPrompt::message(Kind kind, const QString &text)
{
    titledMessage(kind, QApplication::applicationDisplayName(), text);
}

void MessageBoxPrompt::titledMessage(Kind kind, const QString &title, const QString &text)
{
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

bool MessageBoxPrompt::proceed(const QString &text)
{
    return QMessageBox::warning(m_parent, QApplication::applicationDisplayName(), text,
                                QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel)
        == QMessageBox::Ok;
}

} // namespace vexa
