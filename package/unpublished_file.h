#pragma once
// A file that is written where it will live but takes its name only when it is complete, in
// one step that replaces whatever had the name. Killed at any moment, the program leaves the
// old file as it was and no part of the new one beside it.
//
// Where the system can make a file without a name (Linux, on most file systems), the part has
// none until it is linked in. Elsewhere it is written under a name that marks it as a part,
// ".NAME.quorvex-PID-RANDOM": on Windows unshared and set to vanish when its handle closes, on
// POSIX locked while it is written; parts of programs that ended without removing theirs go at
// the next build into the same folder. Its sources for each system (unpublished_file_posix.cpp,
// unpublished_file_windows.cpp) are the only ones that know the system's calls for it.
#include "base/failure.h"

#include <QFile>
#include <QString>
#include <memory>

namespace quorvex {

class UnpublishedFile {
  public:
    enum class Kind {
        Unnamed, // without a name while it is written, where the folder's file system allows
        Named,   // under a part's name while it is written
    };

    explicit UnpublishedFile(const QString& target, Kind kind = Kind::Unnamed);
    // Takes away a part that was not published.
    ~UnpublishedFile();
    UnpublishedFile(const UnpublishedFile&) = delete;
    UnpublishedFile& operator=(const UnpublishedFile&) = delete;

    // Open for writing, empty, when the part could be made.
    bool isOpen() const { return file_.isOpen(); }
    QFileDevice& file() { return file_; }
    // Why the part could not be made or published.
    const Failure& failure() const { return failure_; }
    // The part's name while it is written; empty when it has none.
    QString partPath() const;

    // The complete part becomes the target, replacing a file or link of that name. False when
    // it could not; the target is then as it was.
    bool publish();

  private:
    struct Native;
    std::unique_ptr<Native> native_;
    QString target_;
    QFile file_;
    Failure failure_;
    bool published_ = false;
};

// Removes from `folder` the parts whose program has ended. A link, a part another running
// program holds, and a file of another user are left alone.
void RemoveAbandonedParts(const QString& folder);

// For a handler of a signal that ends the program: takes away the names of the parts this
// process is writing. Safe in a signal handler.
void RemovePartsInProgressNow() noexcept;

} // namespace quorvex
