// VexaHost - the "ISO/IEC 14443-A" tab page.
#include "iso14443page.h"

#include <QVBoxLayout>

#include "core/codecs/iso14443.h"
#include "core/session/readersession.h"
#include "ui/pages/commandlist.h"

namespace vexa {

Iso14443Page::Iso14443Page(TagContext context, QWidget *parent) : QWidget(parent), m_context(context)
{
    auto *layout = new QVBoxLayout(this);
    commandList = new CommandList(iso14443::commandNames(), 1, this);
    commandList->setObjectName(QStringLiteral("GrpBxCmd14443"));
    commandList->setItemIndex(iso14443::ReadUid);
    layout->addWidget(commandList);
    layout->addStretch();
}

void Iso14443Page::send14443Command()
{
    m_context.session.send(Iso14443Command{commandList->itemIndex()});
}

} // namespace vexa
