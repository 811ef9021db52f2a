#include "ui/log_naming_prompts.h"

#include <QDir>
#include <QFileInfo>

namespace quorvex {

void LogNamingPrompts::message(const QString& text, Icon icon, const QString& caption) {
    const QString log = logPath_ ? logPath_() : QString();
    if (log.isEmpty() || !text.contains(QLatin1String("ErrorLog.txt")))
        return boxes_.message(text, icon, caption);
    const QString folder = QFileInfo(QDir::fromNativeSeparators(log)).absolutePath();
    const bool beside =
        !programFolder_.isEmpty() &&
        QDir::cleanPath(QFileInfo(programFolder_).absoluteFilePath()) == QDir::cleanPath(folder);
    if (beside)
        return boxes_.message(text, icon, caption);
    boxes_.message(text + QStringLiteral("\r\n\r\nErrorLog.txt is in ") +
                       QDir::toNativeSeparators(folder) + QLatin1Char('.'),
                   icon, caption);
}

} // namespace quorvex
