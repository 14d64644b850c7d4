// VexaHost - the "Tag-it" tab page: its command list, the option groups
// each command needs, the checks before sending, and the reports.
#pragma once

#include <array>
#include <QWidget>

#include "link/report.h"
#include "tags/tagcontext.h"
#include "tags/tagit.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace vexa {

class CommandList;
class FieldEdit;

class TagitPage : public QWidget
{
    Q_OBJECT
public:
    explicit TagitPage(TagContext context, QWidget *parent = nullptr);

    // Go on this page: checks the fields, builds the frame and sends it.
    void sendTagitCommand();
    Report reportTagitResponse(const FrameView &frame);
    // Lays out the option groups for the selected command.
    void grpBxCmdTypeClick();
    // Shows as many data fields as blocks while Write Multi-block is chosen.
    void showTagitDataFields(int count);

    void chkBxUseAddressClick();
    void cmbBxNumBlocksChange();
    void cmbBxBlockNumChange();
    void edtAddressExit();
    void edtBlockDataExit(QLineEdit *field);

    CommandList *grpBxCmdType = nullptr;
    QGroupBox *grpBxAddress = nullptr;
    QCheckBox *chkBxUseAddress = nullptr;
    FieldEdit *edtAddress = nullptr;
    QGroupBox *grpBxBlockNum = nullptr;
    QComboBox *cmbBxBlockNum = nullptr;
    QGroupBox *grpBxBlockData = nullptr;
    QComboBox *cmbBxNumBlocks = nullptr;
    FieldEdit *edtBlockData = nullptr;
    QLabel *Label3 = nullptr;
    FieldEdit *edtBlockData1 = nullptr, *edtBlockData2 = nullptr, *edtBlockData3 = nullptr,
              *edtBlockData4 = nullptr, *edtBlockData5 = nullptr, *edtBlockData6 = nullptr,
              *edtBlockData7 = nullptr;
    QLabel *lblHex1 = nullptr, *lblHex2 = nullptr, *lblHex3 = nullptr, *lblHex4 = nullptr,
           *lblHex5 = nullptr, *lblHex6 = nullptr, *lblHex7 = nullptr;

    // edtBlockData, edtBlockData1 .. edtBlockData7 by index.
    FieldEdit *blockDataField(int index) const { return m_dataFields[size_t(index)]; }

private:
    void buildOptionGroups();
    tagit::Request readRequest() const;
    void refuse(const Refusal<tagit::Field> &refusal);
    void setDataFieldShown(int index, bool shown);

    TagContext m_context;
    std::array<FieldEdit *, tagit::kDataFields> m_dataFields{};
    std::array<QWidget *, tagit::kDataFields> m_dataRows{};
};

} // namespace vexa
