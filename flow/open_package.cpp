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
    return PackageRefusal{why.fault, why.message, std::move(header), why.key};
}

} // namespace

UnitKind Package::kind() const {
    return firmware_.Header.ChipId == NetworkChipId ? UnitKind::Network : UnitKind::Serial;
}

std::variant<PackageHead, PackageRefusal> OpenPackageHeader(const QString& path, ErrorSink& log) {
    // Without a whole header there is nothing to confirm.
    auto head = ReadPackageHeader(path, log);
    if (const auto* refusal = std::get_if<LoadRefusal>(&head))
        return Refused(*refusal);
    return std::get<PackageHead>(head);
}

OpenOutcome OpenPackageBody(const QString& path, const PackageHead& head, Report& report,
                            ErrorSink& log) {
    if (const auto refusal = CheckBodySize(head))
        return Refused(*refusal, head.header);
    if (!report.ask(ConfirmQuestion(head.header)))
        return Declined{};

    FractionProgress progress(report);
    auto decoded = DecodePackage(path, head.header, &progress, log);
    if (const auto* refusal = std::get_if<LoadRefusal>(&decoded))
        return Refused(*refusal, head.header);
    DecodedPackage& body = std::get<DecodedPackage>(decoded);
    return Package(std::move(body.firmware), body.key);
}

OpenOutcome OpenPackage(const QString& path, Report& report, ErrorSink& log) {
    auto head = OpenPackageHeader(path, log);
    if (auto* refusal = std::get_if<PackageRefusal>(&head))
        return std::move(*refusal);
    return OpenPackageBody(path, std::get<PackageHead>(head), report, log);
}

} // namespace quorvex
