// VexaHost - edit fields of the tag pages.
#include "fieldedit.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>

namespace vexa {

void FieldEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    const Qt::FocusReason reason = event->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
        QMetaObject::invokeMethod(this, &FieldEdit::exited, Qt::QueuedConnection);
}

void upperCaseText(QLineEdit *field)
{
    const QString upper = field->text().toUpper();
    if (upper != field->text())
        field->setText(upper);
}

QWidget *hexFieldRow(QLineEdit *field, const QString &name, QLabel **hexLabel)
{
    auto *row = new QWidget(field->parentWidget());
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *label = new QLabel(QStringLiteral("Hex"), row);
    field->setParent(row);
    field->setAccessibleName(name);
    field->setAccessibleDescription(QStringLiteral("Hex"));
    layout->addWidget(field);
    layout->addWidget(label);
    layout->addStretch();
    if (hexLabel)
        *hexLabel = label;
    return row;
}

} // namespace vexa
