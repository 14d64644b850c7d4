// VexaHost - edit fields of the tag pages.
#pragma once

#include <QLineEdit>

class QLabel;
class QWidget;

namespace vexa {

// An edit field that tells when the operator leaves it for another control
// of the window. The signal is queued, so a handler may show a message box
// and put the focus back once the focus change is complete; losing the focus
// to another window or a popup (such as that message box) does not count.
class FieldEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit FieldEdit(QWidget *parent = nullptr) : QLineEdit(parent) {}

signals:
    void exited();

protected:
    void focusOutEvent(QFocusEvent *event) override;
};

// Replaces the field's text by its upper-case form.
void upperCaseText(QLineEdit *field);

// A row of `field` followed by a "Hex" label; the field is named `name` for
// assistive technology. Returns the row; `hexLabel` receives the label.
QWidget *hexFieldRow(QLineEdit *field, const QString &name, QLabel **hexLabel = nullptr);

} // namespace vexa
