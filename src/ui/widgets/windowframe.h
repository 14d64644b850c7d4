// VexaHost - what a dialog needs from the window manager's frame: a title
// bar wide enough for its title, and no maximise button where the dialog
// has one size only.
#pragma once

#include <QString>

class QFileDialog;
class QPoint;
class QRect;
class QWidget;

namespace vexa {

// The width at which a window manager shows `title` whole: the text in the
// system's title font, made bold as many window managers draw it, plus room
// for the window's icon, three buttons and the borders.
int titleBarWidth(const QString &title);

// A dialog of one size: a title bar with the close button only (no
// maximise or minimise). Call in the constructor.
void useFixedSizeFrame(QWidget *dialog);

// Fixes the dialog at its layout's size, widened to titleBarWidth() where
// the title needs more. Call when the contents are complete (the dialogs
// do it as they show, so a caption that grew is followed).
void fitFixedSize(QWidget *dialog);

// For a dialog that may be resized: never narrower than its title needs.
void keepTitleWhole(QWidget *dialog);

// Whether a window whose frame starts at `topLeft` can still be reached: its
// title bar's corner is on a screen. A place kept from a monitor since
// removed is not.
bool reachablePlace(const QPoint &topLeft);
// Gives `window` its stored place and size when both were kept and the
// place is still reachable; false when the caller must choose one.
bool restorePlace(QWidget &window, const QRect &stored);

// The toolkit's own file dialog (where the desktop offers none) in detail
// view, wide enough for long names and dates, its columns fitted to what
// they show each time a folder has been read.
void fitFileDialog(QFileDialog &dialog);

} // namespace vexa
