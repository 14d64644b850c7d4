// VexaHost - "Address Reader".
#include "addressdialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "core/util/fieldlimits.h"

namespace vexa {

AddressDialog::AddressDialog(QWidget *parent)
    : ConfigDialog(QStringLiteral("frmAddressRdr"), QStringLiteral("Address Reader"), parent)
{
    auto *layout = new QVBoxLayout(this);
    addressCheck = new QCheckBox(QStringLiteral("Address Reader by Serial Number"), this);
    addressCheck->setObjectName(QStringLiteral("cBoxAddRdr"));
    layout->addWidget(addressCheck);
    auto *row = new QHBoxLayout;
    auto *label = new QLabel(QStringLiteral("Serial Number"), this);
    serialNumberEdit = new QLineEdit(this);
    serialNumberEdit->setObjectName(QStringLiteral("edtSerialNumber"));
    serialNumberEdit->setMaxLength(fields::kReaderSerialNumber.maxLength);
    label->setBuddy(serialNumberEdit);
    row->addWidget(label);
    row->addWidget(serialNumberEdit, 1);
    layout->addLayout(row);
    addButtons(layout, false);
}

void AddressDialog::prepare(const ReaderOptions &options)
{
    addressCheck->setChecked(options.addressReader);
    serialNumberEdit->setText(options.readerSerialNumber);
}

void AddressDialog::apply(ReaderOptions &options) const
{
    options.addressReader = addressCheck->isChecked();
    options.readerSerialNumber = serialNumberEdit->text();
}

} // namespace vexa
