// VexaHost - the About box.
#include "aboutbox.h"

#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/util/version.h"
#include "ui/widgets/windowframe.h"

namespace vexa {

namespace {
constexpr int kClientWidth = 282;
constexpr int kClientHeight = 328;
const char kSupportEmail[] = "support@kestrune.example";
const char kSupportWeb[] = "https://www.kestrune.example/vexa";
} // namespace

AboutBox::AboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About VexaHost"));
    useFixedSizeFrame(this);

    picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("ProgramIcon"));
    picture->setFixedSize(133, 105);
    picture->setScaledContents(true);
    picture->setPixmap(QPixmap(QStringLiteral(":/images/vexahost-256.png")));
    picture->setAccessibleName(QStringLiteral("Vexa Host"));

    productLabel = new QLabel(QStringLiteral("Product: Vexa Host"), this);
    productLabel->setObjectName(QStringLiteral("ProductName"));
    versionLabel = new QLabel(QStringLiteral("Version %1").arg(QLatin1String(kVersionText)), this);
    versionLabel->setObjectName(QStringLiteral("Version"));

    // The addresses can be selected and copied, and opened where a mail or
    // web client is set up.
    auto link = [this](const QString &url, const QString &text) {
        auto *label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(url, text.toHtmlEscaped()), this);
        label->setTextInteractionFlags(Qt::TextBrowserInteraction);
        label->setOpenExternalLinks(true);
        return label;
    };
    emailLabel = link(QStringLiteral("mailto:") + QLatin1String(kSupportEmail), QLatin1String(kSupportEmail));
    emailLabel->setObjectName(QStringLiteral("EmailAddress"));
    internetLabel = link(QLatin1String(kSupportWeb), QLatin1String(kSupportWeb));
    internetLabel->setObjectName(QStringLiteral("WebAddress"));

    contactText = new QPlainTextEdit(this);
    contactText->setObjectName(QStringLiteral("Comments"));
    contactText->setReadOnly(true);
    contactText->setAccessibleName(QStringLiteral("Contact"));
    // One paragraph that wraps at the box's width: lines broken by hand
    // were cut, or broken twice, in fonts wider than the designed one.
    contactText->setPlainText(QStringLiteral("Kestrune reader support\n"
                                             "Questions about Vexa readers, tags and this program: "
                                             "write to the address above and give the reader's "
                                             "serial number and firmware version (\"Version\" and "
                                             "\"Info\" on the tool bar show both)."));
    contactText->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Room for the whole text at the designed width, without scrolling.
    contactText->setMinimumHeight(contactText->fontMetrics().lineSpacing() * 7
                                  + 2 * contactText->frameWidth() + 8);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("OKButton"));
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addWidget(productLabel);
    layout->addWidget(versionLabel);
    auto *contacts = new QGridLayout;
    auto *emailCaption = new QLabel(QStringLiteral("Email support: "), this);
    auto *internetCaption = new QLabel(QStringLiteral("Internet:"), this);
    emailCaption->setBuddy(emailLabel);
    internetCaption->setBuddy(internetLabel);
    contacts->addWidget(emailCaption, 0, 0);
    contacts->addWidget(emailLabel, 0, 1);
    contacts->addWidget(internetCaption, 1, 0);
    contacts->addWidget(internetLabel, 1, 1);
    layout->addLayout(contacts);
    layout->addWidget(contactText, 1);
    layout->addWidget(okButton, 0, Qt::AlignHCenter);
    okButton->setFocus();
    // The designed size, or larger where the contact lines or the title
    // need it: nothing is cut at the edge in any font.
    const QSize needed = layout->totalMinimumSize().expandedTo(QSize(titleBarWidth(windowTitle()), 0));
    setFixedSize(needed.expandedTo(QSize(kClientWidth, kClientHeight)));
}

} // namespace vexa
