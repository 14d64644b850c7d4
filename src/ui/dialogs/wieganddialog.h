// VexaHost - "Select Wiegand Mode": the reader's Wiegand output mode and,
// for the ISO 15693 modes, the AFI sent along. "Use AFI" and "Defaults"
// change the options at once; Cancel puts back what they were when the
// dialog was shown; OK takes the AFI fields. Sends nothing itself.
#pragma once

#include "core/codecs/readeroptions.h"
#include "ui/dialogs/configdialog.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;

namespace vexa {

class OperatorPrompt;

class WiegandDialog : public ConfigDialog
{
    Q_OBJECT
public:
    WiegandDialog(ReaderOptions &options, OperatorPrompt &prompt, QWidget *parent = nullptr);

    // Sets the AFI controls from the options before showing.
    void prepare();
    // The selected mode, -1 when the list's text matches no item.
    int modeIndex() const;
    void selectMode(int index);

    // Handlers, also reachable without clicks.
    void applyModeRule();
    void toggleUseAfi(bool checked);
    void restoreDefaults();
    void cancel() override;
    void accept() override;

    QComboBox *modeCombo = nullptr;
    QGroupBox *isoOptionsGroup = nullptr;
    QCheckBox *useAfiCheck = nullptr;
    QComboBox *afiFamilyCombo = nullptr;
    QLineEdit *afiSubcategoryEdit = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    ReaderOptions &m_options;
    OperatorPrompt &m_prompt;
    bool m_notedUseAfi = false;
    uint8_t m_notedAfiValue = 0;
    uint8_t m_notedAfiCategory = 0;
};

} // namespace vexa
