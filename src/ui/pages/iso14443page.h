// VexaHost - the "ISO/IEC 14443-A" tab page.
#pragma once

#include <QWidget>

#include "core/wire/report.h"
#include "ui/pages/tagcontext.h"

namespace vexa {

class CommandList;

class Iso14443Page : public QWidget
{
    Q_OBJECT
public:
    explicit Iso14443Page(TagContext context, QWidget *parent = nullptr);

    void send14443Command();

    CommandList *commandList = nullptr;

private:
    TagContext m_context;
};

} // namespace vexa
