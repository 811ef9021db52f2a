#include "package/file_failure.h"

#include <QFileInfo>

namespace quorvex {

namespace {
Failure Numbered(int number) {
    return Failure{number, DefaultDescription(number)};
}
} // namespace

Failure OpenFailure(const QFileDevice& file, const QString& path, OpenFor purpose) {
    const QFileInfo info(path);
    if (path.isEmpty())
        return Numbered(FailureNo::PathFileAccessError);
    if (purpose == OpenFor::Reading && !info.exists())
        return Numbered(FailureNo::FileNotFound);
    if (file.error() == QFileDevice::PermissionsError)
        return Numbered(FailureNo::PermissionDenied);
    if (info.isFile() && !(purpose == OpenFor::Reading ? info.isReadable() : info.isWritable()))
        return Numbered(FailureNo::PermissionDenied);
    return Numbered(FailureNo::PathFileAccessError);
}

Failure TransferFailure(const QFileDevice& file) {
    if (file.error() == QFileDevice::PermissionsError)
        return Numbered(FailureNo::PermissionDenied);
    // Qt reports a full disk as a resource error; the maker must be told that, not a vague
    // access error.
    if (file.error() == QFileDevice::ResourceError)
        return Numbered(FailureNo::DiskFull);
    const QString why = file.errorString();
    return Failure{FailureNo::PathFileAccessError,
                   why.isEmpty() || file.error() == QFileDevice::NoError
                       ? DefaultDescription(FailureNo::PathFileAccessError)
                       : DefaultDescription(FailureNo::PathFileAccessError) + QStringLiteral(": ") +
                             why};
}

void RaiseFailure(const Failure& f) {
    throw FailureError(f);
}

} // namespace quorvex
