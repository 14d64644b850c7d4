// VexaHost - what the configuration dialogs have in common.
#include "configdialog.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QPushButton>

#include "ui/widgets/windowframe.h"

namespace vexa {

ConfigDialog::ConfigDialog(const QString &objectName, const QString &caption, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(objectName);
    setWindowTitle(caption);
    setModal(true);
    useFixedSizeFrame(this);
}

void ConfigDialog::showEvent(QShowEvent *event)
{
    fitFixedSize(this);
    QDialog::showEvent(event);
}

void ConfigDialog::addButtons(QBoxLayout *content, bool withDefaults, const QString &defaultsName)
{
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("btnOK"));
    okButton->setDefault(true);
    row->addWidget(okButton);
    if (withDefaults) {
        defaultsButton = new QPushButton(QStringLiteral("Defaults"), this);
        defaultsButton->setObjectName(defaultsName.isEmpty() ? QStringLiteral("btnDefaults") : defaultsName);
        defaultsButton->setAutoDefault(false);
        row->addWidget(defaultsButton);
    }
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("btnCancel"));
    cancelButton->setAutoDefault(false);
    row->addWidget(cancelButton);
    content->addLayout(row);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

void ConfigDialog::keyPressEvent(QKeyEvent *event)
{
    // Esc is the Cancel button (with whatever it restores), not a bare reject.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cancelButton->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace vexa
