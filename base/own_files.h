#pragma once
// Where the program keeps the files it writes for itself, how it opens its log, and how it
// appends to a record that several programs share: the only platform-specific part of the base
// layer.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <mutex>

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

// A file that whole lines are appended to by several threads and several programs at once (a
// production record). Each line goes out in one write under an exclusive lock on the file,
// after a line end when the file's last line was left without one, and is on the disk before
// append() returns; a line that could not be written whole is taken away again. The file is
// made when missing; a link is followed, as a shell's >> would, but it must lead to a regular
// file that can be read as well as written.
class AppendedLines {
  public:
    // `lockWaitMs`: how long one append may wait, from its call, for the file's lock.
    explicit AppendedLines(int lockWaitMs = LockWaitMs) : lockWaitMs_(lockWaitMs) {}
    ~AppendedLines();
    AppendedLines(const AppendedLines&) = delete;
    AppendedLines& operator=(const AppendedLines&) = delete;

    // Empty when the file is open for appending, else why it is not.
    QString open(const QString& path);

    // What became of a line.
    struct Fate {
        // Written whole, so not to be written again, even when `why` says the disk did not
        // confirm it.
        bool inFile = false;
        // Empty when the line is on the disk.
        QString why;
    };
    // `line` without its line end.
    Fate append(const QByteArray& line);

    // The longest append waits for another program's lock.
    static constexpr int LockWaitMs = 10000;

  private:
    // The file lock does not part the threads of one program. A thread waits here for the one
    // that waits for another program's lock, within its own time.
    std::timed_mutex lock_;
    int lockWaitMs_;
    std::intptr_t handle_ = -1;
};

} // namespace quorvex
