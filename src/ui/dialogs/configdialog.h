// VexaHost - what the configuration dialogs have in common: created once,
// shown modally again and again with their controls as last left; an OK
// button that accepts, optionally "Defaults", and a Cancel button that the
// Esc key presses too. The window's close box only rejects.
#pragma once

#include <QDialog>

class QBoxLayout;
class QPushButton;

namespace vexa {

class ConfigDialog : public QDialog
{
    Q_OBJECT
public:
    QPushButton *okButton = nullptr;
    QPushButton *defaultsButton = nullptr; // null where the dialog has none
    QPushButton *cancelButton = nullptr;

    // The Cancel button's work: by default only rejecting.
    virtual void cancel() { reject(); }

protected:
    ConfigDialog(const QString &objectName, const QString &caption, QWidget *parent);

    // Adds the button row below `content`: OK runs accept(), Cancel cancel().
    void addButtons(QBoxLayout *content, bool withDefaults, const QString &defaultsName = {});
    void keyPressEvent(QKeyEvent *event) override;
    // Fixes the dialog at its contents' size, never narrower than its title.
    void showEvent(QShowEvent *event) override;
};

} // namespace vexa
