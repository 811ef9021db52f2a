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
    if (a.json)
        LinesForPeopleOnStandardError();
    PackageFacts facts;
    auto opened = OpenForUnits(a, facts);
    if (const int* refused = std::get_if<int>(&opened))
        return *refused;
    const Package& package = std::get<Package>(opened);
    RecordFile record;
    StopRequest stop;
    if (const auto failed = BeginUnits(a, record, stop))
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
            UploadToUnit(package.firmware(), target, report, log, a.tftpPort, &stop);
        r.end = QDateTime::currentDateTimeUtc();
        bar.hide();
        if (result.outcome == TftpOutcome::Interrupted)
            report.tell(result.text, Icon::Error, QString());
        r.resolved = result.address;
        r.outcome = OutcomeWord(result.outcome);
        r.text = result.text;
        r.blocks = result.blocksAcknowledged;
        r.blocksTotal = result.blocks;
        const bool recorded = record.append(r, facts);
        all = all && result.outcome == TftpOutcome::Finished && recorded;
        rows << QStringList{target, result.text};
        records << r;
    }
    return EndUnits(a, {QStringLiteral("TARGET"), QStringLiteral("RESULT")}, rows, records, facts,
                    all, stop);
}

} // namespace quorvex::cli
