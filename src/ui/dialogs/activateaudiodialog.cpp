// VexaHost - "Activate Audio".
#include "activateaudiodialog.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace vexa {

ActivateAudioDialog::ActivateAudioDialog(QWidget *parent)
    : ConfigDialog(QStringLiteral("frmActivateAudio"), QStringLiteral("Activate Audio"), parent)
{
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    timeEdit = new QLineEdit(QStringLiteral("100"), this);
    timeEdit->setObjectName(QStringLiteral("edtAudioTime"));
    auto *timeLabel = new QLabel(QStringLiteral("Time (ms)"), this);
    timeLabel->setBuddy(timeEdit);
    form->addRow(timeLabel, timeEdit);
    layout->addLayout(form);
    addButtons(layout, false);
}

QString ActivateAudioDialog::timeText() const
{
    return timeEdit->text();
}

} // namespace vexa
