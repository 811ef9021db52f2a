// quorvex-cli upload: a network package sent to every target at once (at most --jobs at a
// time), each upload on a thread of its own, then a table of the targets and how their uploads
// ended.
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/printed_report.h"
#include "cli/side_by_side.h"
#include "flow/upload.h"
#include "net/host_resolver.h"

#include <QDateTime>
#include <QHash>
#include <QSysInfo>
#include <vector>

namespace quorvex::cli {

namespace {

// One target's upload, as its row and its record tell it.
struct TargetEnd {
    UploadResult result;
    UnitRecord record;
    bool recorded = false;
};

// The unit a target leads to: the address it resolves to. A target that does not resolve is
// its own name (trimmed, in any case): its upload fails and says why.
QString UnitOf(const QString& target) {
    SystemHostResolver resolver;
    QString unit = target.trimmed().toLower();
    StderrLog log(target);
    Guard(log, Place::Module(QStringLiteral("upload"), QStringLiteral("quorvex-cli")))
        .step([&] { unit = resolver.resolve(target); }, [](const Failure&) { return true; });
    return unit;
}

// Two uploads to one unit at once would each send it their blocks under the same file name,
// and the unit would keep a mix of both: a unit named twice, also as a name and its address,
// is refused before anything is read or sent.
std::optional<int> RefuseOneUnitNamedTwice(const Arguments& a) {
    QHash<QString, QString> named;
    for (const QString& target : a.targets) {
        const QString unit = UnitOf(target);
        const auto first = named.constFind(unit);
        if (first == named.cend()) {
            named.insert(unit, target);
            continue;
        }
        const QString how = *first == target
                                ? QStringLiteral("target '%1' is named twice").arg(target)
                                : QStringLiteral("targets '%1' and '%2' are one unit (%3)")
                                      .arg(*first, target, unit);
        return UsageFailure(a.command, how + QStringLiteral(": two uploads to one unit at once "
                                                            "would corrupt its image"));
    }
    return std::nullopt;
}

} // namespace

int RunUpload(const Arguments& a) {
    if (const auto refused = RefuseOneUnitNamedTwice(a))
        return *refused;
    UnitRun run;
    if (const auto failed = BeginUnits(a, run))
        return *failed;
    const QString host = QSysInfo::machineHostName();
    UnitBoard board(a.targets);
    std::vector<TargetEnd> ends(size_t(a.targets.size()));
    // Each target's record is written the moment its upload ends, on its own thread. Once a
    // stop is asked for, the targets not yet started are sent nothing: each is told so, in its
    // line, its row and its record.
    RunSideBySide(int(a.targets.size()), a.jobs, [&](int i) {
        const QString& target = a.targets[i];
        UnitBar bar(board, i);
        PrintedReport report(bar, target);
        StderrLog log(target);
        TargetEnd& end = ends[size_t(i)];
        UnitRecord& r = end.record;
        r.serial = false;
        r.host = host;
        r.given = target;
        r.start = QDateTime::currentDateTimeUtc();
        end.result =
            UploadToUnit(run.package->firmware(), target, report, log, a.tftpPort, &run.stop);
        r.end = QDateTime::currentDateTimeUtc();
        const UploadResult& result = end.result;
        if (result.outcome == TftpOutcome::Interrupted)
            report.tell(result.text, Icon::Error, QString());
        r.resolved = result.address;
        r.outcome = OutcomeWord(result.outcome);
        r.text = result.text;
        r.blocks = result.blocksAcknowledged;
        r.blocksTotal = result.blocks;
        end.recorded = run.record.append(r, run.facts);
    });
    board.done();

    QList<QStringList> rows;
    QList<UnitRecord> records;
    bool all = true;
    for (int i = 0; i < a.targets.size(); ++i) {
        const TargetEnd& end = ends[size_t(i)];
        all = all && end.result.outcome == TftpOutcome::Finished && end.recorded;
        rows << QStringList{a.targets[i], end.result.text};
        records << end.record;
    }
    return EndUnits(a, run, {QStringLiteral("TARGET"), QStringLiteral("RESULT")}, rows, records,
                    all);
}

} // namespace quorvex::cli
