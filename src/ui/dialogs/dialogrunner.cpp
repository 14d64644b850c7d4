// VexaHost - showing a configuration dialog modally over the main window.
#include "dialogrunner.h"

namespace vexa {

int ModalDialogRunner::run(QDialog &dialog, QWidget *owner)
{
    dialog.adjustSize();
    if (owner) {
        const QRect area = owner->frameGeometry();
        dialog.move(area.center() - QPoint(dialog.width() / 2, dialog.height() / 2));
    }
    return dialog.exec();
}

} // namespace vexa
