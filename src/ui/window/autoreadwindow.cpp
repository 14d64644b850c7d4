// VexaHost - "View Auto Read".
#include "autoreadwindow.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/widgets/windowframe.h"

namespace vexa {

AutoReadWindow::AutoReadWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAutoRead"));
    setWindowTitle(QStringLiteral("View Auto Read"));
    setFont(QFont(QStringLiteral("Tahoma")));
    resize(426, 228);
    keepTitleWhole(this);

    lineView = new QPlainTextEdit(this);
    lineView->setObjectName(QStringLiteral("Memo1"));
    lineView->setAccessibleName(QStringLiteral("View Auto Read"));
    lineView->setReadOnly(true);
    lineView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    lineView->setMinimumHeight(120);

    closeButton = new QPushButton(QStringLiteral("&Close"), this);
    closeButton->setObjectName(QStringLiteral("btnClose"));
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->addWidget(lineView, 1);
    layout->addLayout(buttons);
}

void AutoReadWindow::appendLine(const QString &line)
{
    lineView->appendPlainText(line);
}

QStringList AutoReadWindow::lines() const
{
    const QString text = lineView->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void AutoReadWindow::showEvent(QShowEvent *event)
{
    lineView->clear();
    QDialog::showEvent(event);
}

} // namespace vexa
