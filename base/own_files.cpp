#include "base/own_files.h"

#include <QDir>

#ifdef Q_OS_WIN
#include <QStandardPaths>
#endif

namespace quorvex {

#ifdef Q_OS_WIN

QString OwnFilesFolder(const QString& programFolder) {
    return programFolder;
}

QString StateFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quorvex");
}

#else

QString OwnFilesFolder(const QString& programFolder) {
    // The file system hierarchy keeps /usr read-only and shared; a program installed there
    // keeps its files in the user's folders.
    const QString folder = QDir::cleanPath(programFolder);
    if (folder == QLatin1String("/usr") || folder.startsWith(QLatin1String("/usr/")))
        return {};
    return programFolder;
}

QString StateFolder() {
    // A relative XDG_STATE_HOME is invalid and ignored, as the base directory rules say.
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    const QString base =
        QDir::isAbsolutePath(state) ? state : QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(base + QStringLiteral("/quorvex"));
}

#endif

} // namespace quorvex
