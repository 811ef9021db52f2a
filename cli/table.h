#pragma once
// A plain text table: columns as wide as their widest cell, separated by two spaces, so that it
// reads on a terminal and in a log alike. Control characters in cells are shown as escapes.
#include <QString>
#include <QStringList>

namespace quorvex::cli {

QString FormatTable(const QStringList& headings, const QList<QStringList>& rows);

} // namespace quorvex::cli
