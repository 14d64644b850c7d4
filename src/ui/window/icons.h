// VexaHost - the tool bar's image list, indices 0 to 15.
#pragma once

#include <QIcon>

namespace vexa {

// 0 Go, 1 Pause, 2 Repeat, 4 Clear, 8 Reset, 9 Version/Info, 11 Wiegand,
// 12 Setup, 15 Test; the others are kept for the image list's other users.
QIcon toolIcon(int index);

} // namespace vexa
