#include "flow/open_package.h"

#include "base/catalogue.h"
#include "flow/fraction_progress.h"

namespace quorvex {

namespace {

const QLatin1String CrLf("\r\n");

QString ConfirmQuestion(const DFFHeader& h) {
    return QStringLiteral("Loading firmware file for the following product: ") + CrLf + CrLf +
           ProductDisplayName(h.trimmedCode()) + CrLf + QStringLiteral("Version: ") +
           h.versionText() + CrLf + CrLf + QStringLiteral("Do you want to continue?");
}

PackageRefusal Refused(const LoadRefusal& why, std::optional<DFFHeader> header = std::nullopt) {
    return PackageRefusal{why.status, why.message, std::move(header), why.key};
}

} // namespace

UnitKind Package::kind() const {
    return firmware_.Header.ChipId == NetworkChipId ? UnitKind::Network : UnitKind::Serial;
}

OpenOutcome OpenPackage(const QString& path, Report& report, ErrorSink& log,
                        const std::function<void(const DFFHeader&)>& headerRead) {
    // Without a whole header there is nothing to confirm.
    const auto head = ReadPackageHeader(path, log);
    if (const auto* refusal = std::get_if<LoadRefusal>(&head))
        return Refused(*refusal);
    const PackageHead& package = std::get<PackageHead>(head);
    if (headerRead)
        headerRead(package.header);
    if (const auto refusal = CheckBodySize(package))
        return Refused(*refusal, package.header);
    if (!report.ask(ConfirmQuestion(package.header)))
        return Declined{};

    FractionProgress progress(report);
    auto decoded = DecodePackage(path, package.header, &progress, log);
    if (const auto* refusal = std::get_if<LoadRefusal>(&decoded))
        return Refused(*refusal, package.header);
    DecodedPackage& body = std::get<DecodedPackage>(decoded);
    return Package(std::move(body.firmware), body.key);
}

} // namespace quorvex
