#pragma once
// Appending whole lines to a record that several threads and several programs share, under a
// lock on the file, so that no line is torn or mixed with another.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <mutex>

namespace quorvex {

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
