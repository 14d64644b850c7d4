// VexaHost - message boxes for the operator.
#include "ui/widgets/messageboxprompt.h"

#include <QMessageBox>

namespace vexa {

void MessageBoxPrompt::message(Kind kind, const QString &text)
{
    titledMessage(kind, QString::fromLatin1(kBoxTitle), text);
}

namespace {
void showBox(QWidget *parent, OperatorPrompt::Kind kind, const QString &title, const QString &text,
             QMessageBox::StandardButtons buttons)
{
    using Kind = OperatorPrompt::Kind;
    switch (kind) {
    case Kind::Information: QMessageBox::information(parent, title, text, buttons); break;
    case Kind::Warning: QMessageBox::warning(parent, title, text, buttons); break;
    case Kind::Error: QMessageBox::critical(parent, title, text, buttons); break;
    }
}
} // namespace

void MessageBoxPrompt::titledMessage(Kind kind, const QString &title, const QString &text)
{
    showBox(m_parent, kind, title, text, QMessageBox::Ok);
}

void MessageBoxPrompt::titledDismissable(Kind kind, const QString &title, const QString &text)
{
    showBox(m_parent, kind, title, text, QMessageBox::Ok | QMessageBox::Cancel);
}

bool MessageBoxPrompt::confirm(const QString &text)
{
    return QMessageBox::question(m_parent, QString::fromLatin1(kBoxTitle), text,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

bool MessageBoxPrompt::proceed(const QString &text)
{
    return QMessageBox::warning(m_parent, QString::fromLatin1(kBoxTitle), text,
                                QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel)
        == QMessageBox::Ok;
}

} // namespace vexa
