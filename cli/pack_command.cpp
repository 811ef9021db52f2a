// quorvex-cli pack: a package built as maker mode builds it.
#include "base/catalogue.h"
#include "cli/commands.h"
#include "cli/printed_report.h"
#include "flow/build_package.h"
#include "package/maker_panel.h"
#include "package/package_builder.h"

#include <QDir>
#include <QFileInfo>

namespace quorvex::cli {

namespace {

// The product as the maker panel's unit list spells it; empty when it lists no such product.
QString ListedProduct(const QString& given) {
    QString product;
    for (const QString& code : UnitListEntries())
        if (code.compare(given, Qt::CaseInsensitive) == 0)
            product = code;
    return product;
}

// The chip by id or by model name, as the chip list's entry "model [id]".
QString ListedChip(const QString& given) {
    QString chipEntry;
    bool isNumber = false;
    const int id = given.toInt(&isNumber);
    for (const QString& entry : ChipListEntries()) {
        const auto entryId = ChipIdOfEntry(entry);
        const QString model = entry.left(entry.lastIndexOf(QStringLiteral(" [")));
        if ((isNumber && entryId && *entryId == id) ||
            (!isNumber && (model.compare(given, Qt::CaseInsensitive) == 0 ||
                           entry.compare(given, Qt::CaseInsensitive) == 0)))
            chipEntry = entry;
    }
    return chipEntry;
}

} // namespace

int RunPack(const Arguments& a) {
    const QString product = ListedProduct(a.product);
    if (product.isEmpty())
        return UsageFailure(Command::Pack,
                            QStringLiteral("option '--product': unknown product '%1' (known: %2)")
                                .arg(a.product, UnitListEntries().join(QStringLiteral(", "))));
    const QString chipEntry = ListedChip(a.chip);
    if (chipEntry.isEmpty())
        return UsageFailure(Command::Pack,
                            QStringLiteral("option '--chip': unknown chip '%1' (known: %2)")
                                .arg(a.chip, ChipListEntries().join(QStringLiteral(", "))));

    const QStringList parts = a.version.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return UsageFailure(
            Command::Pack,
            QStringLiteral("option '--version' takes A.B.C, not '%1'").arg(a.version));
    const MakerChoice choice{product, chipEntry, {parts[0], parts[1], parts[2]}};
    if (const auto refusal = RefusalOf(choice))
        return UsageFailure(Command::Pack, QStringLiteral("option '--version': ") + *refusal);

    const DFFHeader header = HeaderOf(choice);
    if (!QFileInfo(a.input).isFile()) {
        PrintError(Visible(
            QStringLiteral("The package %1 was not written: the firmware file %2 "
                           "cannot be read.")
                .arg(QDir::toNativeSeparators(a.output), QDir::toNativeSeparators(a.input))));
        return ExitFailed;
    }
    StderrLog log;
    LineProgress bar(QStringLiteral("encoding"));
    PrintedReport report(bar);
    const auto failure = BuildPackage(a.input, a.output, header, report, log);
    bar.hide();
    if (failure) {
        PrintError(Visible(*failure));
        return ExitFailed;
    }
    PrintLine(
        Visible(QStringLiteral("%1: %2 %3, chip %4, version %5, %6 bytes")
                    .arg(a.output, header.trimmedCode(), ProductDisplayName(header.trimmedCode()),
                         chipEntry, header.versionText())
                    .arg(QFileInfo(a.output).size())));
    return ExitOk;
}

} // namespace quorvex::cli
