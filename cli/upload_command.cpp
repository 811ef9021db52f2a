// quorvex-cli upload: a network package sent to each target in turn, then a table of the
// targets and how their uploads ended.
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/printed_report.h"
#include "flow/upload.h"

#include <QDateTime>
#include <QSysInfo>

namespace quorvex::cli {

int RunUpload(const Arguments& a) {
    UnitRun run;
    if (const auto failed = BeginUnits(a, run))
        return *failed;
    const QString host = QSysInfo::machineHostName();
    StderrLog log;
    QList<QStringList> rows;
    QList<UnitRecord> records;
    bool all = true;
    for (const QString& target : a.targets) {
        LineProgress bar(target);
        PrintedReport report(bar, target);
        UnitRecord r;
        r.serial = false;
        r.host = host;
        r.given = target;
        r.start = QDateTime::currentDateTimeUtc();
        // Once a stop is asked for, the targets still to come are sent nothing: each is told
        // so, in its line, its row and its record.
        const UploadResult result =
            UploadToUnit(run.package->firmware(), target, report, log, a.tftpPort, &run.stop);
        r.end = QDateTime::currentDateTimeUtc();
        bar.hide();
        if (result.outcome == TftpOutcome::Interrupted)
            report.tell(result.text, Icon::Error, QString());
        r.resolved = result.address;
        r.outcome = OutcomeWord(result.outcome);
        r.text = result.text;
        r.blocks = result.blocksAcknowledged;
        r.blocksTotal = result.blocks;
        const bool recorded = run.record.append(r, run.facts);
        all = all && result.outcome == TftpOutcome::Finished && recorded;
        rows << QStringList{target, result.text};
        records << r;
    }
    return EndUnits(a, run, {QStringLiteral("TARGET"), QStringLiteral("RESULT")}, rows, records,
                    all);
}

} // namespace quorvex::cli
