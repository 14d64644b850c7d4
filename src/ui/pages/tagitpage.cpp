// VexaHost - the "Tag-it" tab page.
#include "tagitpage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "core/session/readersession.h"
#include "core/util/fieldlimits.h"
#include "core/util/operatorprompt.h"
#include "ui/pages/commandlist.h"
#include "ui/pages/fieldedit.h"
#include "ui/pages/pagescroll.h"

namespace vexa {

using namespace tagit;

namespace {

QComboBox *digitCombo(const fields::Limit &limit, int first, const QString &name, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    for (int i = first; i <= limit.high; ++i)
        box->addItem(QString::number(i));
    box->lineEdit()->setMaxLength(limit.maxLength);
    box->setAccessibleName(name);
    return box;
}

} // namespace

TagitPage::TagitPage(TagContext context, QWidget *parent) : QWidget(parent), m_context(context)
{
    commandList = new CommandList(commandNames(), 2, this);
    commandList->setItemIndex(ReadTagVersion);
    buildOptionGroups();

    // The list and the groups scroll together when the page is short.
    auto *content = new QWidget(this);
    auto *layout = new QVBoxLayout(content);
    layout->addWidget(commandList);
    layout->addWidget(addressGroup);
    layout->addWidget(blockNumberGroup);
    layout->addWidget(blockDataGroup);
    layout->addStretch();
    PageScrollArea::wrap(this, content);

    // The option groups appear once the operator picks a command.
    addressGroup->hide();
    blockNumberGroup->hide();
    blockDataGroup->hide();

    connect(commandList, &CommandList::selected, this, &TagitPage::showCommandOptions);
    connect(useAddressCheck, &QCheckBox::toggled, this, &TagitPage::onUseAddressToggled);
    connect(blockCountCombo, &QComboBox::editTextChanged, this, &TagitPage::onBlockCountChanged);
    connect(blockNumberCombo, &QComboBox::editTextChanged, this, &TagitPage::onBlockNumberChanged);
    connect(addressEdit, &FieldEdit::exited, this, &TagitPage::upperCaseAddress);
    for (FieldEdit *field : m_dataFields)
        connect(field, &FieldEdit::exited, this, [this, field] { upperCaseData(field); });

    const std::pair<QObject *, const char *> names[] = {
        {commandList, "grpBxCmdType"},         {addressGroup, "grpBxAddress"},
        {useAddressCheck, "chkBxUseAddress"},  {addressEdit, "edtAddress"},
        {blockNumberGroup, "grpBxBlockNum"},   {blockNumberCombo, "cmbBxBlockNum"},
        {blockDataGroup, "grpBxBlockData"},    {blockCountCombo, "cmbBxNumBlocks"}};
    for (const auto &[object, name] : names)
        object->setObjectName(QLatin1String(name));
}

void TagitPage::buildOptionGroups()
{
    addressGroup = new QGroupBox(QStringLiteral("Address"), this);
    useAddressCheck = new QCheckBox(QStringLiteral("Use Address"), addressGroup);
    addressEdit = new FieldEdit(addressGroup);
    addressEdit->setMaxLength(fields::kTagitAddress.maxLength);
    addressEdit->setEnabled(false);
    auto *addressLayout = new QVBoxLayout(addressGroup);
    addressLayout->addWidget(useAddressCheck);
    addressLayout->addWidget(hexFieldRow(addressEdit, QStringLiteral("Address")));

    blockNumberGroup = new QGroupBox(QStringLiteral("Block Number"), this);
    blockNumberCombo = digitCombo(fields::kTagitBlockNumber, 0, blockNumberGroup->title(), blockNumberGroup);
    (new QVBoxLayout(blockNumberGroup))->addWidget(blockNumberCombo);

    blockDataGroup = new QGroupBox(QStringLiteral("Block Data"), this);
    auto *dataLayout = new QVBoxLayout(blockDataGroup);
    blockCountCombo = digitCombo(fields::kTagitBlockCount, 1, QStringLiteral("Number of Blocks"), blockDataGroup);
    blockCountCombo->hide();
    dataLayout->addWidget(blockCountCombo);

    static const char *const fieldNames[kDataFields] = {"edtBlockData",  "edtBlockData1", "edtBlockData2",
                                                        "edtBlockData3", "edtBlockData4", "edtBlockData5",
                                                        "edtBlockData6", "edtBlockData7"};
    static const char *const labelNames[kDataFields] = {"Label3",  "lblHex1", "lblHex2", "lblHex3",
                                                        "lblHex4", "lblHex5", "lblHex6", "lblHex7"};
    for (int i = 0; i < kDataFields; ++i) {
        auto *field = new FieldEdit(blockDataGroup);
        field->setMaxLength(fields::kTagitData.maxLength);
        const QString name = i == 0 ? QStringLiteral("Block Data") : QStringLiteral("Block Data %1").arg(i + 1);
        field->setObjectName(QLatin1String(fieldNames[i]));
        QLabel *label = nullptr;
        QWidget *row = hexFieldRow(field, name, &label);
        if (label)
            label->setObjectName(QLatin1String(labelNames[i]));
        dataLayout->addWidget(row);
        m_dataFields[size_t(i)] = field;
        m_dataLabels[size_t(i)] = label;
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

void TagitPage::showCommandOptions()
{
    blockDataGroup->setTitle(QStringLiteral("Block Data"));
    blockCountCombo->hide();
    setDataFieldShown(0, true);
    showTagitDataFields(0);

    const auto panel = panelFor(commandList->itemIndex());
    if (!panel)
        return; // Inventory leaves the groups as they are
    addressGroup->setVisible(panel->address);
    blockNumberGroup->setVisible(panel->blockNumber);
    blockDataGroup->setVisible(panel->blockData);
    blockDataGroup->setTitle(panel->blockDataCaption);
    blockCountCombo->setVisible(panel->numBlocksBox);
    setDataFieldShown(0, panel->dataField);
    if (panel->multiData)
        showTagitDataFields(decimalText(blockCountCombo->currentText()).value_or(0));
}

void TagitPage::showTagitDataFields(int count)
{
    const bool multi = commandList->itemIndex() == WriteMultiBlock;
    for (int i = 1; i < kDataFields; ++i)
        setDataFieldShown(i, multi && count > i);
}

void TagitPage::onUseAddressToggled()
{
    addressEdit->setEnabled(useAddressCheck->isChecked());
}

void TagitPage::onBlockCountChanged()
{
    const QString text = blockCountCombo->currentText();
    if (const auto message = numBlocksRangeMessage(text)) {
        m_context.prompt.warning(*message);
        blockCountCombo->setFocus();
        return;
    }
    // A text that is not a number yet (being typed) changes nothing.
    if (const auto count = decimalText(text))
        showTagitDataFields(*count);
}

void TagitPage::onBlockNumberChanged()
{
    if (const auto message = blockNumberRangeMessage(blockNumberCombo->currentText())) {
        m_context.prompt.warning(*message);
        blockNumberCombo->setFocus();
    }
}

void TagitPage::upperCaseAddress()
{
    upperCaseText(addressEdit);
}

void TagitPage::upperCaseData(QLineEdit *field)
{
    upperCaseText(field);
}

Request TagitPage::readRequest() const
{
    Request r;
    r.command = commandList->itemIndex();
    r.useAddress = useAddressCheck->isChecked();
    r.address = addressEdit->text();
    r.blockNumber = blockNumberCombo->currentText();
    r.numBlocks = blockCountCombo->currentText();
    for (int i = 0; i < kDataFields; ++i)
        r.blockData[size_t(i)] = m_dataFields[size_t(i)]->text();
    return r;
}

// The session has told the operator why; the focus goes where the fault is.
void TagitPage::focusRefused(const Refusal<Field> &refusal)
{
    switch (refusal.field) {
    case Field::Address: addressEdit->setFocus(); break;
    case Field::BlockNumber: blockNumberCombo->setFocus(); break;
    case Field::NumBlocks: blockCountCombo->setFocus(); break;
    case Field::BlockData: m_dataFields[size_t(refusal.index)]->setFocus(); break;
    case Field::None: break;
    }
}

void TagitPage::sendTagitCommand()
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
    if (command == WriteBlock || command == WriteAndLockBlock)
        upperCaseText(m_dataFields[0]);
    if (carriesAddress(request))
        upperCaseText(addressEdit);
}

} // namespace vexa
