// VexaHost - "View Auto Read": the text lines a USB reader sends by itself,
// oldest first.
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace vexa {

class AutoReadWindow : public QDialog
{
    Q_OBJECT
public:
    explicit AutoReadWindow(QWidget *parent = nullptr);

    void appendLine(const QString &line);
    QStringList lines() const;

    QPlainTextEdit *lineView = nullptr;
    QPushButton *closeButton = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace vexa
