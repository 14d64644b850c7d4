// VexaHost - "Activate Audio": on-time of one buzzer sound.
#pragma once

#include "ui/dialogs/configdialog.h"

class QLineEdit;

namespace vexa {

class ActivateAudioDialog : public ConfigDialog
{
    Q_OBJECT
public:
    explicit ActivateAudioDialog(QWidget *parent = nullptr);

    QString timeText() const;

    QLineEdit *timeEdit = nullptr;
};

} // namespace vexa
