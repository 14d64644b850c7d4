// VexaHost - the "ISO/IEC 14443-A" tab page.
#include "iso14443page.h"

#include <QVBoxLayout>

#include "core/codecs/iso14443.h"
#include "core/link/readerlink.h"
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
    CommandBuffer frame{};
    const int length = iso14443::build(commandList->itemIndex(), frame);
    if (length == 0)
        return; // no command selected
    ReaderLink &link = m_context.link;
    link.commandBuffer = frame;
    link.commandLength = length;
    link.sendFrame();
}

Report Iso14443Page::report14443Response(const FrameView &frame)
{
    return iso14443::reportResponse(frame);
}

} // namespace vexa
