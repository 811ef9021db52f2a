#include "flow/load_package.h"

#include "base/catalogue.h"
#include "package/package_reader.h"

#include <variant>

namespace quorvex {

namespace {

const QLatin1String CrLf("\r\n");

QString ConfirmQuestion(const DFFHeader& h) {
    return QStringLiteral("Loading firmware file for the following product: ") + CrLf + CrLf +
           ProductDisplayName(h.trimmedCode()) + CrLf + QStringLiteral("Version: ") +
           h.versionText() + CrLf + CrLf + QStringLiteral("Do you want to continue?");
}

// The panel of the package's kind of unit; a serial product's port gets its line settings and
// the port list is scanned again.
void PrepareWindowFor(const PackageLoad& load, const DFFHeader& header,
                      const std::function<void()>& refreshPorts) {
    Guard guard(load.log, Place::Module(QStringLiteral("LoadDFFFile"), QStringLiteral("modFW")));
    const auto accessBox = [&load](const Failure& f) {
        if (!IsShownToTheUser(f))
            return false;
        ShowError(load.prompts, AccessMessage(f));
        return true;
    };
    WindowPort& w = load.window;
    if (header.ChipId == NetworkChipId) {
        w.showMedium(Medium::Network);
        w.setText(WindowText::Status, QStringLiteral("Status: Ready."));
        return;
    }
    w.showMedium(Medium::Serial);
    if (const auto settings = SerialSettingsOf(header.trimmedCode()))
        guard.step([&] { load.serial.setSettings(*settings); }, accessBox);
    if (refreshPorts)
        guard.step([&] { refreshPorts(); }, accessBox);
}

bool Refused(const PackageLoad& load, const LoadRefusal& refusal) {
    if (!refusal.message.isEmpty())
        ShowError(load.prompts, refusal.message);
    return false;
}

} // namespace

bool LoadDFFFile(const PackageLoad& load, const QString& path,
                 const std::function<void()>& refreshPorts) {
    if (path.isEmpty())
        return false;
    // Without a whole header there is nothing to confirm: the previous package's header must
    // not be offered in its place.
    const auto head = ReadPackageHeader(path, load.log);
    if (const auto* refusal = std::get_if<LoadRefusal>(&head))
        return Refused(load, *refusal);
    const PackageHead& package = std::get<PackageHead>(head);
    load.firmware.Header = package.header;

    PrepareWindowFor(load, package.header, refreshPorts);
    if (const auto refusal = CheckBodySize(package))
        return Refused(load, *refusal);
    if (!AskYesNo(load.prompts, ConfirmQuestion(package.header)))
        return false;

    auto decoded = DecodePackage(path, package.header, &load.window.progress(), load.log);
    if (const auto* refusal = std::get_if<LoadRefusal>(&decoded))
        return Refused(load, *refusal);
    LoadedFirmware& fw = load.firmware;
    LoadedFirmware& body = std::get<DecodedPackage>(decoded).firmware;
    fw.ProgramImage = std::move(body.ProgramImage);
    // A network package brings an image and nothing else: the other arrays stay as they were.
    if (package.header.ChipId != NetworkChipId) {
        fw.EepromImage = std::move(body.EepromImage);
        fw.EepromPresent = std::move(body.EepromPresent);
        fw.ConfigImage = std::move(body.ConfigImage);
        fw.ProgramEnd = body.ProgramEnd;
    }
    return true;
}

} // namespace quorvex
