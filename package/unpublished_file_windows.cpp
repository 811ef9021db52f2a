// UnpublishedFile on Windows: the part has a name, opened unshared and set to vanish with its
// last handle.
#include "package/part_names.h"
#include "package/unpublished_file.h"

#include <QDir>
#include <QFileInfo>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <vector>
#include <windows.h>

namespace quorvex {

using parts::NameAttempts;
using parts::PartName;
using parts::PartsIn;
using parts::SystemFailure;

struct UnpublishedFile::Native {
    HANDLE handle = INVALID_HANDLE_VALUE;
    int fd = -1;
    QString partPath;
};

namespace {

int NumberOf(DWORD error) {
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return FailureNo::DiskFull;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return FailureNo::PermissionDenied;
    default:
        return FailureNo::PathFileAccessError;
    }
}

Failure LastFailure(bool withDetail) {
    const DWORD error = GetLastError();
    return SystemFailure(NumberOf(error), withDetail ? qt_error_string(int(error)) : QString());
}

// Whether the system takes the file away when its last handle closes.
bool SetDeletedOnClose(HANDLE h, bool deleted) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleted ? TRUE : FALSE;
    return SetFileInformationByHandle(h, FileDispositionInfo, &disposition,
                                      DWORD(sizeof disposition)) != 0;
}

const wchar_t* Wide(const QString& s) {
    return reinterpret_cast<const wchar_t*>(s.utf16());
}

} // namespace

UnpublishedFile::UnpublishedFile(const QString& target, Kind)
    : native_(std::make_unique<Native>()), target_(QFileInfo(target).absoluteFilePath()) {
    // Windows has no file without a name: the part has one, which nobody else may open and
    // which the system removes with the last handle, a killed program's included.
    const QFileInfo info(target_);
    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
        const QString path = QDir::toNativeSeparators(info.absolutePath() + QLatin1Char('/') +
                                                      PartName(info.fileName()));
        const HANDLE h = CreateFileW(Wide(path), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                continue;
            failure_ = SystemFailure(NumberOf(error), QString());
            return;
        }
        if (!SetDeletedOnClose(h, true)) {
            failure_ = LastFailure(false);
            CloseHandle(h);
            DeleteFileW(Wide(path));
            return;
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
        if (fd < 0) {
            failure_ = SystemFailure(FailureNo::PathFileAccessError, QString());
            CloseHandle(h);
            return;
        }
        native_->handle = h;
        native_->fd = fd;
        native_->partPath = path;
        break;
    }
    if (native_->fd < 0) {
        if (failure_.number == 0)
            failure_ = SystemFailure(FailureNo::PathFileAccessError, QString());
        return;
    }
    if (!file_.open(native_->fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        failure_ = SystemFailure(FailureNo::PathFileAccessError, file_.errorString());
}

UnpublishedFile::~UnpublishedFile() {
    file_.close();
    // Closing the last handle removes a part that was not published.
    if (native_->fd >= 0)
        _close(native_->fd);
}

QString UnpublishedFile::partPath() const {
    return published_ ? QString() : QDir::fromNativeSeparators(native_->partPath);
}

bool UnpublishedFile::publish() {
    if (!file_.isOpen()) {
        failure_ = SystemFailure(FailureNo::BadFileName, QString());
        return false;
    }
    if (!file_.flush() || !FlushFileBuffers(native_->handle)) {
        failure_ = LastFailure(true);
        return false;
    }
    const HANDLE h = native_->handle;
    if (!SetDeletedOnClose(h, false)) {
        failure_ = LastFailure(true);
        return false;
    }
    const QString target = QDir::toNativeSeparators(target_);
    const DWORD nameBytes = DWORD(target.size() * sizeof(wchar_t));
    std::vector<char> buffer(offsetof(FILE_RENAME_INFO, FileName) + nameBytes + sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = nameBytes;
    std::memcpy(rename->FileName, target.utf16(), nameBytes);
    if (!SetFileInformationByHandle(h, FileRenameInfo, rename, DWORD(buffer.size()))) {
        failure_ = LastFailure(true);
        SetDeletedOnClose(h, true);
        return false;
    }
    published_ = true;
    file_.close();
    return true;
}

void RemoveAbandonedParts(const QString& folder) {
    const QDir dir(folder);
    for (const QString& name : PartsIn(dir)) {
        const QString path = QDir::toNativeSeparators(dir.filePath(name));
        const DWORD attributes = GetFileAttributesW(Wide(path));
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            continue;
        // A part its program still writes is open and unshared: this fails for it.
        DeleteFileW(Wide(path));
    }
}

void RemovePartsInProgressNow() noexcept {
    // The system removes them when the program's handles close.
}

} // namespace quorvex
