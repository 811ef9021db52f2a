#include "base/last_folder.h"

#include "base/failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <filesystem>
#include <system_error>

namespace quorvex {

namespace {

// A path is a line; anything longer is not what this program wrote.
constexpr qint64 LongestKept = 4096;

std::filesystem::path FsPath(const QString& path) {
    return std::filesystem::path(QDir::toNativeSeparators(path).toStdU16String());
}

} // namespace

QString LastFolder::UserConfigFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/quorvex");
}

QString LastFolder::file() const {
    return configFolder_ + QStringLiteral("/last-package-folder");
}

QString LastFolder::recall() const {
    if (configFolder_.isEmpty())
        return {};
    QFile f(file());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString folder = QString::fromUtf8(f.read(LongestKept)).trimmed();
    return QDir::isAbsolutePath(folder) && QFileInfo(folder).isDir() ? folder : QString();
}

void LastFolder::keep(const QString& folder) {
    if (configFolder_.isEmpty() || folder.isEmpty() || folder == recall())
        return;
    if (!QDir().mkpath(configFolder_))
        Raise(FailureNo::PathFileAccessError,
              QStringLiteral("Path/File access error: cannot make %1").arg(configFolder_));
    // Made new and exclusively under a random name in the same folder.
    QTemporaryFile part(configFolder_ + QStringLiteral("/.last-package-folder.XXXXXX"));
    const QByteArray text = folder.toUtf8() + '\n';
    if (!part.open() || part.write(text) != text.size() || !part.flush())
        Raise(FailureNo::PathFileAccessError, QStringLiteral("Path/File access error: %1: %2")
                                                  .arg(part.fileName(), part.errorString()));
    part.close();
    std::error_code error;
    std::filesystem::rename(FsPath(part.fileName()), FsPath(file()), error);
    if (error)
        Raise(FailureNo::PathFileAccessError,
              QStringLiteral("Path/File access error: %1: %2")
                  .arg(file(), QString::fromLocal8Bit(error.message())));
    part.setAutoRemove(false);
}

} // namespace quorvex
