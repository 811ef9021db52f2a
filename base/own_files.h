#pragma once
// Where the program keeps the files it writes for itself (its log, for one): beside the
// program where the system lets it, else in the user's state folder.
#include <QString>

namespace quorvex {

// The program's folder when files of the program's own may go there; empty for a folder the
// system owns (under /usr on Linux: installed programs never write beside themselves, not
// even when run by root).
QString OwnFilesFolder(const QString& programFolder);

// The user's state folder for the program: $XDG_STATE_HOME/quorvex, else
// ~/.local/state/quorvex (on Windows the local application data folder's Quorvex). Not made
// here.
QString StateFolder();

} // namespace quorvex
