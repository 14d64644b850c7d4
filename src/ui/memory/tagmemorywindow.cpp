// VexaHost - the Tag Memory window (see tagmemorywindow.h).
#include "tagmemorywindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStandardPaths>
#include <QTableView>
#include <QTime>
#include <QVBoxLayout>

#include "core/codecs/ndef.h"
#include "core/session/memoryjob.h"
#include "core/session/readersession.h"
#include "core/util/operatorprompt.h"
#include "core/util/regularfile.h"
#include "ui/widgets/windowframe.h"

namespace vexa {

namespace {

constexpr int kUidDigits = 16;
constexpr int kTextLines = 4; // the NDEF and result panes' height in lines
constexpr int kDefaultBinBlockSize = 4;

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, const QString &description)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAccessibleDescription(description);
    button->setToolTip(description);
    return button;
}

QPlainTextEdit *makeTextPane(QWidget *parent, const char *name, const QString &accessibleName)
{
    auto *pane = new QPlainTextEdit(parent);
    pane->setObjectName(QLatin1String(name));
    pane->setAccessibleName(accessibleName);
    pane->setReadOnly(true);
    // Read only, it still takes focus, so a screen reader user can walk it.
    pane->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    pane->setTabChangesFocus(true);
    pane->setLineWrapMode(QPlainTextEdit::NoWrap);
    pane->setFixedHeight(pane->fontMetrics().lineSpacing() * kTextLines + 2 * pane->frameWidth() + 8);
    return pane;
}

QString blockList(const QList<int> &blocks)
{
    QStringList numbers;
    for (int b : blocks)
        numbers << QString::number(b);
    return numbers.join(QStringLiteral(", "));
}

} // namespace

TagMemoryWindow::TagMemoryWindow(ReaderSession &session, OperatorPrompt &prompt, const TagMemoryPlacement &placement,
                                 QWidget *mainWindow)
    : QWidget(mainWindow, Qt::Window), m_session(session), m_prompt(prompt), m_placement(placement)
{
    setObjectName(QStringLiteral("TagMemoryWindow"));
    setWindowTitle(QStringLiteral("Tag Memory"));

    auto *uidLabel = new QLabel(QStringLiteral("&UID:"), this);
    m_uidEdit = new QLineEdit(this);
    m_uidEdit->setObjectName(QStringLiteral("tagMemoryUid"));
    m_uidEdit->setPlaceholderText(QStringLiteral("the tag in the field"));
    m_uidEdit->setAccessibleDescription(
        QStringLiteral("The ISO/IEC 15693 tag's UID, 16 hexadecimal digits; empty for the one tag in the field"));
    m_uidEdit->setMaxLength(kUidDigits);
    m_uidEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,16}")), m_uidEdit));
    m_uidEdit->setMinimumWidth(m_uidEdit->fontMetrics().horizontalAdvance(QString(kUidDigits + 2, QLatin1Char('D'))));
    uidLabel->setBuddy(m_uidEdit);
    m_source = new QLabel(QStringLiteral("Nothing read yet"), this);
    m_source->setObjectName(QStringLiteral("tagMemorySource"));

    auto *ndefLabel = new QLabel(QStringLiteral("&NDEF message:"), this);
    m_ndef = makeTextPane(this, "tagMemoryNdef", QStringLiteral("NDEF message"));
    ndefLabel->setBuddy(m_ndef);

    auto *blocksLabel = new QLabel(QStringLiteral("&Blocks:"), this);
    m_grid = new MemoryGridModel(this);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("tagMemoryGrid"));
    m_table->setAccessibleName(QStringLiteral("Tag memory"));
    m_table->setAccessibleDescription(
        QStringLiteral("One row per block; type a new value into the value column, then Write Changes"));
    m_table->setModel(m_grid);
    m_table->setItemDelegateForColumn(MemoryGridModel::ValueColumn, new BlockValueDelegate(m_table));
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    m_table->setTabKeyNavigation(false); // Tab leaves the grid for the buttons
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    blocksLabel->setBuddy(m_table);

    m_result = makeTextPane(this, "tagMemoryResult", QStringLiteral("Result"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("tagMemoryProgress"));
    m_progress->setAccessibleName(QStringLiteral("Progress"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("tagMemoryStatus"));

    m_readButton = makeButton(this, "btnTagMemoryRead", QStringLiteral("&Read All"),
                              QStringLiteral("Read every block and lock state of the tag"));
    m_openButton = makeButton(this, "btnTagMemoryOpen", QStringLiteral("&Open..."),
                              QStringLiteral("Show a dump file (JSON or .bin) in the grid"));
    m_saveButton = makeButton(this, "btnTagMemorySave", QStringLiteral("&Save As..."),
                              QStringLiteral("Save the grid as shown as a dump file (JSON or .bin)"));
    m_writeButton = makeButton(this, "btnTagMemoryWrite", QStringLiteral("&Write Changes"),
                               QStringLiteral("Write the blocks changed in the grid to the tag and read them back"));
    m_verifyButton = makeButton(this, "btnTagMemoryVerify", QStringLiteral("&Verify"),
                                QStringLiteral("Compare the tag with the opened file; differing blocks are marked"));
    m_cancelButton = makeButton(this, "btnTagMemoryCancel", QStringLiteral("&Cancel"),
                                QStringLiteral("Stop the job after the exchange in flight"));
    connect(m_readButton, &QPushButton::clicked, this, &TagMemoryWindow::readAll);
    connect(m_openButton, &QPushButton::clicked, this, [this] { askFile(false); });
    connect(m_saveButton, &QPushButton::clicked, this, [this] { askFile(true); });
    connect(m_writeButton, &QPushButton::clicked, this, &TagMemoryWindow::writeChanges);
    connect(m_verifyButton, &QPushButton::clicked, this, &TagMemoryWindow::verify);
    connect(m_cancelButton, &QPushButton::clicked, this, &TagMemoryWindow::cancelJob);

    auto *top = new QHBoxLayout;
    top->addWidget(uidLabel);
    top->addWidget(m_uidEdit);
    top->addSpacing(12);
    top->addWidget(m_source, 1);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_readButton, m_openButton, m_saveButton, m_writeButton, m_verifyButton})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(m_cancelButton);
    auto *progressRow = new QHBoxLayout;
    progressRow->addWidget(m_progress, 1);
    progressRow->addWidget(m_status, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(ndefLabel);
    layout->addWidget(m_ndef);
    layout->addWidget(blocksLabel);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    layout->addLayout(progressRow);
    layout->addWidget(m_result);
    QWidget *order[] = {m_uidEdit, m_ndef, m_table, m_readButton, m_openButton, m_saveButton,
                        m_writeButton, m_verifyButton, m_cancelButton, m_result};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(m_grid, &MemoryGridModel::editRefused, this,
            [this](int, const QString &why) { m_status->setText(why); });
    connect(m_grid, &QAbstractItemModel::dataChanged, this, [this] {
        showNdef();
        updateActions();
    });
    connect(m_grid, &QAbstractItemModel::modelReset, this, &TagMemoryWindow::updateActions);
    connect(&m_session, &ReaderSession::commandsAvailableChanged, this, &TagMemoryWindow::updateActions);
    connect(&m_session, &ReaderSession::cycleStateChanged, this, &TagMemoryWindow::updateActions);
    updateActions();
}

TagMemoryWindow::~TagMemoryWindow() = default;

void TagMemoryWindow::setUid(const QString &uid)
{
    m_uidEdit->setText(uid.trimmed().toUpper());
}

QString TagMemoryWindow::uid() const
{
    return m_uidEdit->text().trimmed().toUpper();
}

void TagMemoryWindow::updateActions()
{
    const bool idle = !m_job;
    // A job takes every answer as its own: nothing may be in flight, and
    // Repeat must not send between its commands.
    const bool reader = idle && m_session.commandsAvailable() && m_session.cycleState() == CommandCycle::State::Idle;
    m_readButton->setEnabled(reader);
    m_openButton->setEnabled(idle);
    m_saveButton->setEnabled(idle && m_grid->rowCount() > 0);
    m_writeButton->setEnabled(reader && !m_grid->changedBlocks().isEmpty());
    m_verifyButton->setEnabled(reader && m_grid->source() == MemoryGridModel::Source::File);
    m_cancelButton->setEnabled(!idle);
    m_uidEdit->setEnabled(idle);
    m_grid->setEditable(idle);
}

void TagMemoryWindow::readAll()
{
    MemoryJobInput input;
    input.kind = MemoryJobInput::Kind::Dump;
    input.tag = uid();
    startJob(input);
}

void TagMemoryWindow::writeChanges()
{
    const QList<int> changed = m_grid->changedBlocks();
    if (changed.isEmpty())
        return;
    MemoryJobInput input;
    input.kind = MemoryJobInput::Kind::Restore;
    input.family = m_grid->original().family;
    input.reference = m_grid->changesOnly();
    input.tag = uid();
    if (m_grid->source() == MemoryGridModel::Source::Tag) {
        // Written to the very tag that was read: without a UID typed, its
        // UID from the read; another tag in the field is refused by the job.
        if (input.tag.isEmpty())
            input.tag = tagdump::uidText(input.reference.uid);
    } else {
        // A file's blocks may go to any tag, but not unasked.
        if (!m_prompt.confirm(QStringLiteral("The values come from the file %1, not from the tag. Write block(s) "
                                             "%2 to the tag anyway?")
                                  .arg(QDir::toNativeSeparators(m_filePath), blockList(changed))))
            return;
        input.restore.anyUid = true;
    }
    startJob(input);
}

void TagMemoryWindow::verify()
{
    MemoryJobInput input;
    input.kind = MemoryJobInput::Kind::Verify;
    input.family = m_grid->original().family;
    input.reference = m_grid->shown();
    input.tag = uid();
    startJob(input);
}

void TagMemoryWindow::startJob(const MemoryJobInput &input)
{
    if (m_job)
        return;
    if (m_session.awaitingAnswer() || m_session.changingBaud()) {
        // The job would take that answer for its own.
        m_status->setText(QStringLiteral("The reader is busy: try again once its answer has come."));
        return;
    }
    auto *job = new MemoryJob(m_session, input, this);
    m_job = job;
    connect(job, &MemoryJob::progress, this, [this, job](int done, int total, const QString &text) {
        if (job != m_job)
            return;
        m_progress->setRange(0, std::max(total, 1));
        m_progress->setValue(std::clamp(done, 0, std::max(total, 1)));
        m_status->setText(text);
    });
    connect(job, &MemoryJob::finished, this,
            [this, job](const MemoryJobResult &result) { jobFinished(job, result); });
    m_result->clear();
    m_progress->setRange(0, 0); // busy until the job counts its steps
    m_status->setText(QStringLiteral("Working..."));
    updateActions();
    emit jobRunningChanged(true);
    job->start();
}

void TagMemoryWindow::cancelJob()
{
    if (m_job) {
        m_status->setText(QStringLiteral("Cancelling after the exchange in flight..."));
        m_job->cancel();
    }
}

void TagMemoryWindow::dropJob()
{
    if (!m_job)
        return;
    delete m_job.data();
    m_result->setPlainText(QStringLiteral("Stopped: the reader session ended."));
    m_progress->setRange(0, 1);
    updateActions();
    emit jobRunningChanged(false);
}

void TagMemoryWindow::jobFinished(MemoryJob *job, const MemoryJobResult &result)
{
    if (job != m_job)
        return; // a late word from a job already ended
    m_job = nullptr;
    job->disconnect(this);
    job->deleteLater();

    const QStringList lines = memoryJobLines(result);
    m_result->setPlainText(lines.join(QLatin1Char('\n')));
    m_progress->setRange(0, 1);
    m_progress->setValue(result.succeeded() ? 1 : 0);
    m_status->setText(lines.value(0, result.reason));
    const QString tagName = result.dump.uid.isEmpty() ? QStringLiteral("the tag") : tagdump::uidText(result.dump.uid);
    const QString time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    using Kind = MemoryJobInput::Kind;
    using Outcome = MemoryJobResult::Outcome;

    QMap<int, QString> notes;
    switch (result.kind) {
    case Kind::Dump:
    case Kind::NdefRead:
        if (!result.dump.blocks.isEmpty())
            showMemory(result.dump, MemoryGridModel::Source::Tag,
                       QStringLiteral("Read from %1 at %2").arg(tagName, time));
        break;
    case Kind::Restore:
    case Kind::NdefWrite:
        for (int b : result.written)
            notes.insert(b, QStringLiteral("written"));
        for (int b : result.skipped)
            notes.insert(b, QStringLiteral("locked: not written"));
        for (int b : result.differing)
            notes.insert(b, QStringLiteral("read back differs"));
        // Done or read back: the grid shows the tag as it is now. Refused,
        // failed or cancelled: the edits stay, to be written again.
        if ((result.outcome == Outcome::Done || result.outcome == Outcome::Differs) && !result.dump.blocks.isEmpty())
            showMemory(result.dump, MemoryGridModel::Source::Tag,
                       QStringLiteral("Written to %1 and read back at %2").arg(tagName, time));
        break;
    case Kind::Verify:
        for (int b : result.differing) {
            const tagdump::Block tagBlock = result.dump.blocks.value(b);
            notes.insert(b, tagBlock.isRead() ? QStringLiteral("the tag holds ") + tagdump::shownValue(tagBlock.data)
                                              : QStringLiteral("not read on the tag"));
        }
        break;
    }
    m_grid->setNotes(notes);
    m_grid->setDiffering(result.differing);
    updateActions();
    emit jobRunningChanged(false);
}

void TagMemoryWindow::showMemory(const tagdump::TagDump &dump, MemoryGridModel::Source source, const QString &origin)
{
    m_grid->setDump(dump, source);
    m_source->setText(origin);
    if (source == MemoryGridModel::Source::Tag)
        m_filePath.clear();
    m_table->resizeColumnsToContents();
    showNdef();
    updateActions();
}

void TagMemoryWindow::showNdef()
{
    const QByteArray memory = m_grid->readMemory();
    if (memory.isEmpty() || m_grid->original().family != tagdump::Family::Iso15693) {
        m_ndef->clear();
        return;
    }
    // Blocks edited but not yet written count: the operator sees what the
    // message would become.
    m_ndef->setPlainText(ndef::tagLines(ndef::readTag(memory)).join(QLatin1Char('\n')));
}

void TagMemoryWindow::askFile(bool save)
{
    if (chooseFile) {
        const QString path = chooseFile(save);
        if (!path.isEmpty())
            save ? saveTo(path) : openFrom(path);
        return;
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const QString json = QStringLiteral("Dump files (*.json)");
    const QString bin = QStringLiteral("Raw memory (*.bin)");
    auto *dialog = new QFileDialog(this, save ? QStringLiteral("Save Tag Memory") : QStringLiteral("Open Tag Memory"),
                                   folder, json + QStringLiteral(";;") + bin + QStringLiteral(";;All files (*)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save) {
        dialog->setDefaultSuffix(QStringLiteral("json"));
        connect(dialog, &QFileDialog::filterSelected, dialog, [dialog, bin](const QString &filter) {
            dialog->setDefaultSuffix(filter == bin ? QStringLiteral("bin") : QStringLiteral("json"));
        });
        const QByteArray uid = m_grid->original().uid;
        dialog->selectFile(uid.isEmpty() ? QStringLiteral("Tag memory.json")
                                         : QStringLiteral("Tag %1.json").arg(tagdump::uidText(uid)));
    }
    fitFileDialog(*dialog);
    // Window-modal and answered by signal: the session's timers keep running.
    connect(dialog, &QFileDialog::fileSelected, this,
            [this, save](const QString &path) { save ? saveTo(path) : openFrom(path); });
    dialog->open();
}

void TagMemoryWindow::saveTo(const QString &path)
{
    const tagdump::TagDump dump = m_grid->shown();
    const bool raw = QFileInfo(path).suffix().compare(QStringLiteral("bin"), Qt::CaseInsensitive) == 0;
    const tagdump::Encoded encoded = raw ? tagdump::toBin(dump) : tagdump::toJson(dump);
    QString reason = encoded.refusal;
    if (reason.isEmpty())
        reason = replaceFile(path, encoded.bytes);
    if (!reason.isEmpty()) {
        m_prompt.error(QStringLiteral("The tag memory could not be saved as %1: %2.")
                           .arg(QDir::toNativeSeparators(path), reason));
        return;
    }
    m_status->setText(QStringLiteral("Saved as %1").arg(QDir::toNativeSeparators(path)));
}

void TagMemoryWindow::openFrom(const QString &path)
{
    const RegularFileRead read = readRegularFile(path, kLargestFile);
    tagdump::Decoded decoded;
    if (read.status != RegularFileRead::Status::Read) {
        decoded.error = read.reason;
    } else if (QFileInfo(path).suffix().compare(QStringLiteral("bin"), Qt::CaseInsensitive) == 0) {
        // A .bin tells no block size: the tag's last read, else 4 bytes.
        const int blockSize = m_grid->rowCount() > 0 ? m_grid->original().blockSize : kDefaultBinBlockSize;
        decoded = tagdump::fromBin(read.bytes, blockSize);
    } else {
        decoded = tagdump::fromJson(read.bytes);
    }
    if (!decoded.error.isEmpty()) {
        m_prompt.error(QStringLiteral("The file %1 could not be opened: %2.")
                           .arg(QDir::toNativeSeparators(path), decoded.error));
        return;
    }
    m_filePath = path;
    m_result->clear();
    showMemory(decoded.dump, MemoryGridModel::Source::File,
               QStringLiteral("From file %1").arg(QDir::toNativeSeparators(path)));
}

void TagMemoryWindow::showPlaced()
{
    if (!std::exchange(m_placed, true)) {
        const QRect stored(m_placement.left, m_placement.top, m_placement.width, m_placement.height);
        if (!restorePlace(*this, stored))
            resize(kDefaultWidth, kDefaultHeight);
    }
    show();
    raise();
    activateWindow();
}

TagMemoryPlacement TagMemoryWindow::placement() const
{
    if (!m_placed)
        return m_placement;
    return {x(), y(), width(), height()};
}

void TagMemoryWindow::closeEvent(QCloseEvent *event)
{
    // The operator has turned away: no more writes to a tag no one watches.
    cancelJob();
    QWidget::closeEvent(event);
}

} // namespace vexa
