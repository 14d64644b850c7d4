// VexaHost - "Select Wiegand Mode".
#include "wieganddialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/codecs/configframes.h"
#include "core/util/fieldlimits.h"
#include "core/util/hextext.h"
#include "core/util/operatorprompt.h"
#include "ui/widgets/windowframe.h"

namespace vexa {

namespace {
// The dialog's own family captions (the reports use shorter names).
const char *const kFamilyCaptions[16] = {
    "All families", "Transport", "Financial", "Identification/Access Control (30)", "Telecomunication",
    "Medical", "Multimedia", "Gaming", "Data Storage", "Item Management", "Express Parcels",
    "Postal Services", "Airline Bags", "Future use 1", "Future use 2", "Future use 3",
};
} // namespace

WiegandDialog::WiegandDialog(ReaderOptions &options, OperatorPrompt &prompt, QWidget *parent)
    : ConfigDialog(QStringLiteral("frmWgn"), QStringLiteral("Select Wiegand Mode"), parent),
      m_options(options), m_prompt(prompt)
{
    auto *layout = new QVBoxLayout(this);

    auto *modeGroup = new QGroupBox(QStringLiteral("Wiegand Options"), this);
    auto *modeRow = new QHBoxLayout(modeGroup);
    auto *modeLabel = new QLabel(QStringLiteral("Wiegand Mode "), modeGroup);
    modeCombo = new QComboBox(modeGroup);
    modeCombo->setObjectName(QStringLiteral("cboxWgnMode"));
    modeCombo->setEditable(true);
    modeCombo->setInsertPolicy(QComboBox::NoInsert);
    modeCombo->addItems(wiegandModeCaptions());
    modeCombo->setCurrentIndex(1); // design text "ISO 15693 Card Data"
    modeLabel->setBuddy(modeCombo);
    modeRow->addWidget(modeLabel);
    modeRow->addWidget(modeCombo, 1);
    layout->addWidget(modeGroup);

    isoOptionsGroup = new QGroupBox(QStringLiteral("ISO Options"), this);
    isoOptionsGroup->setObjectName(QStringLiteral("gboxIsoOpt"));
    auto *iso = new QVBoxLayout(isoOptionsGroup);
    useAfiCheck = new QCheckBox(QStringLiteral("Use AFI"), isoOptionsGroup);
    useAfiCheck->setObjectName(QStringLiteral("checkBoxUseAfi"));
    iso->addWidget(useAfiCheck);
    afiFamilyCombo = new QComboBox(isoOptionsGroup);
    afiFamilyCombo->setObjectName(QStringLiteral("cboxAfiCategory"));
    afiFamilyCombo->setAccessibleName(QStringLiteral("AFI family"));
    for (const char *caption : kFamilyCaptions)
        afiFamilyCombo->addItem(QString::fromLatin1(caption));
    afiFamilyCombo->setEnabled(false);
    iso->addWidget(afiFamilyCombo);
    auto *subRow = new QHBoxLayout;
    auto *subLabel = new QLabel(QStringLiteral("AFI Subcategory"), isoOptionsGroup);
    afiSubcategoryEdit = new QLineEdit(QStringLiteral("0"), isoOptionsGroup);
    afiSubcategoryEdit->setObjectName(QStringLiteral("edtAFI"));
    afiSubcategoryEdit->setMaxLength(fields::kAfiSubcategory.maxLength);
    afiSubcategoryEdit->setEnabled(false);
    afiSubcategoryEdit->setMaximumWidth(afiSubcategoryEdit->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 12);
    subLabel->setBuddy(afiSubcategoryEdit);
    subRow->addWidget(subLabel);
    subRow->addWidget(afiSubcategoryEdit);
    subRow->addWidget(new QLabel(QStringLiteral("Hex"), isoOptionsGroup));
    subRow->addStretch(1);
    iso->addLayout(subRow);
    isoOptionsGroup->hide();
    layout->addWidget(isoOptionsGroup);

    addButtons(layout, true);
    defaultsButton->hide();

    connect(modeCombo, &QComboBox::currentTextChanged, this, &WiegandDialog::applyModeRule);
    connect(useAfiCheck, &QCheckBox::toggled, this, &WiegandDialog::toggleUseAfi);
    connect(defaultsButton, &QPushButton::clicked, this, &WiegandDialog::restoreDefaults);
}

void WiegandDialog::prepare()
{
    useAfiCheck->setChecked(m_options.useAfi);
    afiSubcategoryEdit->setText(QString::number(m_options.isoAfiValue, 16).toUpper());
    afiFamilyCombo->setCurrentIndex(m_options.isoAfiCategory & 0x0F);
}

int WiegandDialog::modeIndex() const
{
    return modeCombo->findText(modeCombo->currentText(), Qt::MatchExactly);
}

void WiegandDialog::selectMode(int index)
{
    modeCombo->setCurrentIndex(index);
    modeCombo->setEditText(modeCombo->itemText(index));
}

void WiegandDialog::showEvent(QShowEvent *event)
{
    ConfigDialog::showEvent(event);
    m_notedUseAfi = m_options.useAfi;
    m_notedAfiValue = m_options.isoAfiValue;
    m_notedAfiCategory = m_options.isoAfiCategory;
    applyModeRule();
}

void WiegandDialog::applyModeRule()
{
    const bool iso = wiegandModeShowsIsoOptions(modeIndex());
    isoOptionsGroup->setVisible(iso);
    defaultsButton->setVisible(iso);
    fitFixedSize(this);
}

void WiegandDialog::toggleUseAfi(bool checked)
{
    m_options.useAfi = checked;
    afiFamilyCombo->setEnabled(checked);
    afiSubcategoryEdit->setEnabled(checked);
}

void WiegandDialog::restoreDefaults()
{
    useAfiCheck->setChecked(false); // runs toggleUseAfi
    m_options.useAfi = false;
    afiSubcategoryEdit->setText(QStringLiteral("0"));
    m_options.isoAfiValue = 0;
    m_options.isoAfiCategory = 0;
    afiFamilyCombo->setCurrentIndex(0);
    // "Off" without the mode-list rule: the ISO options stay in view until
    // the operator changes the list.
    const QSignalBlocker quiet(modeCombo);
    selectMode(0);
}

void WiegandDialog::cancel()
{
    m_options.isoAfiValue = m_notedAfiValue;
    m_options.isoAfiCategory = m_notedAfiCategory;
    m_options.useAfi = m_notedUseAfi;
    reject();
}

void WiegandDialog::accept()
{
    m_options.useAfi = useAfiCheck->isChecked();
    if (const auto value = hexTextToValue(afiSubcategoryEdit->text())) {
        m_options.isoAfiValue = uint8_t(*value & 0xFF);
        m_options.isoAfiCategory = uint8_t(afiFamilyCombo->currentIndex());
    } else {
        // The command still goes out, with the AFI as it was.
        m_prompt.warning(kInvalidHexMessage);
    }
    ConfigDialog::accept();
}

} // namespace vexa
