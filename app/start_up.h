// What start-up does with the window: the path named on the command line, and the libraries'
// messages on the terminal.
#pragma once

#include <QString>

class manwindow;

namespace kv::window {

// Opens `path` as "OpenPCD" (a folder) or "Open" (anything else) open theirs after their
// dialogs, with their message boxes for what cannot be opened. False when nothing was loaded.
bool openStartPath(manwindow& window, const QString& path);

// VTK's warnings on standard error: the deprecation notes of the point library's drawing code,
// a dozen at the first frame, say nothing the program or its user can act on. Errors are
// printed either way.
void showVtkWarnings(bool shown);

}  // namespace kv::window
