// VexaHost - "Encryption".
#include "encryptiondialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/util/fieldlimits.h"

namespace vexa {

EncryptionDialog::EncryptionDialog(QWidget *parent)
    : ConfigDialog(QStringLiteral("frmEncOptions"), QStringLiteral("Encryption"), parent)
{
    auto *layout = new QVBoxLayout(this);
    useDefaultKeyCheck = new QCheckBox(QStringLiteral("Use Default Encryption Key"), this);
    useDefaultKeyCheck->setObjectName(QStringLiteral("cboxUseDefaultKey"));
    useDefaultKeyCheck->setChecked(true);
    layout->addWidget(useDefaultKeyCheck);
    plainTextCheck = new QCheckBox(QStringLiteral("Plain Text"), this);
    plainTextCheck->setObjectName(QStringLiteral("cboxPlainText"));
    layout->addWidget(plainTextCheck);

    auto *keyRow = new QHBoxLayout;
    auto *keyLabel = new QLabel(QStringLiteral("DES User Key"), this);
    keyEdit = new QLineEdit(this);
    keyEdit->setObjectName(QStringLiteral("edtDESKey"));
    keyEdit->setMaxLength(fields::kUserKey.maxLength);
    keyEdit->setMinimumWidth(keyEdit->fontMetrics().horizontalAdvance(QStringLiteral("DDDDDDDDDDDDDDDD")) + 16);
    keyLabel->setBuddy(keyEdit);
    keyRow->addWidget(keyLabel);
    keyRow->addWidget(keyEdit, 1);
    keyRow->addWidget(new QLabel(QStringLiteral("Hex"), this));
    layout->addLayout(keyRow);

    addButtons(layout, true);
    connect(useDefaultKeyCheck, &QCheckBox::toggled, this, &EncryptionDialog::updateKeyField);
    connect(defaultsButton, &QPushButton::clicked, this, &EncryptionDialog::restoreDefaults);
    updateKeyField();
}

bool EncryptionDialog::useUserKey() const
{
    return !useDefaultKeyCheck->isChecked();
}

bool EncryptionDialog::plainText() const
{
    return plainTextCheck->isChecked();
}

QString EncryptionDialog::takeKeyText()
{
    keyEdit->setText(keyEdit->text().toUpper());
    return keyEdit->text();
}

void EncryptionDialog::updateKeyField()
{
    // With the default key the field is out of play and looks it: the
    // colour of a button face; otherwise that of a window background.
    const bool userKey = useUserKey();
    keyEdit->setEnabled(userKey);
    QPalette p = keyEdit->palette();
    const QPalette base = palette();
    const QColor colour = userKey ? base.color(QPalette::Active, QPalette::Base) : base.color(QPalette::Active, QPalette::Button);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(group, QPalette::Base, colour);
    keyEdit->setPalette(p);
}

void EncryptionDialog::restoreDefaults()
{
    useDefaultKeyCheck->setChecked(true);
    plainTextCheck->setChecked(false);
}

} // namespace vexa
