// VexaHost - "Activate LED".
#include "activateleddialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace vexa {

ActivateLedDialog::ActivateLedDialog(QWidget *parent)
    : ConfigDialog(QStringLiteral("frmActivateLED"), QStringLiteral("Activate LED"), parent)
{
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    colourCombo = new QComboBox(this);
    colourCombo->setObjectName(QStringLiteral("cBoxLEDColor"));
    colourCombo->addItems({QStringLiteral("Red"), QStringLiteral("Green"), QStringLiteral("Amber")});
    colourCombo->setCurrentIndex(0);
    auto *colourLabel = new QLabel(QStringLiteral("Color"), this);
    colourLabel->setBuddy(colourCombo);
    form->addRow(colourLabel, colourCombo);
    timeEdit = new QLineEdit(QStringLiteral("100"), this);
    timeEdit->setObjectName(QStringLiteral("edtLEDTime"));
    auto *timeLabel = new QLabel(QStringLiteral("Time (ms)"), this);
    timeLabel->setBuddy(timeEdit);
    form->addRow(timeLabel, timeEdit);
    layout->addLayout(form);
    addButtons(layout, false);
}

LedColour ActivateLedDialog::colour() const
{
    return LedColour(uint8_t(colourCombo->currentIndex() + 1));
}

QString ActivateLedDialog::timeText() const
{
    return timeEdit->text();
}

} // namespace vexa
