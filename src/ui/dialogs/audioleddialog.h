// VexaHost - "Audio/LED Configuration": whether the reader flashes its LED
// and sounds its buzzer after every successful command. "Defaults" turns
// both on at once; Cancel puts back what they were when shown; OK takes the
// boxes. The main window sends the feedback command after OK.
#pragma once

#include "core/codecs/readeroptions.h"
#include "ui/dialogs/configdialog.h"

class QCheckBox;

namespace vexa {

class AudioLedDialog : public ConfigDialog
{
    Q_OBJECT
public:
    explicit AudioLedDialog(ReaderOptions &options, QWidget *parent = nullptr);

    void prepare();
    void restoreDefaults();
    void cancel() override;
    void accept() override;

    QCheckBox *ledCheck = nullptr;
    QCheckBox *audioCheck = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    ReaderOptions &m_options;
    bool m_notedLedOn = true;
    bool m_notedAudioOn = true;
};

} // namespace vexa
