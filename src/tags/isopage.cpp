// VexaHost - the "ISO/IEC 15693" tab page.
#include "isopage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/operatorprompt.h"
#include "config/readeroptions.h"
#include "link/readerlink.h"
#include "tags/commandlist.h"
#include "tags/fieldedit.h"

namespace vexa {

using namespace iso15693;

namespace {

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
    grpBxIsoCmd = new CommandList(commandNames(), 2, this);
    grpBxIsoCmd->setItemIndex(ViewOneBlock);
    buildOptionGroups();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(grpBxIsoCmd);
    for (QWidget *box : {static_cast<QWidget *>(gboxIsoAddress), static_cast<QWidget *>(gBoxIsoBlkNum),
                         static_cast<QWidget *>(gBoxIsoData), static_cast<QWidget *>(gBoxNumBlocks),
                         static_cast<QWidget *>(gBoxWriteBlocks), static_cast<QWidget *>(gboxAFIOpt)})
        layout->addWidget(box);
    layout->addStretch();

    connect(grpBxIsoCmd, &CommandList::clicked, this, &IsoPage::grpBxIsoCmdClick);
    connect(chkBxUseISOAddress, &QCheckBox::toggled, this, &IsoPage::chkBxUseISOAddressClick);
    connect(checkBoxUseInvAfi, &QCheckBox::toggled, this, &IsoPage::checkBoxUseInvAfiClick);
    connect(edtISOBlockNumber, &FieldEdit::exited, this, &IsoPage::edtISOBlockNumberExit);
    connect(edtISOBlockNumber, &QLineEdit::textChanged, this, &IsoPage::fillIsoWriteGrid);
    connect(edtNumIsoBlocks, &QLineEdit::textChanged, this, &IsoPage::fillIsoWriteGrid);
    connect(edtISOAddress, &FieldEdit::exited, this, &IsoPage::edtAddressExit);
    connect(edtIsoData1, &FieldEdit::exited, this, &IsoPage::edtBlockDataExit);
}

void IsoPage::buildOptionGroups()
{
    gboxIsoAddress = group(QStringLiteral("UID"), this);
    chkBxUseISOAddress = new QCheckBox(QStringLiteral("Use UID"), gboxIsoAddress);
    edtISOAddress = new FieldEdit(gboxIsoAddress);
    edtISOAddress->setMaxLength(16);
    edtISOAddress->setEnabled(false);
    gboxIsoAddress->layout()->addWidget(chkBxUseISOAddress);
    gboxIsoAddress->layout()->addWidget(hexFieldRow(edtISOAddress, QStringLiteral("UID")));

    gBoxIsoBlkNum = group(QStringLiteral("Block Number"), this);
    edtISOBlockNumber = new FieldEdit(gBoxIsoBlkNum);
    edtISOBlockNumber->setMaxLength(3);
    edtISOBlockNumber->setText(QStringLiteral("0"));
    edtISOBlockNumber->setAccessibleName(gBoxIsoBlkNum->title());
    gBoxIsoBlkNum->layout()->addWidget(edtISOBlockNumber);

    gBoxIsoData = group(QStringLiteral("Data"), this);
    edtIsoData1 = new FieldEdit(gBoxIsoData);
    edtIsoData1->setMaxLength(dataMaxLength(m_context.options.isoBlockLength));
    gBoxIsoData->layout()->addWidget(hexFieldRow(edtIsoData1, QStringLiteral("Data")));

    gBoxNumBlocks = group(QStringLiteral("Number of Blocks"), this);
    edtNumIsoBlocks = new QLineEdit(QStringLiteral("1"), gBoxNumBlocks);
    // Three digits cover every count a frame can hold; it also bounds the grid.
    edtNumIsoBlocks->setMaxLength(3);
    edtNumIsoBlocks->setAccessibleName(gBoxNumBlocks->title());
    gBoxNumBlocks->layout()->addWidget(edtNumIsoBlocks);

    gBoxWriteBlocks = group(QStringLiteral("Write Blocks"), this);
    sGridWrtBlocks = new QTableWidget(1, 2, gBoxWriteBlocks);
    sGridWrtBlocks->horizontalHeader()->hide();
    sGridWrtBlocks->verticalHeader()->hide();
    sGridWrtBlocks->setColumnWidth(0, 35);
    sGridWrtBlocks->setColumnWidth(1, 106);
    sGridWrtBlocks->setItem(0, 0, fixedCell(QStringLiteral("Block")));
    sGridWrtBlocks->setItem(0, 1, fixedCell(QStringLiteral("Value")));
    sGridWrtBlocks->setAccessibleName(gBoxWriteBlocks->title());
    gBoxWriteBlocks->layout()->addWidget(sGridWrtBlocks);

    gboxAFIOpt = group(QStringLiteral("AFI"), this);
    checkBoxUseInvAfi = new QCheckBox(QStringLiteral("Use AFI"), gboxAFIOpt);
    cboxInvAfiCategory = new QComboBox(gboxAFIOpt);
    cboxInvAfiCategory->addItems(
        {QStringLiteral("0: All families"), QStringLiteral("1: Transport"), QStringLiteral("2: Financial"),
         QStringLiteral("3: ID/Access Control"), QStringLiteral("4: Telecomunication"), QStringLiteral("5: Medical"),
         QStringLiteral("6: Multimedia"), QStringLiteral("7: Gaming"), QStringLiteral("8: Data Storage"),
         QStringLiteral("9: Item Management"), QStringLiteral("A: Express Parcels"),
         QStringLiteral("B: Postal Services"), QStringLiteral("C: Airline Bags"), QStringLiteral("D: Future use 1"),
         QStringLiteral("E: Future use 2"), QStringLiteral("F: Future use 3")});
    cboxInvAfiCategory->setEnabled(false);
    cboxInvAfiCategory->setAccessibleName(QStringLiteral("AFI family"));
    edtInvAFI = new QLineEdit(QStringLiteral("0"), gboxAFIOpt);
    edtInvAFI->setMaxLength(1);
    edtInvAFI->setEnabled(false);
    auto *subLabel = new QLabel(QStringLiteral("AFI Subcategory"), gboxAFIOpt);
    subLabel->setBuddy(edtInvAFI);
    auto *subRow = new QHBoxLayout;
    subRow->addWidget(subLabel);
    subRow->addWidget(edtInvAFI);
    subRow->addWidget(new QLabel(QStringLiteral("Hex"), gboxAFIOpt));
    subRow->addStretch();
    gboxAFIOpt->layout()->addWidget(checkBoxUseInvAfi);
    gboxAFIOpt->layout()->addWidget(cboxInvAfiCategory);
    static_cast<QVBoxLayout *>(gboxAFIOpt->layout())->addLayout(subRow);
}

void IsoPage::grpBxIsoCmdClick()
{
    const int command = grpBxIsoCmd->itemIndex();
    const Panel panel = panelFor(command, m_context.options.isoBlockLength);
    edtIsoData1->setMaxLength(panel.dataMaxLength);
    edtIsoData1->clear();

    gboxIsoAddress->setVisible(panel.uid);
    gBoxIsoBlkNum->setVisible(panel.blockNumber);
    gBoxIsoData->setVisible(panel.data);
    gBoxNumBlocks->setVisible(panel.numBlocks);
    gBoxWriteBlocks->setVisible(false);
    if (panel.writeBlocks) {
        fillIsoWriteGrid();
        gBoxWriteBlocks->setVisible(true);
    }
    gboxAFIOpt->setVisible(false);
    if (panel.afi) {
        checkBoxUseInvAfi->setVisible(panel.afiUseCheckBox);
        if (panel.afiUseCheckBox) {
            checkBoxUseInvAfiClick();
        } else {
            gboxAFIOpt->setEnabled(true);
            cboxInvAfiCategory->setEnabled(true);
            edtInvAFI->setEnabled(true);
        }
        gboxAFIOpt->setVisible(true);
    }
}

void IsoPage::applyBlockLength()
{
    // Program DSFID keeps its two digits until another command is chosen.
    if (grpBxIsoCmd->itemIndex() != ProgramDsfid)
        edtIsoData1->setMaxLength(dataMaxLength(m_context.options.isoBlockLength));
}

void IsoPage::chkBxUseISOAddressClick()
{
    edtISOAddress->setEnabled(chkBxUseISOAddress->isChecked());
}

void IsoPage::checkBoxUseInvAfiClick()
{
    const bool on = checkBoxUseInvAfi->isChecked();
    cboxInvAfiCategory->setEnabled(on);
    edtInvAFI->setEnabled(on);
}

void IsoPage::edtISOBlockNumberExit()
{
    const auto block = decimalText(edtISOBlockNumber->text());
    if (block && *block >= 256) {
        m_context.prompt.warning(QStringLiteral("Maximum block number is 255, please re-enter."));
        edtISOBlockNumber->setFocus();
    }
}

void IsoPage::edtAddressExit()
{
    upperCaseText(edtISOAddress);
}

void IsoPage::edtBlockDataExit()
{
    upperCaseText(edtIsoData1);
}

void IsoPage::fillIsoWriteGrid()
{
    if (grpBxIsoCmd->itemIndex() != ProgramManyBlocks)
        return;
    // While the operator is still typing a number, the grid stays as it was.
    const auto numbers = writeGridBlockNumbers(edtISOBlockNumber->text(), edtNumIsoBlocks->text());
    if (!numbers)
        return;
    sGridWrtBlocks->setRowCount(int(numbers->size()) + 1);
    for (int row = 1; row <= numbers->size(); ++row) {
        sGridWrtBlocks->setItem(row, 0, fixedCell(numbers->at(row - 1)));
        if (!sGridWrtBlocks->item(row, 1))
            sGridWrtBlocks->setItem(row, 1, new QTableWidgetItem);
    }
}

Request IsoPage::readRequest() const
{
    Request r;
    r.command = grpBxIsoCmd->itemIndex();
    r.useUid = chkBxUseISOAddress->isChecked();
    r.uid = edtISOAddress->text();
    r.blockNumber = edtISOBlockNumber->text();
    r.numBlocks = edtNumIsoBlocks->text();
    r.data = edtIsoData1->text();
    for (int row = 1; row < sGridWrtBlocks->rowCount(); ++row) {
        const QTableWidgetItem *cell = sGridWrtBlocks->item(row, 1);
        r.gridValues << (cell ? cell->text() : QString());
    }
    r.afiFamily = cboxInvAfiCategory->currentIndex();
    r.afiSubcategory = edtInvAFI->text();
    r.useAfi = checkBoxUseInvAfi->isChecked();
    r.isoConfig = m_context.options.isoConfig;
    r.isoBlockLength = m_context.options.isoBlockLength;
    return r;
}

void IsoPage::refuse(const Refusal<Field> &refusal)
{
    m_context.prompt.warning(refusal.message);
    QWidget *target = nullptr;
    switch (refusal.field) {
    case Field::Uid: target = edtISOAddress; break;
    case Field::BlockNumber: target = edtISOBlockNumber; break;
    case Field::NumBlocks: target = edtNumIsoBlocks; break;
    case Field::Data: target = edtIsoData1; break;
    case Field::AfiSubcategory: target = edtInvAFI; break;
    case Field::WriteGrid:
        sGridWrtBlocks->setCurrentCell(refusal.index, 1);
        target = sGridWrtBlocks;
        break;
    case Field::None: break;
    }
    if (target)
        target->setFocus();
}

void IsoPage::sendIsoCommand()
{
    const int command = grpBxIsoCmd->itemIndex();
    if (command < 0)
        return;
    if (const auto refusal = checkFields(readRequest())) {
        refuse(*refusal);
        return;
    }
    const QString question = confirmation(command);
    if (!question.isEmpty() && !m_context.prompt.confirm(question))
        return;

    // The texts that are converted stand upper-cased in their fields.
    if (command == ProgramOneBlock || command == ProgramDsfid)
        upperCaseText(edtIsoData1);
    if (carriesUid(readRequest()))
        upperCaseText(edtISOAddress);
    if (command == ProgramAfi)
        upperCaseText(edtInvAFI);

    CommandBuffer frame{};
    const Built<Field> built = build(readRequest(), frame);
    if (!built.ok()) {
        refuse(*built.refusal);
        return;
    }
    ReaderLink &link = m_context.link;
    link.commandBuffer = frame;
    link.commandLength = built.length;
    link.sendFrame();
}

Report IsoPage::reportIsoResponse(const FrameView &frame)
{
    return reportResponse(frame, m_context.options.isoBlockLength);
}

} // namespace vexa
