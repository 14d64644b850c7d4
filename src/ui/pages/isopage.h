// VexaHost - the "ISO/IEC 15693" tab page: its command list, the option
// groups each command needs, the checks before sending, and the reports.
#pragma once

#include <QWidget>

#include "core/codecs/iso15693.h"
#include "core/wire/report.h"
#include "ui/pages/tagcontext.h"

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
    // Lays out the option groups for the selected command.
    void showCommandOptions();
    // The data field's length limit after the block length option changed.
    void applyBlockLength();

    void onUseUidToggled();
    void onUseAfiToggled();
    void checkBlockNumberField();
    void upperCaseUid();   // upper-cases the UID field
    void upperCaseData(); // upper-cases the data field
    void fillIsoWriteGrid();

    CommandList *commandList = nullptr;
    QGroupBox *uidGroup = nullptr;
    QCheckBox *useUidCheck = nullptr;
    FieldEdit *uidEdit = nullptr;
    QGroupBox *blockNumberGroup = nullptr;
    FieldEdit *blockNumberEdit = nullptr;
    QGroupBox *dataGroup = nullptr;
    FieldEdit *dataEdit = nullptr;
    QGroupBox *blockCountGroup = nullptr;
    QLineEdit *blockCountEdit = nullptr;
    QGroupBox *writeBlocksGroup = nullptr;
    QTableWidget *writeBlocksGrid = nullptr;
    QGroupBox *afiGroup = nullptr;
    QCheckBox *useAfiCheck = nullptr;
    QComboBox *afiFamilyCombo = nullptr;
    QLineEdit *afiValueEdit = nullptr;

private:
    void buildOptionGroups();
    iso15693::Request readRequest() const;
    void focusRefused(const Refusal<iso15693::Field> &refusal);

    TagContext m_context;
};

} // namespace vexa
