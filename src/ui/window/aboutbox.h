// VexaHost - the About box: product, version and where to get support.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vexa {

class AboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit AboutBox(QWidget *parent = nullptr);

    QLabel *picture = nullptr;
    QLabel *productLabel = nullptr;
    QLabel *versionLabel = nullptr;
    QLabel *emailLabel = nullptr;
    QLabel *internetLabel = nullptr;
    QPlainTextEdit *contactText = nullptr;
    QPushButton *okButton = nullptr;
};

} // namespace vexa
