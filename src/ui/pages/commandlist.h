// VexaHost - the "Command Type" radio group of a tag page.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

namespace vexa {

class CommandList : public QGroupBox
{
    Q_OBJECT
public:
    CommandList(const QStringList &items, int columns, QWidget *parent = nullptr);
    int itemIndex() const { return m_group.checkedId(); }
    void setItemIndex(int index);
    int count() const { return int(m_group.buttons().size()); }

signals:
    // An item became the selected one, by any means: a click, the arrow
    // keys, assistive technology's toggle, or setItemIndex().
    void selected(int index);

private:
    QButtonGroup m_group;
};

} // namespace vexa
