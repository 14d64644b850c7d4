// VexaHost - the "Tag-it" tab page: its command list, the option groups
// each command needs, the checks before sending, and the reports.
#pragma once

#include <array>
#include <QWidget>

#include "core/codecs/tagit.h"
#include "core/wire/report.h"
#include "ui/pages/tagcontext.h"

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
    // Lays out the option groups for the selected command.
    void showCommandOptions();
    // Shows as many data fields as blocks while Write Multi-block is chosen.
    void showTagitDataFields(int count);

    void onUseAddressToggled();
    void onBlockCountChanged();
    void onBlockNumberChanged();
    void upperCaseAddress();
    void upperCaseData(QLineEdit *field);

    CommandList *commandList = nullptr;
    QGroupBox *addressGroup = nullptr;
    QCheckBox *useAddressCheck = nullptr;
    FieldEdit *addressEdit = nullptr;
    QGroupBox *blockNumberGroup = nullptr;
    QComboBox *blockNumberCombo = nullptr;
    QGroupBox *blockDataGroup = nullptr;
    QComboBox *blockCountCombo = nullptr;
    // The block data fields and their hex labels, top to bottom; only the
    // first is shown unless Write Multi-block asks for more.
    FieldEdit *blockDataField(int index) const { return m_dataFields[size_t(index)]; }
    QLabel *blockDataLabel(int index) const { return m_dataLabels[size_t(index)]; }

private:
    void buildOptionGroups();
    tagit::Request readRequest() const;
    void focusRefused(const Refusal<tagit::Field> &refusal);
    void setDataFieldShown(int index, bool shown);

    TagContext m_context;
    std::array<FieldEdit *, tagit::kDataFields> m_dataFields{};
    std::array<QLabel *, tagit::kDataFields> m_dataLabels{};
    std::array<QWidget *, tagit::kDataFields> m_dataRows{};
};

} // namespace vexa
