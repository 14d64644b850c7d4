// VexaHost - how the main window shows its configuration dialogs: modally,
// centred on the main window. Tests put in a runner that works the dialog's
// controls and closes it, so that no person is needed.
#pragma once

#include <QDialog>

namespace vexa {

class DialogRunner
{
public:
    virtual ~DialogRunner() = default;
    // Shows `dialog` modally over `owner` and returns its result
    // (QDialog::Accepted or QDialog::Rejected).
    virtual int run(QDialog &dialog, QWidget *owner) = 0;
};

class ModalDialogRunner : public DialogRunner
{
public:
    int run(QDialog &dialog, QWidget *owner) override;
};

} // namespace vexa
