// UnpublishedFile on POSIX: a part without a name where the file system makes one (Linux's
// O_TMPFILE), else under a part's name, locked while it is written.
#include "package/part_names.h"
#include "package/parts_in_progress.h"
#include "package/unpublished_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvex {

using parts::Arm;
using parts::Disarm;
using parts::NameAttempts;
using parts::PartName;
using parts::PartPattern;
using parts::PartsIn;
using parts::SystemFailure;

struct UnpublishedFile::Native {
    int fd = -1;
    bool unnamed = false;
    QByteArray partPath;
    int slot = -1;
};

namespace {

int NumberOf(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return FailureNo::DiskFull;
    case EACCES:
    case EPERM:
        return FailureNo::PermissionDenied;
    default:
        return FailureNo::PathFileAccessError;
    }
}

Failure ErrnoFailure(int error, bool withDetail) {
    return SystemFailure(NumberOf(error), withDetail ? qt_error_string(error) : QString());
}

// A write lock on the whole part: a record lock, which NFS carries between the machines that
// share a folder (its flock is one too, and fails on a descriptor opened only for reading).
// Held by the open file where the system has such locks, else by the process. False when the
// lock was not taken, whatever the reason.
bool LockWhole(int fd) {
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    whole.l_start = 0;
    whole.l_len = 0; // to the end, however far the file grows
#ifdef F_OFD_SETLK
    if (::fcntl(fd, F_OFD_SETLK, &whole) == 0)
        return true;
    if (errno != EINVAL) // a system older than these locks says EINVAL
        return false;
#endif
    return ::fcntl(fd, F_SETLK, &whole) == 0;
}

QByteArray ProcPath(int fd) {
    return QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(fd);
}

// A part made new under a name of its own in `folder`; -1 with errno set when none could be.
int CreateNamed(const QString& folder, const QString& targetName, QByteArray& path) {
    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
        path = QFile::encodeName(folder + QLatin1Char('/') + PartName(targetName));
        const int fd =
            ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

UnpublishedFile::UnpublishedFile(const QString& target, Kind kind)
    : native_(std::make_unique<Native>()), target_(QFileInfo(target).absoluteFilePath()) {
    const QFileInfo info(target_);
    Native& n = *native_;
#if defined(O_TMPFILE)
    if (kind == Kind::Unnamed) {
        const int fd = ::open(QFile::encodeName(info.absolutePath()).constData(),
                              O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        // It is linked in through /proc: without /proc it could never get its name.
        if (fd >= 0 && ::access(ProcPath(fd).constData(), F_OK) == 0) {
            n.fd = fd;
            n.unnamed = true;
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
#else
    (void)kind;
#endif
    if (n.fd < 0) {
        // The file system makes no file without a name (or this system cannot): a part's name.
        n.fd = CreateNamed(info.absolutePath(), info.fileName(), n.partPath);
        if (n.fd < 0) {
            failure_ = ErrnoFailure(errno, false);
            n.partPath.clear();
            return;
        }
        n.slot = Arm(n.partPath);
    }
    // Held until the part is published or gone, so that no other program's clean-up takes it
    // while it has a name; the lock goes with the process. A part that could not be locked is
    // still written: a clean-up that cannot lock it either leaves it alone.
    LockWhole(n.fd);
    if (!file_.open(n.fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        failure_ = SystemFailure(FailureNo::PathFileAccessError, file_.errorString());
}

UnpublishedFile::~UnpublishedFile() {
    Native& n = *native_;
    file_.close();
    if (!published_ && !n.partPath.isEmpty())
        ::unlink(n.partPath.constData());
    Disarm(n.slot);
    if (n.fd >= 0)
        ::close(n.fd);
}

QString UnpublishedFile::partPath() const {
    return published_ ? QString() : QFile::decodeName(native_->partPath);
}

bool UnpublishedFile::publish() {
    Native& n = *native_;
    if (!file_.isOpen()) {
        failure_ = SystemFailure(FailureNo::BadFileName, QString());
        return false;
    }
    if (!file_.flush()) {
        failure_ = SystemFailure(FailureNo::PathFileAccessError, file_.errorString());
        return false;
    }
    // On the disk before it has the name: after a power cut the name holds the old file or
    // the whole new one.
    if (::fsync(n.fd) != 0) {
        failure_ = ErrnoFailure(errno, true);
        return false;
    }
    const QByteArray target = QFile::encodeName(target_);
    if (n.unnamed) {
        const QByteArray proc = ProcPath(n.fd);
        if (::linkat(AT_FDCWD, proc.constData(), AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) ==
            0) {
            published_ = true;
            file_.close();
            return true;
        }
        if (errno != EEXIST) {
            failure_ = ErrnoFailure(errno, true);
            return false;
        }
        // The name is taken, and a link cannot replace it: the part gets a name of its own
        // beside it for the moment it takes to rename it over.
        const QFileInfo info(target_);
        for (int attempt = 0; attempt < NameAttempts && n.partPath.isEmpty(); ++attempt) {
            const QByteArray part = QFile::encodeName(info.absolutePath() + QLatin1Char('/') +
                                                      PartName(info.fileName()));
            n.slot = Arm(part);
            if (::linkat(AT_FDCWD, proc.constData(), AT_FDCWD, part.constData(),
                         AT_SYMLINK_FOLLOW) == 0) {
                n.partPath = part;
                break;
            }
            const int error = errno;
            Disarm(n.slot);
            if (error != EEXIST) {
                failure_ = ErrnoFailure(error, true);
                return false;
            }
        }
        if (n.partPath.isEmpty()) {
            failure_ = ErrnoFailure(EEXIST, true);
            return false;
        }
    }
    if (::rename(n.partPath.constData(), target.constData()) != 0) {
        failure_ = ErrnoFailure(errno, true);
        return false;
    }
    published_ = true;
    Disarm(n.slot);
    file_.close();
    return true;
}

void RemoveAbandonedParts(const QString& folder) {
    const QDir dir(folder);
    const qint64 own = QCoreApplication::applicationPid();
    for (const QString& name : PartsIn(dir)) {
        const qint64 pid = PartPattern().match(name).captured(1).toLongLong();
        // Process id 0 and anything past an int would name a group or nobody in kill().
        if (pid <= 0 || pid > INT_MAX || pid == own)
            continue;
        // Its program still runs (or runs under another user, whose parts are not ours).
        if (::kill(pid_t(pid), 0) == 0 || errno == EPERM)
            continue;
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        // Opened for writing, which the lock needs, only when it is a file of ours: never a
        // device or a fifo that merely has a part's name.
        struct stat named {};
        if (::lstat(path.constData(), &named) != 0 || !S_ISREG(named.st_mode) ||
            named.st_uid != ::geteuid())
            continue;
        const int fd =
            ::open(path.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held {};
        struct stat still {};
        // The lock settles it where process ids mislead: a program in another process id
        // namespace, or on another machine sharing the folder, still holds its part locked.
        // Only a lock actually taken says the part is abandoned; one that could not be tried
        // (a file system that refuses it) says nothing, and the part stays.
        const bool abandoned = ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
                               held.st_dev == named.st_dev && held.st_ino == named.st_ino &&
                               LockWhole(fd) && ::lstat(path.constData(), &still) == 0 &&
                               still.st_dev == held.st_dev && still.st_ino == held.st_ino;
        if (abandoned)
            ::unlink(path.constData());
        ::close(fd);
    }
}

} // namespace quorvex
