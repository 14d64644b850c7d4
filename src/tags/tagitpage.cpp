// VexaHost - the "Tag-it" tab page.
#include "tagitpage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/operatorprompt.h"
#include "link/readerlink.h"
#include "tags/commandlist.h"
#include "tags/fieldedit.h"

namespace vexa {

using namespace tagit;

namespace {

QComboBox *digitCombo(int first, int last, const QString &name, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    for (int i = first; i <= last; ++i)
        box->addItem(QString::number(i));
    box->lineEdit()->setMaxLength(1);
    box->setAccessibleName(name);
    return box;
}

} // namespace

TagitPage::TagitPage(TagContext context, QWidget *parent) : QWidget(parent), m_context(context)
{
    grpBxCmdType = new CommandList(commandNames(), 2, this);
    grpBxCmdType->setItemIndex(ReadTagVersion);
    buildOptionGroups();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(grpBxCmdType);
    layout->addWidget(grpBxAddress);
    layout->addWidget(grpBxBlockNum);
    layout->addWidget(grpBxBlockData);
    layout->addStretch();

    // The option groups appear once the operator picks a command.
    grpBxAddress->hide();
    grpBxBlockNum->hide();
    grpBxBlockData->hide();

    connect(grpBxCmdType, &CommandList::clicked, this, &TagitPage::grpBxCmdTypeClick);
    connect(chkBxUseAddress, &QCheckBox::toggled, this, &TagitPage::chkBxUseAddressClick);
    connect(cmbBxNumBlocks, &QComboBox::editTextChanged, this, &TagitPage::cmbBxNumBlocksChange);
    connect(cmbBxBlockNum, &QComboBox::editTextChanged, this, &TagitPage::cmbBxBlockNumChange);
    connect(edtAddress, &FieldEdit::exited, this, &TagitPage::edtAddressExit);
    for (FieldEdit *field : m_dataFields)
        connect(field, &FieldEdit::exited, this, [this, field] { edtBlockDataExit(field); });
}

void TagitPage::buildOptionGroups()
{
    grpBxAddress = new QGroupBox(QStringLiteral("Address"), this);
    chkBxUseAddress = new QCheckBox(QStringLiteral("Use Address"), grpBxAddress);
    edtAddress = new FieldEdit(grpBxAddress);
    edtAddress->setMaxLength(8);
    edtAddress->setEnabled(false);
    auto *addressLayout = new QVBoxLayout(grpBxAddress);
    addressLayout->addWidget(chkBxUseAddress);
    addressLayout->addWidget(hexFieldRow(edtAddress, QStringLiteral("Address")));

    grpBxBlockNum = new QGroupBox(QStringLiteral("Block Number"), this);
    cmbBxBlockNum = digitCombo(0, kMaxBlockNumber, grpBxBlockNum->title(), grpBxBlockNum);
    (new QVBoxLayout(grpBxBlockNum))->addWidget(cmbBxBlockNum);

    grpBxBlockData = new QGroupBox(QStringLiteral("Block Data"), this);
    auto *dataLayout = new QVBoxLayout(grpBxBlockData);
    cmbBxNumBlocks = digitCombo(1, kMaxNumBlocks, QStringLiteral("Number of Blocks"), grpBxBlockData);
    cmbBxNumBlocks->hide();
    dataLayout->addWidget(cmbBxNumBlocks);

    std::array<FieldEdit **, kDataFields> fields = {&edtBlockData,  &edtBlockData1, &edtBlockData2,
                                                    &edtBlockData3, &edtBlockData4, &edtBlockData5,
                                                    &edtBlockData6, &edtBlockData7};
    std::array<QLabel **, kDataFields> labels = {&Label3, &lblHex1, &lblHex2, &lblHex3,
                                                 &lblHex4, &lblHex5, &lblHex6, &lblHex7};
    for (int i = 0; i < kDataFields; ++i) {
        auto *field = new FieldEdit(grpBxBlockData);
        field->setMaxLength(8);
        const QString name = i == 0 ? QStringLiteral("Block Data") : QStringLiteral("Block Data %1").arg(i + 1);
        QWidget *row = hexFieldRow(field, name, labels[size_t(i)]);
        dataLayout->addWidget(row);
        *fields[size_t(i)] = field;
        m_dataFields[size_t(i)] = field;
        m_dataRows[size_t(i)] = row;
        if (i > 0)
            setDataFieldShown(i, false);
    }
}

void TagitPage::setDataFieldShown(int index, bool shown)
{
    // The field and its label are shown and hidden together with their row.
    QWidget *row = m_dataRows[size_t(index)];
    const auto children = row->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *child : children)
        child->setVisible(shown);
    row->setVisible(shown);
}

void TagitPage::grpBxCmdTypeClick()
{
    grpBxBlockData->setTitle(QStringLiteral("Block Data"));
    cmbBxNumBlocks->hide();
    setDataFieldShown(0, true);
    showTagitDataFields(0);

    const auto panel = panelFor(grpBxCmdType->itemIndex());
    if (!panel)
        return; // Inventory leaves the groups as they are
    grpBxAddress->setVisible(panel->address);
    grpBxBlockNum->setVisible(panel->blockNumber);
    grpBxBlockData->setVisible(panel->blockData);
    grpBxBlockData->setTitle(panel->blockDataCaption);
    cmbBxNumBlocks->setVisible(panel->numBlocksBox);
    setDataFieldShown(0, panel->dataField);
    if (panel->multiData)
        showTagitDataFields(decimalText(cmbBxNumBlocks->currentText()).value_or(0));
}

void TagitPage::showTagitDataFields(int count)
{
    const bool multi = grpBxCmdType->itemIndex() == WriteMultiBlock;
    for (int i = 1; i < kDataFields; ++i)
        setDataFieldShown(i, multi && count > i);
}

void TagitPage::chkBxUseAddressClick()
{
    edtAddress->setEnabled(chkBxUseAddress->isChecked());
}

void TagitPage::cmbBxNumBlocksChange()
{
    const QString text = cmbBxNumBlocks->currentText();
    if (const auto message = numBlocksRangeMessage(text)) {
        m_context.prompt.warning(*message);
        cmbBxNumBlocks->setFocus();
        return;
    }
    // A text that is not a number yet (being typed) changes nothing.
    if (const auto count = decimalText(text))
        showTagitDataFields(*count);
}

void TagitPage::cmbBxBlockNumChange()
{
    if (const auto message = blockNumberRangeMessage(cmbBxBlockNum->currentText())) {
        m_context.prompt.warning(*message);
        cmbBxBlockNum->setFocus();
    }
}

void TagitPage::edtAddressExit()
{
    upperCaseText(edtAddress);
}

void TagitPage::edtBlockDataExit(QLineEdit *field)
{
    upperCaseText(field);
}

Request TagitPage::readRequest() const
{
    Request r;
    r.command = grpBxCmdType->itemIndex();
    r.useAddress = chkBxUseAddress->isChecked();
    r.address = edtAddress->text();
    r.blockNumber = cmbBxBlockNum->currentText();
    r.numBlocks = cmbBxNumBlocks->currentText();
    for (int i = 0; i < kDataFields; ++i)
        r.blockData[size_t(i)] = m_dataFields[size_t(i)]->text();
    return r;
}

void TagitPage::refuse(const Refusal<Field> &refusal)
{
    m_context.prompt.warning(refusal.message);
    switch (refusal.field) {
    case Field::Address: edtAddress->setFocus(); break;
    case Field::BlockNumber: cmbBxBlockNum->setFocus(); break;
    case Field::NumBlocks: cmbBxNumBlocks->setFocus(); break;
    case Field::BlockData: m_dataFields[size_t(refusal.index)]->setFocus(); break;
    case Field::None: break;
    }
}

void TagitPage::sendTagitCommand()
{
    const int command = grpBxCmdType->itemIndex();
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
    if (command == WriteBlock || command == WriteAndLockBlock)
        upperCaseText(edtBlockData);
    if (carriesAddress(readRequest()))
        upperCaseText(edtAddress);

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

Report TagitPage::reportTagitResponse(const FrameView &frame)
{
    return reportResponse(frame, frame.available());
}

} // namespace vexa
