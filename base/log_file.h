#pragma once
// How the program opens its log: never through a link someone put in its place, so that the
// log cannot be made to write over another file.
#include <QFile>
#include <QString>

namespace quorvex {

enum class LogOpen {
    Opened,
    Link,        // a link stands in the log's place: refused by the open itself
    NoPlace,     // the folder cannot take the file (no write permission, read-only medium)
    OtherFailure // anything else (a folder in its place, no such folder, ...)
};

// Opens the log for reading and appending: the existing file, or a new one made exclusively
// when there is none. A link in its place is never followed, whether it leads to a file or
// nowhere.
LogOpen OpenLog(const QString& path, QFile& file);

} // namespace quorvex
