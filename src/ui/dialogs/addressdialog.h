// VexaHost - "Address Reader": addressed mode and the serial number of the
// reader every later command frame is addressed to.
#pragma once

#include "core/codecs/configframes.h"
#include "core/codecs/readeroptions.h"
#include "ui/dialogs/configdialog.h"

class QCheckBox;
class QLineEdit;

namespace vexa {

class AddressDialog : public ConfigDialog
{
    Q_OBJECT
public:
    explicit AddressDialog(QWidget *parent = nullptr);

    // Controls from the options before showing; options from the controls
    // once accepted (the serial number text as typed).
    void prepare(const ReaderOptions &options);
    void apply(ReaderOptions &options) const;

    QCheckBox *addressCheck = nullptr;
    QLineEdit *serialNumberEdit = nullptr;
};


} // namespace vexa
