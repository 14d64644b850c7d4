// VexaHost - the tag memory grid (see memorygrid.h).
#include "memorygrid.h"

#include <QBrush>
#include <QFont>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "core/codecs/ndef.h"

namespace vexa {

namespace {

const QColor kChangedBack(255, 244, 200);
const QColor kDifferingBack(255, 214, 214);

} // namespace

MemoryGridModel::MemoryGridModel(QObject *parent) : QAbstractTableModel(parent) {}

void MemoryGridModel::setDump(const tagdump::TagDump &dump, Source source)
{
    beginResetModel();
    m_dump = dump;
    m_source = source;
    m_edits.clear();
    m_notes.clear();
    m_differing.clear();
    endResetModel();
}

QByteArray MemoryGridModel::bytesOf(int block) const
{
    return m_edits.value(block, m_dump.blocks.value(block).data);
}

tagdump::TagDump MemoryGridModel::shown() const
{
    tagdump::TagDump dump = m_dump;
    for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it) {
        dump.blocks[it.key()].data = it.value();
        dump.blocks[it.key()].unread.clear();
    }
    return dump;
}

QList<int> MemoryGridModel::changedBlocks() const
{
    QList<int> blocks = m_edits.keys();
    std::sort(blocks.begin(), blocks.end());
    return blocks;
}

tagdump::TagDump MemoryGridModel::changesOnly() const
{
    tagdump::TagDump dump = m_dump;
    for (int b = 0; b < dump.blocks.size(); ++b) {
        tagdump::Block &block = dump.blocks[b];
        if (m_edits.contains(b)) {
            block.data = m_edits.value(b);
            block.unread.clear();
        } else {
            block.data.clear();
            block.unread = QStringLiteral("not changed");
        }
    }
    return dump;
}

bool MemoryGridModel::blockEditable(int block) const
{
    const tagdump::Block &b = m_dump.blocks.at(block);
    // An unread block has no value to change, and a locked one cannot take
    // a write; neither is offered for editing.
    return m_editable && b.isRead() && !b.locked.value_or(false);
}

bool MemoryGridModel::setValueText(int block, const QString &text, QString *why)
{
    const auto refuse = [why](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (block < 0 || block >= m_dump.blocks.size())
        return refuse(QStringLiteral("There is no block %1.").arg(block));
    if (!blockEditable(block))
        return refuse(m_dump.blocks.at(block).locked.value_or(false)
                          ? QStringLiteral("Block %1 is locked.").arg(block)
                          : QStringLiteral("Block %1 was not read.").arg(block));
    const std::optional<QByteArray> bytes = ndef::blockBytes(text.trimmed(), m_dump.blockSize);
    if (!bytes)
        return refuse(QStringLiteral("Block %1 takes exactly %2 hexadecimal digits; it was left as it was.")
                          .arg(block)
                          .arg(2 * m_dump.blockSize));
    if (*bytes == m_dump.blocks.at(block).data)
        m_edits.remove(block);
    else
        m_edits.insert(block, *bytes);
    emit dataChanged(index(block, 0), index(block, ColumnCount - 1));
    return true;
}

void MemoryGridModel::setEditable(bool on)
{
    if (std::exchange(m_editable, on) != on && rowCount() > 0)
        emit dataChanged(index(0, ValueColumn), index(rowCount() - 1, ValueColumn));
}

void MemoryGridModel::setNotes(const QMap<int, QString> &notes)
{
    m_notes = notes;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void MemoryGridModel::setDiffering(const QList<int> &blocks)
{
    m_differing = blocks;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

int MemoryGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_dump.blocks.size());
}

int MemoryGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString MemoryGridModel::textOf(const QByteArray &bytes)
{
    QString text;
    for (char c : bytes)
        text += c >= 0x20 && c < 0x7F ? QChar::fromLatin1(c) : QLatin1Char('.');
    return text;
}

QString MemoryGridModel::noteText(int block) const
{
    QStringList parts;
    const tagdump::Block &b = m_dump.blocks.at(block);
    if (m_edits.contains(block))
        parts << QStringLiteral("changed");
    else if (!b.isRead())
        parts << QStringLiteral("not read: ") + b.unread;
    if (m_notes.contains(block))
        parts << m_notes.value(block);
    return parts.join(QStringLiteral("; "));
}

QVariant MemoryGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int block = index.row();
    const tagdump::Block &b = m_dump.blocks.at(block);
    const QByteArray bytes = bytesOf(block);
    const bool changed = m_edits.contains(block);
    const std::optional<bool> locked = b.locked;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        switch (index.column()) {
        case BlockColumn: return block;
        case ValueColumn: return ndef::blockValueText(bytes);
        case TextColumn: return textOf(bytes);
        case LockColumn: return !locked ? QStringLiteral("?") : *locked ? QStringLiteral("locked") : QString();
        case NoteColumn: return noteText(block);
        }
        break;
    case Qt::AccessibleTextRole:
        // Empty cells are read out as what they mean, not as silence.
        switch (index.column()) {
        case BlockColumn: return QStringLiteral("Block %1").arg(block);
        case ValueColumn: return bytes.isEmpty() ? QStringLiteral("not read") : ndef::blockValueText(bytes);
        case TextColumn: return bytes.isEmpty() ? QStringLiteral("not read") : textOf(bytes);
        case LockColumn:
            return !locked ? QStringLiteral("lock state not known")
                   : *locked ? QStringLiteral("locked")
                             : QStringLiteral("not locked");
        case NoteColumn: {
            const QString note = noteText(block);
            return note.isEmpty() ? QStringLiteral("no note") : note;
        }
        }
        break;
    case Qt::AccessibleDescriptionRole:
        switch (index.column()) {
        case ValueColumn:
            return QStringLiteral("Block %1 value, high byte first%2")
                .arg(block)
                .arg(blockEditable(block)
                         ? QStringLiteral(", %1 hexadecimal digits, editable").arg(2 * m_dump.blockSize)
                         : QString());
        case TextColumn: return QStringLiteral("Block %1 as text, memory order").arg(block);
        case LockColumn: return QStringLiteral("Block %1 lock").arg(block);
        case NoteColumn: return QStringLiteral("Block %1 note").arg(block);
        default: return {};
        }
    case Qt::FontRole:
        if (changed) {
            QFont font;
            font.setBold(true);
            return font;
        }
        break;
    case Qt::BackgroundRole:
        if (m_differing.contains(block))
            return QBrush(kDifferingBack);
        if (changed)
            return QBrush(kChangedBack);
        break;
    case Qt::TextAlignmentRole:
        if (index.column() == BlockColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    default: break;
    }
    return {};
}

bool MemoryGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || index.column() != ValueColumn)
        return false;
    QString why;
    if (setValueText(index.row(), value.toString(), &why))
        return true;
    emit editRefused(index.row(), why);
    return false;
}

Qt::ItemFlags MemoryGridModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == ValueColumn && blockEditable(index.row()))
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant MemoryGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case BlockColumn: return QStringLiteral("Block");
    case ValueColumn: return QStringLiteral("Value (high byte first)");
    case TextColumn: return QStringLiteral("Text (memory order)");
    case LockColumn: return QStringLiteral("Lock");
    case NoteColumn: return QStringLiteral("Note");
    default: return {};
    }
}

QByteArray MemoryGridModel::readMemory() const
{
    QByteArray memory;
    for (int b = 0; b < rowCount(); ++b) {
        const QByteArray bytes = bytesOf(b);
        if (bytes.isEmpty())
            break;
        memory += bytes;
    }
    return memory;
}

QWidget *BlockValueDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                          const QModelIndex &index) const
{
    auto *edit = qobject_cast<QLineEdit *>(QStyledItemDelegate::createEditor(parent, option, index));
    if (!edit)
        return nullptr;
    const int digits = int(index.data(Qt::EditRole).toString().size());
    edit->setMaxLength(digits);
    edit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,%1}").arg(digits)), edit));
    edit->setAccessibleName(index.data(Qt::AccessibleDescriptionRole).toString());
    return edit;
}

} // namespace vexa
