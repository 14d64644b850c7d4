// VexaHost - "ISO 15693 Configuration".
#include "isooptionsdialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexa {

namespace {
// Item 0 of each list, and whether item 0 means the bit set.
struct BitList
{
    uint8_t bit;
    bool setAtItem0;
};
constexpr BitList kDownlink{0x01, true};
constexpr BitList kReadSpeed{0x02, true};
constexpr BitList kTxModulation{0x04, false};
constexpr BitList kRxModulation{0x08, false};

int itemFor(const BitList &list, uint8_t config)
{
    const bool set = (config & list.bit) != 0;
    return set == list.setAtItem0 ? 0 : 1;
}

bool bitFor(const BitList &list, int item)
{
    return (item == 0) == list.setAtItem0;
}
} // namespace

IsoOptionsDialog::IsoOptionsDialog(ReaderOptions &options, QWidget *parent)
    : ConfigDialog(QStringLiteral("frmISOCfg"), QStringLiteral("ISO 15693 Configuration"), parent),
      m_options(options)
{
    auto *layout = new QVBoxLayout(this);
    auto *group = new QGroupBox(QStringLiteral("Transponder Communication Options"), this);
    auto *form = new QFormLayout(group);
    auto list = [group, form](const char *name, const char *caption, QStringList items) {
        auto *combo = new QComboBox(group);
        combo->setObjectName(QString::fromLatin1(name));
        combo->addItems(items);
        combo->setCurrentIndex(0);
        auto *label = new QLabel(QString::fromLatin1(caption), group);
        label->setBuddy(combo);
        form->addRow(label, combo);
        return combo;
    };
    downlinkCombo = list("cboxDlinkMode", "Downlink Mode", {QStringLiteral("1 of 4"), QStringLiteral("1 of 256")});
    readSpeedCombo = list("cboxReadSpeed", "Read Speed", {QStringLiteral("Fast"), QStringLiteral("Slow")});
    txModulationCombo = list("cboxTxMod", "Tx Modulation", {QStringLiteral("100%"), QStringLiteral("10%")});
    rxModulationCombo = list("cboxRxMod", "Rx Modulation", {QStringLiteral("FSK"), QStringLiteral("ASK")});
    blockLengthCombo = list("cBoxBlockLength", "Block Length", {QStringLiteral("32 Bits"), QStringLiteral("64 Bits")});
    layout->addWidget(group);
    addButtons(layout, true);
    connect(defaultsButton, &QPushButton::clicked, this, &IsoOptionsDialog::restoreDefaults);
}

void IsoOptionsDialog::prepare()
{
    const uint8_t c = m_options.isoConfig;
    downlinkCombo->setCurrentIndex(itemFor(kDownlink, c));
    readSpeedCombo->setCurrentIndex(itemFor(kReadSpeed, c));
    txModulationCombo->setCurrentIndex(itemFor(kTxModulation, c));
    rxModulationCombo->setCurrentIndex(itemFor(kRxModulation, c));
    blockLengthCombo->setCurrentIndex(m_options.isoBlockLength == 0 ? 0 : 1);
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
    uint8_t c = m_options.isoConfig & 0xF0;
    const std::pair<const BitList &, QComboBox *> lists[] = {
        {kDownlink, downlinkCombo},
        {kReadSpeed, readSpeedCombo},
        {kTxModulation, txModulationCombo},
        {kRxModulation, rxModulationCombo},
    };
    for (const auto &[list, combo] : lists)
        if (bitFor(list, combo->currentIndex()))
            c |= list.bit;
    m_options.isoConfig = c;
    m_options.isoBlockLength = blockLengthCombo->currentIndex();
    ConfigDialog::accept();
}

} // namespace vexa
