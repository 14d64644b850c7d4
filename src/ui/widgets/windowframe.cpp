// VexaHost - title bars that show the whole title; fixed-size dialogs.
#include "windowframe.h"

#include <algorithm>

#include <QFontDatabase>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScreen>
#include <QTreeView>
#include <QRect>
#include <QWidget>

namespace vexa {

namespace {
// The icon, close, minimise and maximise buttons and the borders: about
// two line heights each on the common window managers.
constexpr int kDecorationLines = 9;
} // namespace

int titleBarWidth(const QString &title)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(title) + kDecorationLines * metrics.height();
}

void useFixedSizeFrame(QWidget *dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowCloseButtonHint);
}

void fitFixedSize(QWidget *dialog)
{
    const QSize hint = dialog->sizeHint().expandedTo(dialog->minimumSizeHint());
    const QSize size(std::max(hint.width(), titleBarWidth(dialog->windowTitle())), hint.height());
    if (dialog->minimumSize() != size || dialog->maximumSize() != size)
        dialog->setFixedSize(size);
}

void fitFileDialog(QFileDialog &dialog)
{
    dialog.setViewMode(QFileDialog::Detail);
    const int width = dialog.fontMetrics().averageCharWidth() * 110;
    dialog.resize(std::max(dialog.sizeHint().width(), width), std::max(dialog.sizeHint().height(), width / 2));
    auto *view = dialog.findChild<QTreeView *>();
    auto *files = dialog.findChild<QFileSystemModel *>();
    if (view && files) {
        QObject::connect(files, &QFileSystemModel::directoryLoaded, view, [view] {
            for (int column = 0; column < view->header()->count(); ++column)
                view->resizeColumnToContents(column);
        });
    }
}

void keepTitleWhole(QWidget *dialog)
{
    dialog->setMinimumWidth(std::max(dialog->minimumWidth(), titleBarWidth(dialog->windowTitle())));
    if (dialog->width() < dialog->minimumWidth())
        dialog->resize(dialog->minimumWidth(), dialog->height());
}

bool reachablePlace(const QPoint &topLeft)
{
    return QGuiApplication::screenAt(topLeft + QPoint(20, 20)) != nullptr;
}

bool restorePlace(QWidget &window, const QRect &stored)
{
    if (stored.width() <= 0 || stored.height() <= 0 || !reachablePlace(stored.topLeft()))
        return false;
    window.resize(stored.size());
    window.move(stored.topLeft());
    return true;
}

} // namespace vexa
