// VexaHost - the "ISO/IEC 15693" tab page: its command list, the option
// groups each command needs, the checks before sending, and the reports.
#pragma once

#include <QWidget>

#include "link/report.h"
#include "tags/iso15693.h"
#include "tags/tagcontext.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QTableWidget;

namespace vexa {

class CommandList;
class FieldEdit;

class IsoPage : public QWidget
{
    Q_OBJECT
public:
    explicit IsoPage(TagContext context, QWidget *parent = nullptr);

    // Go on this page: checks the fields, builds the frame and sends it.
    void sendIsoCommand();
    Report reportIsoResponse(const FrameView &frame);
    // Lays out the option groups for the selected command.
    void grpBxIsoCmdClick();
    // The data field's length limit after the block length option changed.
    void applyBlockLength();

    void chkBxUseISOAddressClick();
    void checkBoxUseInvAfiClick();
    void edtISOBlockNumberExit();
    void edtAddressExit();   // upper-cases the UID field
    void edtBlockDataExit(); // upper-cases the data field
    void fillIsoWriteGrid();

    CommandList *grpBxIsoCmd = nullptr;
    QGroupBox *gboxIsoAddress = nullptr;
    QCheckBox *chkBxUseISOAddress = nullptr;
    FieldEdit *edtISOAddress = nullptr;
    QGroupBox *gBoxIsoBlkNum = nullptr;
    FieldEdit *edtISOBlockNumber = nullptr;
    QGroupBox *gBoxIsoData = nullptr;
    FieldEdit *edtIsoData1 = nullptr;
    QGroupBox *gBoxNumBlocks = nullptr;
    QLineEdit *edtNumIsoBlocks = nullptr;
    QGroupBox *gBoxWriteBlocks = nullptr;
    QTableWidget *sGridWrtBlocks = nullptr;
    QGroupBox *gboxAFIOpt = nullptr;
    QCheckBox *checkBoxUseInvAfi = nullptr;
    QComboBox *cboxInvAfiCategory = nullptr;
    QLineEdit *edtInvAFI = nullptr;

private:
    void buildOptionGroups();
    iso15693::Request readRequest() const;
    void refuse(const Refusal<iso15693::Field> &refusal);

    TagContext m_context;
};

} // namespace vexa
