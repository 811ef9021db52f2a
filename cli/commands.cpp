#include "cli/commands.h"

#include "base/catalogue.h"
#include "cli/load_status.h"
#include "cli/printed_report.h"
#include "cli/table.h"
#include "serial/port_naming.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <variant>

namespace quorvex::cli {

namespace {

// The package of `flash` or `upload`, opened and of the command's kind, its product and
// version printed and `facts` filled for the records; else the exit status, the refusal
// printed.
std::variant<Package, int> OpenForUnits(const Arguments& a, PackageFacts& facts) {
    const QString& path = a.packages.first();
    StderrLog log;
    LineProgress bar(QStringLiteral("decoding"));
    PrintedReport report(bar);
    // The record names the package by the digest of its file; read before and after the
    // decode, it is the digest of the bytes decoded unless the file changed meanwhile.
    const QString digest = PackageDigest(path);
    OpenOutcome opened = OpenPackage(path, report, log);
    bar.hide();
    auto* package = std::get_if<Package>(&opened);
    if (!package) {
        const auto* refusal = std::get_if<PackageRefusal>(&opened);
        QString why = refusal ? LinesOf(refusal->message).join(QLatin1Char(' ')) : QString();
        if (why.isEmpty())
            why = QStringLiteral("the package holds no complete firmware");
        PrintError(QStringLiteral("quorvex-cli %1: %2: %3")
                       .arg(CommandWord(a.command), Visible(path), Visible(why)));
        return refusal ? int(StatusOf(refusal->fault)) : ExitFailed;
    }
    const bool network = package->kind() == UnitKind::Network;
    if (network != (a.command == Command::Upload))
        return UsageFailure(
            a.command, network
                           ? QStringLiteral("%1 is a network package; 'upload' sends it").arg(path)
                           : QStringLiteral("%1 is a serial package; 'flash' writes it").arg(path));
    if (PackageDigest(path) != digest) {
        PrintError(QStringLiteral("quorvex-cli %1: %2: the package changed while it was read; "
                                  "nothing was sent to any unit")
                       .arg(CommandWord(a.command), Visible(path)));
        return ExitFailed;
    }
    const DFFHeader& h = package->header();
    facts.fileName = QFileInfo(path).fileName();
    facts.sha256 = digest;
    facts.product = h.trimmedCode();
    facts.version = h.versionText();
    PrintLine(Visible(
        QStringLiteral("%1: %2 %3, version %4")
            .arg(facts.fileName, facts.product, ProductDisplayName(facts.product), facts.version)));
    return std::move(*package);
}

} // namespace

int AfterOutput(int status) {
    const QString lost = FinishOutput();
    if (lost.isEmpty())
        return status;
    PrintError(QStringLiteral("quorvex-cli: the output could not all be written (%1)").arg(lost));
    return status == ExitOk || status == ExitFailed ? ExitOutputLost : status;
}

int UsageFailure(Command command, const QString& text) {
    PrintError(UsageText(command, text));
    return ExitUsage;
}

QString DeviceFolder(const Arguments& a) {
    return a.deviceFolder.isEmpty() ? DefaultDeviceFolder() : a.deviceFolder;
}

std::optional<int> BeginUnits(const Arguments& a, UnitRun& run) {
    if (a.json)
        LinesForPeopleOnStandardError();
    auto opened = OpenForUnits(a, run.facts);
    if (const int* refused = std::get_if<int>(&opened))
        return *refused;
    run.package = std::move(std::get<Package>(opened));
    if (const QString why = run.record.open(a.recordPath); !why.isEmpty())
        return UsageFailure(
            a.command,
            QStringLiteral("cannot append to the record '%1': %2").arg(a.recordPath, why));
    StopOnSignals(run.stop);
    return std::nullopt;
}

int EndUnits(const Arguments& a, const UnitRun& run, const QStringList& header,
             const QList<QStringList>& rows, const QList<UnitRecord>& records, bool allWell) {
    if (a.json) {
        QJsonArray units;
        for (const UnitRecord& r : records)
            units.append(RecordJson(r, run.facts));
        PrintRaw(VisibleJson(QJsonDocument(units).toJson()));
    } else {
        PrintRaw(QStringLiteral("\n") + FormatTable(header, rows));
    }
    // A stop that came once every unit had ended changed nothing: the run ended on its own.
    const bool cut = std::any_of(records.begin(), records.end(),
                                 [](const UnitRecord& r) { return r.outcome == InterruptedWord; });
    if (run.stop.requested() && cut)
        return StoppedStatus(run.stop);
    return allWell ? ExitOk : ExitFailed;
}

} // namespace quorvex::cli
