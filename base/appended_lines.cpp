#include "base/appended_lines.h"

#include <QDir>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvex {

namespace {

// Another program holds the lock for one write; one that holds it for long has hung.
QString HungLockText(int waitedMs) {
    return QStringLiteral("another program has held the file locked for %1 seconds")
        .arg(waitedMs / 1000.0);
}

// This program's threads in turn; false when `waiting` has run out meanwhile.
bool TakeTurn(std::timed_mutex& turn, const QElapsedTimer& waiting, int waitMs) {
    return turn.try_lock_for(
        std::chrono::milliseconds(std::max<qint64>(0, waitMs - waiting.elapsed())));
}

} // namespace

#ifdef Q_OS_WIN

AppendedLines::~AppendedLines() {
    if (handle_ != -1)
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

namespace {

QString SystemText(DWORD error) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const QString out = text ? QString::fromWCharArray(text).trimmed()
                             : QStringLiteral("system error %1").arg(error);
    LocalFree(text);
    return out;
}

} // namespace

QString AppendedLines::open(const QString& path) {
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return SystemText(GetLastError());
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return QStringLiteral("not a regular file");
    }
    OVERLAPPED whole{};
    if (!LockFileEx(h, LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole) &&
        GetLastError() != ERROR_LOCK_VIOLATION) {
        const DWORD error = GetLastError();
        CloseHandle(h);
        return QStringLiteral("the file cannot be locked: ") + SystemText(error);
    }
    UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &whole);
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return {};
}

AppendedLines::Fate AppendedLines::append(const QByteArray& line) {
    QElapsedTimer waiting;
    waiting.start();
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    if (handle_ == -1)
        return {false, QStringLiteral("not open")};
    if (!TakeTurn(lock_, waiting, lockWaitMs_))
        return {false, HungLockText(lockWaitMs_)};
    std::lock_guard threads(lock_, std::adopt_lock);
    OVERLAPPED whole{};
    while (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                       MAXDWORD, &whole)) {
        if (GetLastError() != ERROR_LOCK_VIOLATION)
            return {false, SystemText(GetLastError())};
        if (waiting.elapsed() > lockWaitMs_)
            return {false, HungLockText(lockWaitMs_)};
        Sleep(5);
    }
    LARGE_INTEGER size{};
    Fate fate;
    QByteArray out;
    if (!GetFileSizeEx(h, &size)) {
        fate.why = SystemText(GetLastError());
    } else {
        if (size.QuadPart > 0) {
            char last = 0;
            DWORD got = 0;
            OVERLAPPED at{};
            at.Offset = DWORD(size.QuadPart - 1);
            at.OffsetHigh = DWORD((size.QuadPart - 1) >> 32);
            if (ReadFile(h, &last, 1, &got, &at) && got == 1 && last != '\n')
                out += '\n';
        }
        out += line;
        out += '\n';
        OVERLAPPED end{};
        end.Offset = end.OffsetHigh = MAXDWORD; // at the end of the file, whatever its length
        DWORD written = 0;
        if (!WriteFile(h, out.constData(), DWORD(out.size()), &written, &end) ||
            written != DWORD(out.size())) {
            fate.why = SystemText(GetLastError());
            SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
            SetEndOfFile(h);
        } else {
            fate.inFile = true;
            if (!FlushFileBuffers(h))
                fate.why = SystemText(GetLastError());
        }
    }
    OVERLAPPED unlock{};
    UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &unlock);
    return fate;
}

#else

AppendedLines::~AppendedLines() {
    if (handle_ >= 0)
        ::close(int(handle_));
}

namespace {

// Safe on the units' threads, unlike strerror.
QString SystemText(int error) {
    return qt_error_string(error);
}

} // namespace

QString AppendedLines::open(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    // Read as well, to see whether the last line was left without its end. Not blocking and
    // not taking a terminal for the program's own, in case the name leads to a pipe or a device.
    constexpr int Flags = O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    const int fd = ::open(name.constData(), O_RDWR | Flags, 0666);
    if (fd < 0 && errno == EACCES) {
        // Refused now rather than after the units: a record after a torn line would be glued
        // to it and lost with it.
        const int writeOnly = ::open(name.constData(), O_WRONLY | (Flags & ~O_CREAT));
        if (writeOnly >= 0) {
            ::close(writeOnly);
            return QStringLiteral("it may be written but not read, so a line left torn by "
                                  "another writer could not be told; it must be readable too");
        }
        errno = EACCES;
    }
    if (fd < 0)
        return SystemText(errno);
    // A pipe or a device takes neither the lock nor the flush to disk.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return QStringLiteral("not a regular file");
    }
    // A file system without locks would fail every record after the units were flashed.
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno != EWOULDBLOCK) {
        const int error = errno;
        ::close(fd);
        return QStringLiteral("the file cannot be locked: ") + SystemText(error);
    }
    ::flock(fd, LOCK_UN);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    handle_ = fd;
    return {};
}

AppendedLines::Fate AppendedLines::append(const QByteArray& line) {
    QElapsedTimer waiting;
    waiting.start();
    const int fd = int(handle_);
    if (fd < 0)
        return {false, QStringLiteral("not open")};
    if (!TakeTurn(lock_, waiting, lockWaitMs_))
        return {false, HungLockText(lockWaitMs_)};
    std::lock_guard threads(lock_, std::adopt_lock);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return {false, SystemText(errno)};
        if (waiting.elapsed() > lockWaitMs_)
            return {false, HungLockText(lockWaitMs_)};
        ::usleep(5000);
    }
    Fate fate;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        fate.why = SystemText(errno);
    } else {
        QByteArray out;
        char last = '\n';
        if (st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
            out += '\n';
        out += line;
        out += '\n';
        qsizetype done = 0;
        while (done < out.size()) {
            const ssize_t n = ::write(fd, out.constData() + done, std::size_t(out.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                fate.why = SystemText(n < 0 ? errno : ENOSPC);
                // Under the lock nobody has written since: the file is as it was. A cut that
                // fails leaves the torn line, which the next record starts after.
                if (::ftruncate(fd, st.st_size) != 0)
                    fate.why += QStringLiteral("; the part written stays: ") + SystemText(errno);
                break;
            }
            done += n;
        }
        fate.inFile = fate.why.isEmpty();
        if (fate.inFile && ::fdatasync(fd) != 0)
            fate.why = SystemText(errno);
    }
    ::flock(fd, LOCK_UN);
    return fate;
}

#endif

} // namespace quorvex
