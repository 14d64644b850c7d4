// VexaHost - the "Command Type" radio group of a tag page.
#include "commandlist.h"

#include <QGridLayout>
#include <QRadioButton>

namespace vexa {

CommandList::CommandList(const QStringList &items, int columns, QWidget *parent)
    : QGroupBox(tr("Command Type"), parent)
{
    auto *layout = new QGridLayout(this);
    const int rows = (int(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items[i], this);
        m_group.addButton(button, i);
        layout->addWidget(button, i % rows, i / rows);
    }
    // Checking an item is what selects it. Listening to clicks alone missed
    // assistive technology, which toggles the item without a click: the
    // item was checked but the page kept the previous command's fields.
    connect(&m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            emit selected(id);
    });
}

void CommandList::setItemIndex(int index)
{
    if (auto *button = m_group.button(index))
        button->setChecked(true);
}

} // namespace vexa
