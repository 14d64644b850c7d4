// VexaHost - the "ISO/IEC 15693" tab page.
#include "isopage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/codecs/readeroptions.h"
#include "core/session/readersession.h"
#include "core/util/fieldlimits.h"
#include "core/util/operatorprompt.h"
#include "ui/pages/commandlist.h"
#include "ui/pages/fieldedit.h"
#include "ui/pages/pagescroll.h"

namespace vexa {

using namespace iso15693;

namespace {

// Grid cells edited in a line edit of at most `maxLength` characters.
class LimitedCellDelegate : public QStyledItemDelegate
{
public:
    LimitedCellDelegate(int maxLength, QObject *parent) : QStyledItemDelegate(parent), m_maxLength(maxLength) {}
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            line->setMaxLength(m_maxLength);
        return editor;
    }

private:
    int m_maxLength;
};

QGroupBox *group(const QString &title, QWidget *parent)
{
    auto *box = new QGroupBox(title, parent);
    new QVBoxLayout(box);
    return box;
}

QTableWidgetItem *fixedCell(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

IsoPage::IsoPage(TagContext context, QWidget *parent) : QWidget(parent), m_context(context)
{
    commandList = new CommandList(commandNames(), 2, this);
    commandList->setItemIndex(ViewOneBlock);
    buildOptionGroups();

    // The list and the groups scroll together when the page is short.
    auto *content = new QWidget(this);
    auto *layout = new QVBoxLayout(content);
    layout->addWidget(commandList);
    for (QWidget *box : {static_cast<QWidget *>(uidGroup), static_cast<QWidget *>(blockNumberGroup),
                         static_cast<QWidget *>(dataGroup), static_cast<QWidget *>(blockCountGroup),
                         static_cast<QWidget *>(writeBlocksGroup), static_cast<QWidget *>(afiGroup)})
        layout->addWidget(box);
    layout->addStretch();
    PageScrollArea::wrap(this, content);

    connect(commandList, &CommandList::selected, this, &IsoPage::showCommandOptions);
    connect(useUidCheck, &QCheckBox::toggled, this, &IsoPage::onUseUidToggled);
    connect(useAfiCheck, &QCheckBox::toggled, this, &IsoPage::onUseAfiToggled);
    connect(blockNumberEdit, &FieldEdit::exited, this, &IsoPage::checkBlockNumberField);
    connect(blockNumberEdit, &QLineEdit::textChanged, this, &IsoPage::fillIsoWriteGrid);
    connect(blockCountEdit, &QLineEdit::textChanged, this, &IsoPage::fillIsoWriteGrid);
    connect(uidEdit, &FieldEdit::exited, this, &IsoPage::upperCaseUid);
    connect(dataEdit, &FieldEdit::exited, this, &IsoPage::upperCaseData);

    const std::pair<QObject *, const char *> names[] = {
        {commandList, "grpBxIsoCmd"},          {uidGroup, "gboxIsoAddress"},
        {useUidCheck, "chkBxUseISOAddress"},   {uidEdit, "edtISOAddress"},
        {blockNumberGroup, "gBoxIsoBlkNum"},   {blockNumberEdit, "edtISOBlockNumber"},
        {dataGroup, "gBoxIsoData"},            {dataEdit, "edtIsoData1"},
        {blockCountGroup, "gBoxNumBlocks"},    {blockCountEdit, "edtNumIsoBlocks"},
        {writeBlocksGroup, "gBoxWriteBlocks"}, {writeBlocksGrid, "sGridWrtBlocks"},
        {afiGroup, "gboxAFIOpt"},              {useAfiCheck, "checkBoxUseInvAfi"},
        {afiFamilyCombo, "cboxInvAfiCategory"}, {afiValueEdit, "edtInvAFI"}};
    for (const auto &[object, name] : names)
        object->setObjectName(QLatin1String(name));
}

void IsoPage::buildOptionGroups()
{
    uidGroup = group(QStringLiteral("UID"), this);
    useUidCheck = new QCheckBox(QStringLiteral("Use UID"), uidGroup);
    uidEdit = new FieldEdit(uidGroup);
    uidEdit->setMaxLength(fields::kIsoUid.maxLength);
    uidEdit->setEnabled(false);
    uidGroup->layout()->addWidget(useUidCheck);
    uidGroup->layout()->addWidget(hexFieldRow(uidEdit, QStringLiteral("UID")));

    blockNumberGroup = group(QStringLiteral("Block Number"), this);
    blockNumberEdit = new FieldEdit(blockNumberGroup);
    blockNumberEdit->setMaxLength(fields::kIsoBlockNumber.maxLength);
    blockNumberEdit->setText(QStringLiteral("0"));
    blockNumberEdit->setAccessibleName(blockNumberGroup->title());
    blockNumberGroup->layout()->addWidget(blockNumberEdit);

    dataGroup = group(QStringLiteral("Data"), this);
    dataEdit = new FieldEdit(dataGroup);
    dataEdit->setMaxLength(dataMaxLength(m_context.options.isoBlockLength));
    dataGroup->layout()->addWidget(hexFieldRow(dataEdit, QStringLiteral("Data")));

    blockCountGroup = group(QStringLiteral("Number of Blocks"), this);
    blockCountEdit = new QLineEdit(QStringLiteral("1"), blockCountGroup);
    // Three digits cover every count a frame can hold; it also bounds the grid.
    blockCountEdit->setMaxLength(fields::kIsoBlockCount.maxLength);
    blockCountEdit->setAccessibleName(blockCountGroup->title());
    blockCountGroup->layout()->addWidget(blockCountEdit);

    writeBlocksGroup = group(QStringLiteral("Write Blocks"), this);
    writeBlocksGrid = new QTableWidget(1, 2, writeBlocksGroup);
    writeBlocksGrid->horizontalHeader()->hide();
    writeBlocksGrid->verticalHeader()->hide();
    writeBlocksGrid->setItem(0, 0, fixedCell(QStringLiteral("Block")));
    writeBlocksGrid->setItem(0, 1, fixedCell(QStringLiteral("Value")));
    // The designed widths, or wider where the font needs it: the caption
    // "Block" and a value of 16 hex digits stay whole.
    const QFontMetrics metrics = writeBlocksGrid->fontMetrics();
    const int padding = 2 * metrics.horizontalAdvance(QLatin1Char('0'));
    writeBlocksGrid->setColumnWidth(0, std::max(35, metrics.horizontalAdvance(QStringLiteral("Block")) + padding));
    writeBlocksGrid->setColumnWidth(1, std::max(106, metrics.horizontalAdvance(QString(16, QLatin1Char('0'))) + padding));
    // Always the caption row and at least four block rows in view.
    writeBlocksGrid->setMinimumHeight(5 * writeBlocksGrid->verticalHeader()->defaultSectionSize() +
                                      2 * writeBlocksGrid->frameWidth());
    writeBlocksGrid->setAccessibleName(writeBlocksGroup->title());
    // A value travels in 4 bytes: a ninth digit would push the first out of
    // the value without a word, so the cell takes no more than 8, as the
    // page's edit fields take no more than their values hold.
    writeBlocksGrid->setItemDelegateForColumn(1, new LimitedCellDelegate(fields::kIsoGridValue.maxLength, writeBlocksGrid));
    writeBlocksGroup->layout()->addWidget(writeBlocksGrid);

    afiGroup = group(QStringLiteral("AFI"), this);
    useAfiCheck = new QCheckBox(QStringLiteral("Use AFI"), afiGroup);
    afiFamilyCombo = new QComboBox(afiGroup);
    afiFamilyCombo->addItems(
        {QStringLiteral("0: All families"), QStringLiteral("1: Transport"), QStringLiteral("2: Financial"),
         QStringLiteral("3: ID/Access Control"), QStringLiteral("4: Telecomunication"), QStringLiteral("5: Medical"),
         QStringLiteral("6: Multimedia"), QStringLiteral("7: Gaming"), QStringLiteral("8: Data Storage"),
         QStringLiteral("9: Item Management"), QStringLiteral("A: Express Parcels"),
         QStringLiteral("B: Postal Services"), QStringLiteral("C: Airline Bags"), QStringLiteral("D: Future use 1"),
         QStringLiteral("E: Future use 2"), QStringLiteral("F: Future use 3")});
    afiFamilyCombo->setEnabled(false);
    afiFamilyCombo->setAccessibleName(QStringLiteral("AFI family"));
    afiValueEdit = new QLineEdit(QStringLiteral("0"), afiGroup);
    afiValueEdit->setMaxLength(fields::kAfiSubcategory.maxLength);
    afiValueEdit->setEnabled(false);
    auto *subLabel = new QLabel(QStringLiteral("AFI Subcategory"), afiGroup);
    subLabel->setBuddy(afiValueEdit);
    auto *subRow = new QHBoxLayout;
    subRow->addWidget(subLabel);
    subRow->addWidget(afiValueEdit);
    subRow->addWidget(new QLabel(QStringLiteral("Hex"), afiGroup));
    subRow->addStretch();
    afiGroup->layout()->addWidget(useAfiCheck);
    afiGroup->layout()->addWidget(afiFamilyCombo);
    static_cast<QVBoxLayout *>(afiGroup->layout())->addLayout(subRow);
}

void IsoPage::showCommandOptions()
{
    const int command = commandList->itemIndex();
    const Panel panel = panelFor(command, m_context.options.isoBlockLength);
    dataEdit->setMaxLength(panel.dataMaxLength);
    dataEdit->clear();

    uidGroup->setVisible(panel.uid);
    blockNumberGroup->setVisible(panel.blockNumber);
    dataGroup->setVisible(panel.data);
    blockCountGroup->setVisible(panel.numBlocks);
    writeBlocksGroup->setVisible(false);
    if (panel.writeBlocks) {
        fillIsoWriteGrid();
        writeBlocksGroup->setVisible(true);
    }
    afiGroup->setVisible(false);
    if (panel.afi) {
        useAfiCheck->setVisible(panel.afiUseCheckBox);
        if (panel.afiUseCheckBox) {
            onUseAfiToggled();
        } else {
            afiGroup->setEnabled(true);
            afiFamilyCombo->setEnabled(true);
            afiValueEdit->setEnabled(true);
        }
        afiGroup->setVisible(true);
    }
}

void IsoPage::applyBlockLength()
{
    // Program DSFID keeps its two digits until another command is chosen.
    if (commandList->itemIndex() != ProgramDsfid)
        dataEdit->setMaxLength(dataMaxLength(m_context.options.isoBlockLength));
}

void IsoPage::onUseUidToggled()
{
    uidEdit->setEnabled(useUidCheck->isChecked());
}

void IsoPage::onUseAfiToggled()
{
    const bool on = useAfiCheck->isChecked();
    afiFamilyCombo->setEnabled(on);
    afiValueEdit->setEnabled(on);
}

void IsoPage::checkBlockNumberField()
{
    const auto block = decimalText(blockNumberEdit->text());
    if (block && *block >= 256) {
        m_context.prompt.warning(QStringLiteral("Maximum block number is 255, please re-enter."));
        blockNumberEdit->setFocus();
    }
}

void IsoPage::upperCaseUid()
{
    upperCaseText(uidEdit);
}

void IsoPage::upperCaseData()
{
    upperCaseText(dataEdit);
}

void IsoPage::fillIsoWriteGrid()
{
    if (commandList->itemIndex() != ProgramManyBlocks)
        return;
    // While the operator is still typing a number, the grid stays as it was.
    const auto numbers = writeGridBlockNumbers(blockNumberEdit->text(), blockCountEdit->text());
    if (!numbers)
        return;
    writeBlocksGrid->setRowCount(int(numbers->size()) + 1);
    for (int row = 1; row <= numbers->size(); ++row) {
        writeBlocksGrid->setItem(row, 0, fixedCell(numbers->at(row - 1)));
        if (!writeBlocksGrid->item(row, 1))
            writeBlocksGrid->setItem(row, 1, new QTableWidgetItem);
    }
}

Request IsoPage::readRequest() const
{
    Request r;
    r.command = commandList->itemIndex();
    r.useUid = useUidCheck->isChecked();
    r.uid = uidEdit->text();
    r.blockNumber = blockNumberEdit->text();
    r.numBlocks = blockCountEdit->text();
    r.data = dataEdit->text();
    for (int row = 1; row < writeBlocksGrid->rowCount(); ++row) {
        const QTableWidgetItem *cell = writeBlocksGrid->item(row, 1);
        r.gridValues << (cell ? cell->text() : QString());
    }
    r.afiFamily = afiFamilyCombo->currentIndex();
    r.afiSubcategory = afiValueEdit->text();
    r.useAfi = useAfiCheck->isChecked();
    r.isoConfig = m_context.options.isoConfig;
    r.isoBlockLength = m_context.options.isoBlockLength;
    return r;
}

// The session has told the operator why; the focus goes where the fault is.
void IsoPage::focusRefused(const Refusal<Field> &refusal)
{
    QWidget *target = nullptr;
    switch (refusal.field) {
    case Field::Uid: target = uidEdit; break;
    case Field::BlockNumber: target = blockNumberEdit; break;
    case Field::NumBlocks: target = blockCountEdit; break;
    case Field::Data: target = dataEdit; break;
    case Field::AfiSubcategory: target = afiValueEdit; break;
    case Field::WriteGrid:
        writeBlocksGrid->setCurrentCell(refusal.index, 1);
        target = writeBlocksGrid;
        break;
    case Field::None: break;
    }
    if (target)
        target->setFocus();
}

void IsoPage::sendIsoCommand()
{
    const int command = commandList->itemIndex();
    if (command < 0)
        return;
    const Request request = readRequest();
    const SendResult result = m_context.session.send(request);
    if (result.outcome == SendResult::Outcome::Refused) {
        focusRefused({result.refusal, Field(result.field), result.index});
        return;
    }
    if (result.outcome == SendResult::Outcome::Declined)
        return;
    // The texts that were converted stand upper-cased in their fields.
    if (command == ProgramOneBlock || command == ProgramDsfid)
        upperCaseText(dataEdit);
    if (carriesUid(request))
        upperCaseText(uidEdit);
    if (command == ProgramAfi)
        upperCaseText(afiValueEdit);
}

} // namespace vexa
