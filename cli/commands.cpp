#include "cli/commands.h"

#include "base/catalogue.h"
#include "cli/printed_report.h"
#include "cli/table.h"
#include "serial/port_naming.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace quorvex::cli {

namespace {

QString CommandWord(Command c) {
    switch (c) {
    case Command::Info:
        return QStringLiteral("info");
    case Command::Pack:
        return QStringLiteral("pack");
    case Command::Ports:
        return QStringLiteral("ports");
    case Command::Flash:
        return QStringLiteral("flash");
    case Command::Upload:
        return QStringLiteral("upload");
    case Command::Help:
    case Command::Version:
        break;
    }
    return QStringLiteral("help");
}

} // namespace

int UsageFailure(Command command, const QString& text) {
    PrintError(QStringLiteral("quorvex-cli %1: %2\nTry 'quorvex-cli %1 --help'.")
                   .arg(CommandWord(command), Visible(text)));
    return ExitUsage;
}

QString DeviceFolder(const Arguments& a) {
    return a.deviceFolder.isEmpty() ? DefaultDeviceFolder() : a.deviceFolder;
}

std::variant<Package, int> OpenForUnits(const Arguments& a, PackageFacts& facts) {
    const QString& path = a.packages.first();
    StderrLog log;
    LineProgress bar(QStringLiteral("decoding"));
    PrintedReport report(bar);
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
        return refusal ? int(refusal->status) : ExitFailed;
    }
    const bool network = package->kind() == UnitKind::Network;
    if (network != (a.command == Command::Upload))
        return UsageFailure(
            a.command, network
                           ? QStringLiteral("%1 is a network package; 'upload' sends it").arg(path)
                           : QStringLiteral("%1 is a serial package; 'flash' writes it").arg(path));
    const DFFHeader& h = package->header();
    facts.fileName = QFileInfo(path).fileName();
    facts.sha256 = PackageDigest(path);
    facts.product = h.trimmedCode();
    facts.version = h.versionText();
    PrintLine(Visible(QStringLiteral("%1: %2 %3, version %4")
                          .arg(QFileInfo(path).fileName(), h.trimmedCode(),
                               ProductDisplayName(h.trimmedCode()), h.versionText())));
    return std::move(*package);
}

std::optional<int> BeginUnits(const Arguments& a, RecordFile& record, StopRequest& stop) {
    if (const QString why = record.open(a.recordPath); !why.isEmpty())
        return UsageFailure(
            a.command,
            QStringLiteral("cannot append to the record '%1': %2").arg(a.recordPath, why));
    StopOnSignals(stop);
    return std::nullopt;
}

int EndUnits(const Arguments& a, const QStringList& header, const QList<QStringList>& rows,
             const QList<UnitRecord>& records, const PackageFacts& package, bool allWell,
             const StopRequest& stop) {
    if (a.json) {
        QJsonArray units;
        for (const UnitRecord& r : records)
            units.append(RecordJson(r, package));
        PrintRaw(VisibleJson(QJsonDocument(units).toJson()));
    } else {
        PrintRaw(QStringLiteral("\n") + FormatTable(header, rows));
    }
    if (stop.requested())
        return StoppedStatus(stop);
    return allWell ? ExitOk : ExitFailed;
}

} // namespace quorvex::cli
