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
    connect(&m_group, &QButtonGroup::idClicked, this, &CommandList::clicked);
}

void CommandList::setItemIndex(int index)
{
    if (auto *button = m_group.button(index))
        button->setChecked(true);
}

} // namespace vexa
