// VexaHost - the loader window and the upgrade's file dialog.
#include "loaderwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>
#include <utility>

#include "core/loader/firmwareloader.h"
#include "core/loader/firmwareupgrade.h"
#include "ui/widgets/windowframe.h"

namespace vexa {

namespace {

QString showFileDialog(QWidget *parent, const FirmwareFileRequest &request)
{
    QFileDialog dialog(parent, request.title, request.folder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(request.filters);
    dialog.selectNameFilter(request.filters.value(request.selectedFilter));
    // The firmware folder beside the places the operator knows.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QList<QUrl> places{QUrl::fromLocalFile(request.folder), QUrl::fromLocalFile(QDir::homePath())};
    if (QFileInfo(documents).isDir())
        places << QUrl::fromLocalFile(documents);
    dialog.setSidebarUrls(places);
    fitFileDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace

LoaderWindow::LoaderWindow(FirmwareUpgrade &upgrade, QWidget *parent)
    : QDialog(parent), m_upgrade(upgrade), m_loader(upgrade.loader())
{
    setObjectName(QStringLiteral("frmLdr"));
    setWindowTitle(QStringLiteral("Upgrade firmware"));
    setModal(true);

    m_programButton = new QPushButton(QStringLiteral("&Program"), this);
    m_programButton->setObjectName(QStringLiteral("btnProgram"));
    m_programButton->setToolTip(QStringLiteral("Program application firmware to the reader"));
    m_programButton->setEnabled(false);
    m_programButton->setAutoDefault(false);
    connect(m_programButton, &QPushButton::clicked, &m_loader, &FirmwareLoader::program);

    m_doneButton = new QPushButton(QStringLiteral("&Done"), this);
    m_doneButton->setObjectName(QStringLiteral("Button3"));
    m_doneButton->setAutoDefault(false);
    connect(m_doneButton, &QPushButton::clicked, this, &QDialog::close);

    m_captureButton = new QPushButton(QStringLiteral("&Capture"), this);
    m_captureButton->setObjectName(QStringLiteral("btnCapture"));
    m_captureButton->setToolTip(QStringLiteral("Capture the loader for programming"));
    m_captureButton->setAutoDefault(false);
    m_captureButton->hide();
    connect(m_captureButton, &QPushButton::clicked, &m_loader, &FirmwareLoader::capture);

    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar->setAccessibleName(QStringLiteral("Progress"));
    m_progressBar->setTextVisible(false);
    m_progressBar->setRange(0, m_loader.progressMaximum());
    m_progressBar->setValue(0);

    m_fileLabel = new QLabel(this);
    m_fileLabel->setObjectName(QStringLiteral("FirmwareFile"));
    m_fileLabel->setTextFormat(Qt::PlainText);

    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar->setSizeGripEnabled(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_programButton);
    buttons->addWidget(m_captureButton);
    buttons->addStretch(1);
    buttons->addWidget(m_doneButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_fileLabel);
    layout->addLayout(buttons);
    layout->addWidget(m_progressBar);
    layout->addWidget(m_statusBar);
    resize(360, 120);
    keepTitleWhole(this);

    connect(&m_loader, &FirmwareLoader::statusChanged, m_statusBar, [this](const QString &text) {
        m_statusBar->showMessage(text);
    });
    connect(&m_loader, &FirmwareLoader::progressChanged, m_progressBar, [this](int value, int maximum) {
        if (m_progressBar->maximum() != maximum)
            m_progressBar->setRange(0, maximum);
        m_progressBar->setValue(value);
    });
    connect(&m_loader, &FirmwareLoader::programAvailableChanged, m_programButton, &QPushButton::setEnabled);
    connect(&m_loader, &FirmwareLoader::waitCursorChanged, this, &LoaderWindow::holdWaitCursor);
    connect(&m_loader, &FirmwareLoader::goDone, this, &LoaderWindow::onGoDone);

    upgrade.chooseFile = [this](const FirmwareFileRequest &request) {
        return showFileDialog(parentWidget(), request);
    };
    connect(&upgrade, &FirmwareUpgrade::waitCursorChanged, this, &LoaderWindow::holdWaitCursor);
    connect(&upgrade, &FirmwareUpgrade::loaderReady, this, [this] {
        showFile(m_loader.firmwarePath());
        open();
    });
    connect(this, &QDialog::finished, &upgrade, &FirmwareUpgrade::loaderLeft);
}

LoaderWindow::~LoaderWindow()
{
    for (; m_cursorHolds > 0; --m_cursorHolds)
        QApplication::restoreOverrideCursor();
}

void LoaderWindow::holdWaitCursor(bool waiting)
{
    if (waiting) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++m_cursorHolds;
    } else if (m_cursorHolds > 0) {
        QApplication::restoreOverrideCursor();
        --m_cursorHolds;
    }
}

void LoaderWindow::showFile(const QString &path)
{
    // The operator sees which file goes to the reader before Program.
    // A name of any length keeps the window a sensible width.
    const QString name = m_fileLabel->fontMetrics().elidedText(QFileInfo(path).fileName(), Qt::ElideMiddle,
                                                               m_fileLabel->fontMetrics().averageCharWidth() * 60);
    m_fileLabel->setText(QStringLiteral("File: %1").arg(name));
    m_fileLabel->setToolTip(QDir::toNativeSeparators(path));
    m_fileLabel->setAccessibleName(QStringLiteral("File: %1").arg(QDir::toNativeSeparators(path)));
}

void LoaderWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        m_loader.begin();
}

void LoaderWindow::closeEvent(QCloseEvent *event)
{
    // Leaving in the middle of a capture or transfer would start whatever
    // half of an image the loader holds.
    if (m_loader.busy() || m_leaving) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void LoaderWindow::done(int result)
{
    if (m_leaving || m_loader.busy())
        return;
    m_leaving = true;
    m_result = result;
    m_loader.go(); // onGoDone closes the window
}

void LoaderWindow::onGoDone()
{
    if (!std::exchange(m_leaving, false))
        return;
    QDialog::done(m_result);
}

} // namespace vexa
