// VexaHost - "Activate LED": colour and on-time of one LED flash.
#pragma once

#include "core/codecs/configframes.h"
#include "ui/dialogs/configdialog.h"

class QComboBox;
class QLineEdit;

namespace vexa {

class ActivateLedDialog : public ConfigDialog
{
    Q_OBJECT
public:
    explicit ActivateLedDialog(QWidget *parent = nullptr);

    LedColour colour() const;
    QString timeText() const;

    QComboBox *colourCombo = nullptr;
    QLineEdit *timeEdit = nullptr;
};

} // namespace vexa
