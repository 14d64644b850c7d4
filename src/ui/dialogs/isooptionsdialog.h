// VexaHost - "ISO 15693 Configuration": the transponder options every
// ISO 15693 command carries in its flags byte (isoConfig bits 0-3) and the
// block length the ISO 15693 commands assume. OK and "Defaults" change the
// options; Cancel puts isoConfig back (not the block length). Sends nothing.
// Which bit each list sets is config/isooptions' business.
#pragma once

#include <array>
#include <utility>

#include "core/codecs/isooptions.h"
#include "core/codecs/readeroptions.h"
#include "ui/dialogs/configdialog.h"

class QComboBox;

namespace vexa {

class IsoOptionsDialog : public ConfigDialog
{
    Q_OBJECT
public:
    explicit IsoOptionsDialog(ReaderOptions &options, QWidget *parent = nullptr);

    // Sets the lists from the options before showing.
    void prepare();

    void restoreDefaults();
    void cancel() override;
    void accept() override;

    QComboBox *downlinkCombo = nullptr;
    QComboBox *readSpeedCombo = nullptr;
    QComboBox *txModulationCombo = nullptr;
    QComboBox *rxModulationCombo = nullptr;
    QComboBox *blockLengthCombo = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::array<std::pair<IsoOption, QComboBox *>, 5> combos() const;

    ReaderOptions &m_options;
    uint8_t m_notedIsoConfig = 2;
};

} // namespace vexa
