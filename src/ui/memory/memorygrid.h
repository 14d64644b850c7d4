// VexaHost - a tag's memory as a table: one row per block with its number,
// its value as the pages show and take it (high byte first), the same bytes
// as text in memory order (as strings lie on the tag), its lock state and a
// note (changed, not read, what Verify or a write found). Values are edited
// here, checked against the block size; the edits are kept beside the dump
// they change, so "Write Changes" knows exactly which blocks the operator
// touched.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QMap>
#include <QStyledItemDelegate>

#include "core/codecs/tagdump.h"

namespace vexa {

class MemoryGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { BlockColumn, ValueColumn, TextColumn, LockColumn, NoteColumn, ColumnCount };
    enum class Source { None, Tag, File };

    explicit MemoryGridModel(QObject *parent = nullptr);

    // A new memory to show: the edits and notes of the last one go.
    void setDump(const tagdump::TagDump &dump, Source source);
    Source source() const { return m_source; }
    // As read or opened, and as shown (edits in).
    const tagdump::TagDump &original() const { return m_dump; }
    tagdump::TagDump shown() const;
    // Blocks whose shown bytes differ from the original, in order.
    QList<int> changedBlocks() const;
    // The original with only the changed blocks holding bytes (the others
    // unread), which a restore writes and nothing else.
    tagdump::TagDump changesOnly() const;

    // Sets block `block` from a typed value: exactly the block's digits
    // (blanks around ignored, either case). False, with `why`, otherwise.
    bool setValueText(int block, const QString &text, QString *why = nullptr);
    // Off while a job has the tag.
    void setEditable(bool on);

    // What an operation found, per block; replaces the earlier notes.
    void setNotes(const QMap<int, QString> &notes);
    QString note(int block) const { return m_notes.value(block); }
    // Rows a Verify or a read-back found different.
    void setDiffering(const QList<int> &blocks);
    bool differs(int block) const { return m_differing.contains(block); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The memory bytes from block 0 up to the first unread block.
    QByteArray readMemory() const;
    // Printable ASCII as itself, anything else as a dot.
    static QString textOf(const QByteArray &bytes);

signals:
    // A typed value was not taken, and why (for the window's status line).
    void editRefused(int block, const QString &why);

private:
    QByteArray bytesOf(int block) const;
    QString noteText(int block) const;
    bool blockEditable(int block) const;

    tagdump::TagDump m_dump;
    Source m_source = Source::None;
    QHash<int, QByteArray> m_edits; // memory order
    QMap<int, QString> m_notes;
    QList<int> m_differing;
    bool m_editable = true;
};

// The value cell's editor: hexadecimal digits only, at most the block's.
class BlockValueDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
};

} // namespace vexa
