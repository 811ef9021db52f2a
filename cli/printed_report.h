#pragma once
// What a use case reports, as quorvex-cli shows it: progress in a bar, stages as lines under
// the name of what they belong to, boxes as lines, and the question answered Yes (the command
// line reads a package as the window loads it once the technician has confirmed).
#include "cli/console.h"
#include "flow/report.h"

#include <QString>
#include <QStringList>

namespace quorvex::cli {

class PrintedReport : public Report {
  public:
    // `prefix`: the target or port the lines belong to; stages are not printed without one.
    PrintedReport(ProgressDisplay& bar, QString prefix = {});

    void stage(const QString& text) override;
    void progress(qint64 done, qint64 total) override;
    void tell(const QString& text, Icon icon, const QString& caption) override;
    bool ask(const QString& question) override;

  private:
    ProgressDisplay& bar_;
    QString prefix_;
    bool barShown_ = false;
};

// The box texts of the window use CR LF between lines; a terminal wants one line each. A lone
// line end comes from what the text quotes, and is shown as an escape with the rest of it.
QStringList LinesOf(const QString& text);

} // namespace quorvex::cli
