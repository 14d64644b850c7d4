// VexaHost - "Encryption": the reader's default key or a DES key of the
// operator's, and plain text. The choice lives only in these controls for
// the whole run; the main window builds the command from them on OK.
#pragma once

#include "ui/dialogs/configdialog.h"

class QCheckBox;
class QLineEdit;

namespace vexa {

class EncryptionDialog : public ConfigDialog
{
    Q_OBJECT
public:
    explicit EncryptionDialog(QWidget *parent = nullptr);

    bool useUserKey() const;
    bool plainText() const;
    // The key as it will be sent: the field is upper-cased first and keeps
    // that form.
    QString takeKeyText();

    // Handlers, also reachable without clicks.
    void updateKeyField();
    void restoreDefaults();

    QCheckBox *useDefaultKeyCheck = nullptr;
    QCheckBox *plainTextCheck = nullptr;
    QLineEdit *keyEdit = nullptr;
};

} // namespace vexa
