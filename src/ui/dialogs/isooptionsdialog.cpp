// VexaHost - "ISO 15693 Configuration".
#include "isooptionsdialog.h"

#include "core/codecs/isooptions.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexa {

IsoOptionsDialog::IsoOptionsDialog(ReaderOptions &options, QWidget *parent)
    : ConfigDialog(QStringLiteral("frmISOCfg"), QStringLiteral("ISO 15693 Configuration"), parent),
      m_options(options)
{
    auto *layout = new QVBoxLayout(this);
    auto *group = new QGroupBox(QStringLiteral("Transponder Communication Options"), this);
    auto *form = new QFormLayout(group);
    auto list = [group, form](const char *name, IsoOption option) {
        auto *combo = new QComboBox(group);
        combo->setObjectName(QString::fromLatin1(name));
        combo->addItems(isoOptionItems(option));
        combo->setCurrentIndex(0);
        auto *label = new QLabel(isoOptionCaption(option), group);
        label->setBuddy(combo);
        form->addRow(label, combo);
        return combo;
    };
    downlinkCombo = list("cboxDlinkMode", IsoOption::Downlink);
    readSpeedCombo = list("cboxReadSpeed", IsoOption::ReadSpeed);
    txModulationCombo = list("cboxTxMod", IsoOption::TxModulation);
    rxModulationCombo = list("cboxRxMod", IsoOption::RxModulation);
    blockLengthCombo = list("cBoxBlockLength", IsoOption::BlockLength);
    layout->addWidget(group);
    addButtons(layout, true);
    connect(defaultsButton, &QPushButton::clicked, this, &IsoOptionsDialog::restoreDefaults);
}

std::array<std::pair<IsoOption, QComboBox *>, 5> IsoOptionsDialog::combos() const
{
    return {{{IsoOption::Downlink, downlinkCombo},
             {IsoOption::ReadSpeed, readSpeedCombo},
             {IsoOption::TxModulation, txModulationCombo},
             {IsoOption::RxModulation, rxModulationCombo},
             {IsoOption::BlockLength, blockLengthCombo}}};
}

void IsoOptionsDialog::prepare()
{
    for (const auto &[option, combo] : combos())
        combo->setCurrentIndex(isoOptionItem(m_options, option));
}

void IsoOptionsDialog::showEvent(QShowEvent *event)
{
    ConfigDialog::showEvent(event);
    m_notedIsoConfig = m_options.isoConfig;
}

void IsoOptionsDialog::restoreDefaults()
{
    m_options.isoConfig = 0x03;
    for (QComboBox *combo : {downlinkCombo, readSpeedCombo, txModulationCombo, rxModulationCombo, blockLengthCombo})
        combo->setCurrentIndex(0);
    m_options.isoBlockLength = 0;
}

void IsoOptionsDialog::cancel()
{
    m_options.isoConfig = m_notedIsoConfig;
    reject();
}

void IsoOptionsDialog::accept()
{
    for (const auto &[option, combo] : combos())
        setIsoOptionItem(m_options, option, combo->currentIndex());
    ConfigDialog::accept();
}

} // namespace vexa
