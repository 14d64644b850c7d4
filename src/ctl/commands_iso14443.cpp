// vexactl - the ISO/IEC 14443 A command: the card's UID.
#include "commandtable.h"

namespace vexa::ctl {

QList<CommandForm> iso14443Commands()
{
    return {
        {"iso14443a uid", "", "the UID of the card in the field", {}, 0, 0,
         [](const QStringList &, const QMap<QString, QString> &, Action &action) {
             action.kind = Action::Kind::Iso14443;
             return QString();
         }},
    };
}

} // namespace vexa::ctl
