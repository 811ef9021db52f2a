#include "cli/printed_report.h"

namespace quorvex::cli {

PrintedReport::PrintedReport(ProgressDisplay& bar, QString prefix)
    : bar_(bar), prefix_(Visible(prefix)) {}

void PrintedReport::stage(const QString& text) {
    if (!prefix_.isEmpty())
        PrintLine(prefix_ + QStringLiteral(": ") + Visible(text));
}

void PrintedReport::progress(qint64 done, qint64 total) {
    if (!barShown_) {
        bar_.show();
        barShown_ = true;
    }
    bar_.fill(total > 0 ? double(done) / double(total) : 0.0);
}

void PrintedReport::tell(const QString& text, Icon, const QString&) {
    // One print for the whole box, so that another unit's lines cannot come between.
    QStringList lines;
    for (const QString& line : LinesOf(text))
        lines << (prefix_.isEmpty() ? VisibleIndented(line)
                                    : prefix_ + QStringLiteral(": ") + VisibleIndented(line));
    PrintLine(lines.join(QLatin1Char('\n')));
}

bool PrintedReport::ask(const QString&) {
    return true;
}

QStringList LinesOf(const QString& text) {
    return text.split(QStringLiteral("\r\n"));
}

} // namespace quorvex::cli
