#pragma once
// Where the program keeps the files it writes for itself, and how it opens its log: the only
// platform-specific part of the base layer.
#include <QFile>
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

enum class LogOpen {
    Opened,
    Link,        // a link stands in the log's place: refused by the open itself
    NoPlace,     // the folder cannot take the file (no write permission, read-only medium)
    OtherFailure // anything else (a folder in its place, no such folder, ...)
};

// Opens the log for reading and appending: the existing file, or a new one made exclusively
// when there is none. A link in its place is never followed, whether it leads to a file or
// nowhere.
LogOpen OpenLog(const QString& path, QFile& file);

} // namespace quorvex
