#include "cli/table.h"

#include "cli/console.h"

#include <algorithm>

namespace quorvex::cli {

QString FormatTable(const QStringList& headings, const QList<QStringList>& givenRows) {
    // Cells hold what units, packages and devices say: each is one visible line.
    QList<QStringList> rows;
    for (const QStringList& row : givenRows) {
        QStringList shown;
        for (const QString& cell : row)
            shown << Visible(cell);
        rows << shown;
    }
    QList<qsizetype> widths;
    for (const QString& h : headings)
        widths << h.size();
    for (const QStringList& row : rows)
        for (qsizetype c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], row.at(c).size());

    const auto line = [&](const QStringList& cells) {
        QString out;
        for (qsizetype c = 0; c < widths.size(); ++c) {
            const QString cell = c < cells.size() ? cells.at(c) : QString();
            // The last column is not padded: no trailing blanks.
            out += c + 1 < widths.size() ? cell.leftJustified(widths[c] + 2) : cell;
        }
        return out + QLatin1Char('\n');
    };
    QString out = line(headings);
    for (const QStringList& row : rows)
        out += line(row);
    return out;
}

} // namespace quorvex::cli
