#include "base/log_file.h"

#include <QDir>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvex {

#ifdef Q_OS_WIN

namespace {

LogOpen Refusal(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ? LogOpen::NoPlace
                                                                        : LogOpen::OtherFailure;
}

} // namespace

LogOpen OpenLog(const QString& path, QFile& file) {
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    // The reparse point itself is opened, never what it leads to; it is then refused below.
    const auto openWith = [&](DWORD disposition) {
        return CreateFileW(name.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                           nullptr);
    };
    HANDLE h = openWith(OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        h = openWith(CREATE_NEW);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS)
            h = openWith(OPEN_EXISTING);
    }
    if (h == INVALID_HANDLE_VALUE)
        return Refusal(GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        const bool link = info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
        CloseHandle(h);
        return link ? LogOpen::Link : LogOpen::OtherFailure;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_APPEND | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return LogOpen::OtherFailure;
    }
    if (!file.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle)) {
        _close(fd);
        return LogOpen::OtherFailure;
    }
    return LogOpen::Opened;
}

#else

namespace {

LogOpen Refusal(int error) {
    // O_NOFOLLOW on a link: ELOOP on Linux, EMLINK on the BSDs.
    if (error == ELOOP || error == EMLINK)
        return LogOpen::Link;
    if (error == EACCES || error == EPERM || error == EROFS)
        return LogOpen::NoPlace;
    return LogOpen::OtherFailure;
}

} // namespace

LogOpen OpenLog(const QString& path, QFile& file) {
    const QByteArray name = QFile::encodeName(path);
    // Records always land at the end (O_APPEND), even when another copy writes too.
    constexpr int Flags = O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(name.constData(), Flags);
    if (fd < 0 && errno == ENOENT) {
        // Made new, exclusively; when another copy made it meanwhile, that one is used.
        fd = ::open(name.constData(), Flags | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno == EEXIST)
            fd = ::open(name.constData(), Flags);
    }
    if (fd < 0)
        return Refusal(errno);
    // A fifo or a device in the log's place is no log.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return LogOpen::OtherFailure;
    }
    if (!file.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return LogOpen::OtherFailure;
    }
    return LogOpen::Opened;
}

#endif

} // namespace quorvex
