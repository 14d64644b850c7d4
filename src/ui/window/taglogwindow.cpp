// VexaHost - the Tag Log window (see taglogwindow.h).
#include "taglogwindow.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>

#include "core/session/taglog.h"
#include "core/session/taglogexport.h"
#include "core/session/taglogmodel.h"
#include "core/util/operatorprompt.h"
#include "ui/widgets/windowframe.h"

namespace vexa {

namespace {

constexpr int kDefaultHeight = 320;
constexpr int kGap = 8; // between the main window's frame and this one

// The widest text each column shows, by column, for the first widths (the
// block values: one block's); the last column (the state) takes the room left.
const char *const kWidestTexts[] = {"ISO/IEC 14443-A", "DDDDDDDDDDDDDDDD", "0000-00-00 00:00:00",
                                    "0000-00-00 00:00:00", "0000000", "000.0", "00: 00000000"};
constexpr int kCellPadding = 24; // margins and the sort arrow
// Room for the state, the scroll bar and the margins, beside the other
// columns' widths.
constexpr int kBesideColumns = 200;
constexpr int kMinBesideWidth = 400; // narrower than this it goes over the main window

const ResponseFamily kFamilies[] = {ResponseFamily::Management, ResponseFamily::Iso15693, ResponseFamily::Tagit,
                                    ResponseFamily::Iso14443};

} // namespace

TagLogWindow::TagLogWindow(TagLog &log, OperatorPrompt &prompt, const TagLogPlacement &placement,
                           QWidget *mainWindow, const TagPresence *presence)
    : QWidget(mainWindow, Qt::Window), m_log(log), m_prompt(prompt), m_placement(placement)
{
    setObjectName(QStringLiteral("TagLogWindow"));
    setWindowTitle(QStringLiteral("Tag Log"));

    m_model = new TagLogModel(log, this);
    m_model->setPresence(presence);
    m_filter = new TagLogFilter(this);
    m_filter->setSourceModel(m_model);
    m_export = new TagLogExport(log, this);

    auto *familyLabel = new QLabel(QStringLiteral("&Family:"), this);
    m_familyBox = new QComboBox(this);
    m_familyBox->setObjectName(QStringLiteral("tagLogFamily"));
    m_familyBox->addItem(QStringLiteral("All"));
    for (ResponseFamily f : kFamilies)
        if (f != ResponseFamily::Management)
            m_familyBox->addItem(tagFamilyName(f));
    familyLabel->setBuddy(m_familyBox);
    connect(m_familyBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_filter->setFamily(kFamilies[std::clamp(index, 0, 3)]);
        updateStatus();
    });

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("tagLogTable"));
    m_table->setAccessibleName(QStringLiteral("Tag Log"));
    m_table->setModel(m_filter);
    m_table->setSortingEnabled(true);
    const int sortColumn = m_placement.sortColumn >= 0 && m_placement.sortColumn < TagLogModel::ColumnCount
                               ? m_placement.sortColumn
                               : int(TagLogModel::FirstSeenColumn);
    const Qt::SortOrder sortOrder = m_placement.sortDescending ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_table->sortByColumn(sortColumn, sortOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false); // Tab leaves the table for the buttons
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < TagLogModel::ColumnCount; ++c) {
        if (c < m_placement.columnWidths.size()) {
            m_table->setColumnWidth(c, m_placement.columnWidths[c]);
        } else if (c < int(std::size(kWidestTexts))) {
            // Wide enough for a whole UID and time: the header's default
            // cut them short, and they are what the operator reads.
            const QFontMetrics metrics = m_table->fontMetrics();
            const QString header = m_model->headerData(c, Qt::Horizontal).toString();
            m_table->setColumnWidth(c, std::max(metrics.horizontalAdvance(QLatin1String(kWidestTexts[c])),
                                                metrics.horizontalAdvance(header)) +
                                           kCellPadding);
        }
    }

    // The header sorts with the mouse only: the same choice from the
    // keyboard and for assistive technology, kept in step with the header.
    auto *sortLabel = new QLabel(QStringLiteral("&Sort by:"), this);
    m_sortBox = new QComboBox(this);
    m_sortBox->setObjectName(QStringLiteral("tagLogSort"));
    for (int c = 0; c < TagLogModel::ColumnCount; ++c)
        m_sortBox->addItem(m_model->headerData(c, Qt::Horizontal).toString());
    m_sortBox->setCurrentIndex(sortColumn);
    sortLabel->setBuddy(m_sortBox);
    m_descending = new QCheckBox(QStringLiteral("&Descending"), this);
    m_descending->setObjectName(QStringLiteral("tagLogDescending"));
    m_descending->setChecked(sortOrder == Qt::DescendingOrder);
    const auto sortAsChosen = [this] {
        m_table->sortByColumn(m_sortBox->currentIndex(),
                              m_descending->isChecked() ? Qt::DescendingOrder : Qt::AscendingOrder);
    };
    connect(m_sortBox, &QComboBox::currentIndexChanged, this, sortAsChosen);
    connect(m_descending, &QCheckBox::toggled, this, sortAsChosen);
    connect(m_table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) {
                const QSignalBlocker sortBlocker(m_sortBox);
                const QSignalBlocker orderBlocker(m_descending);
                m_sortBox->setCurrentIndex(column);
                m_descending->setChecked(order == Qt::DescendingOrder);
            });

    m_clearButton = new QPushButton(QStringLiteral("&Clear"), this);
    m_clearButton->setObjectName(QStringLiteral("btnTagLogClear"));
    connect(m_clearButton, &QPushButton::clicked, &log, &TagLog::clear);
    m_exportButton = new QPushButton(QStringLiteral("&Export..."), this);
    m_exportButton->setObjectName(QStringLiteral("btnTagLogExport"));
    connect(m_exportButton, &QPushButton::clicked, this, &TagLogWindow::exportLog);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("tagLogStatus"));
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("tagLogNote"));

    auto *top = new QHBoxLayout;
    top->addWidget(familyLabel);
    top->addWidget(m_familyBox);
    top->addSpacing(16);
    top->addWidget(sortLabel);
    top->addWidget(m_sortBox);
    top->addWidget(m_descending);
    top->addStretch();
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_status);
    bottom->addWidget(m_note, 1);
    bottom->addWidget(m_clearButton);
    bottom->addWidget(m_exportButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table, 1);
    layout->addLayout(bottom);
    setTabOrder(m_familyBox, m_sortBox);
    setTabOrder(m_sortBox, m_descending);
    setTabOrder(m_descending, m_table);
    setTabOrder(m_table, m_clearButton);
    setTabOrder(m_clearButton, m_exportButton);

    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    // The status follows the table's batches, never each answer.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &TagLogWindow::updateStatus);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &TagLogWindow::updateStatus);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &TagLogWindow::updateStatus);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TagLogWindow::updateStatus);
    connect(m_export, &TagLogExport::progress, this, [this](qint64 done, qint64 total) {
        m_note->setText(QStringLiteral("Exporting: %1 of %2 tags").arg(done).arg(total));
    });
    connect(m_export, &TagLogExport::finished, this, &TagLogWindow::exportFinished);
    updateStatus();
}

void TagLogWindow::updateStatus()
{
    const ResponseFamily family = m_filter->family();
    m_status->setText(QStringLiteral("%1 tags, %2 reads").arg(m_log.tagCount(family)).arg(m_log.readCount(family)));
    if (!m_export->running())
        m_note->setText(m_log.dropNote());
}

std::optional<std::pair<ResponseFamily, QString>> TagLogWindow::currentTag() const
{
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid())
        return std::nullopt;
    const QModelIndex tag = current.siblingAtColumn(TagLogModel::TagColumn);
    return std::pair{ResponseFamily(tag.data(TagLogModel::FamilyRole).toInt()), tag.data().toString()};
}

void TagLogWindow::showBeside()
{
    if (!std::exchange(m_placed, true)) {
        const QRect stored(m_placement.left, m_placement.top, m_placement.width, m_placement.height);
        if (!restorePlace(*this, stored)) {
            int width = kBesideColumns;
            for (int c = 0; c + 1 < TagLogModel::ColumnCount; ++c)
                width += m_table->columnWidth(c);
            resize(width, kDefaultHeight);
            if (const QWidget *main = parentWidget()) {
                const QRect mainFrame = main->frameGeometry();
                const QScreen *screen = main->screen();
                // The frame's decorations are not known before the first show:
                // the main window's stand in for them.
                const QSize decorations = mainFrame.size() - main->size();
                const QRect frame = besideFrame(mainFrame, size() + decorations,
                                                screen ? screen->availableGeometry() : QRect());
                resize(frame.size() - decorations);
                move(frame.topLeft());
            }
        }
    }
    show();
    raise();
    activateWindow();
}

QRect TagLogWindow::besideFrame(const QRect &mainFrame, QSize size, const QRect &available)
{
    QRect frame(QPoint(mainFrame.right() + 1 + kGap, mainFrame.top()), size);
    if (!available.isValid())
        return frame;
    frame.setSize(size.boundedTo(available.size()));
    const int roomRight = available.right() - frame.left() + 1;
    const int roomLeft = mainFrame.left() - kGap - available.left();
    if (frame.width() > roomRight) {
        if (frame.width() <= roomLeft) {
            frame.moveLeft(mainFrame.left() - kGap - frame.width());
        } else if (std::max(roomLeft, roomRight) >= kMinBesideWidth) {
            // Beside it and narrower: the table scrolls, the response pane stays in view.
            frame.setWidth(std::max(roomLeft, roomRight));
            if (roomLeft > roomRight)
                frame.moveLeft(available.left());
        } else {
            frame.moveLeft(available.right() + 1 - frame.width());
        }
    }
    frame.moveTop(std::clamp(frame.top(), available.top(), available.bottom() + 1 - frame.height()));
    return frame;
}

TagLogPlacement TagLogWindow::placement() const
{
    if (!m_placed)
        return m_placement; // never shown this run: as it was stored
    TagLogPlacement p;
    p.visible = isVisible();
    p.left = x();
    p.top = y();
    p.width = width();
    p.height = height();
    for (int c = 0; c < TagLogModel::ColumnCount; ++c)
        p.columnWidths << m_table->columnWidth(c);
    p.sortColumn = m_table->horizontalHeader()->sortIndicatorSection();
    p.sortDescending = m_table->horizontalHeader()->sortIndicatorOrder() == Qt::DescendingOrder;
    return p;
}

QString TagLogWindow::askExportFile()
{
    if (chooseExportFile)
        return chooseExportFile();
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const QString csv = QStringLiteral("CSV files (*.csv)");
    QFileDialog dialog(this, QStringLiteral("Export Tag Log"), folder,
                       csv + QStringLiteral(";;Excel workbooks (*.xlsx)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, csv](const QString &filter) {
        dialog.setDefaultSuffix(filter == csv ? QStringLiteral("csv") : QStringLiteral("xlsx"));
    });
    dialog.selectFile(QStringLiteral("VexaHost Tag Log.csv"));
    fitFileDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void TagLogWindow::exportLog()
{
    if (m_export->running())
        return;
    m_exportPath = askExportFile();
    if (m_exportPath.isEmpty())
        return;
    if (QFileInfo(m_exportPath).suffix().isEmpty())
        m_exportPath += QStringLiteral(".csv");
    m_exportButton->setEnabled(false);
    m_export->start(m_exportPath, QDateTime::currentMSecsSinceEpoch());
}

void TagLogWindow::exportFinished(const QString &reason)
{
    m_exportButton->setEnabled(true);
    updateStatus();
    if (!reason.isEmpty())
        m_prompt.error(QStringLiteral("The tag log could not be saved as %1: %2.")
                           .arg(QDir::toNativeSeparators(m_exportPath), reason));
}

} // namespace vexa
