// quorvex-cli upload: a network package sent to each target in turn, then a table of the
// targets and how their uploads ended.
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/printed_report.h"
#include "cli/table.h"
#include "flow/upload.h"

namespace quorvex::cli {

int RunUpload(const Arguments& a) {
    auto opened = OpenForUnits(a);
    if (const int* refused = std::get_if<int>(&opened))
        return *refused;
    const Package& package = std::get<Package>(opened);
    StderrLog log;
    QList<QStringList> rows;
    bool all = true;
    for (const QString& target : a.targets) {
        LineProgress bar(target);
        PrintedReport report(bar, target);
        const TftpOutcome outcome =
            UploadToUnit(package.firmware(), target, report, log, a.tftpPort);
        bar.hide();
        all = all && outcome == TftpOutcome::Finished;
        rows << QStringList{target, report.lastStage()};
    }
    PrintRaw(QStringLiteral("\n") +
             FormatTable({QStringLiteral("TARGET"), QStringLiteral("RESULT")}, rows));
    return all ? ExitOk : ExitFailed;
}

} // namespace quorvex::cli
