// VexaHost - what assistive technology is told about tool buttons, combo
// boxes and windows, where the toolkit's own description falls short.
#pragma once

namespace vexa {

// Installs the accessible interfaces below, once per process. Call it before
// the first window is built: interfaces are made once per control and kept.
//
// - A tool button offers "Press", which does exactly what a click does. The
//   toolkit gives a checkable tool button only "Toggle", which flips its look
//   without running its handler (Go then sent nothing and stayed pressed).
//   Its checked state is reported as it is drawn.
// - No action waits for what it starts: "Press" on a tool button or a menu
//   item returns at once and the click follows from the event loop, so a
//   box it opens never holds the screen reader that pressed it.
// - A menu item tells its access key, the keys that reach it from the
//   window and its shortcut, in the desktop's "mnemonic;sequence;shortcut"
//   form; the toolkit's item tells the shortcut alone where there is one.
// - A combo box is named by its accessible name or its label, not by its
//   current text (the toolkit's choice on Linux); its current item is its
//   value and its text (the accessibility bus carries the text, not the
//   value).
// - A window made from a plain widget is a window, not a client area.
void installAccessibility();

} // namespace vexa
