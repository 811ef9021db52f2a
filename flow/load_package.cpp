#include "flow/load_package.h"

#include "base/catalogue.h"
#include "flow/open_package.h"
#include "flow/window_reports.h"
#include "package/package_reader.h"

#include <variant>

namespace quorvex {

namespace {

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

} // namespace

bool LoadDFFFile(const PackageLoad& load, const QString& path,
                 const std::function<void()>& refreshPorts) {
    if (path.isEmpty())
        return false;
    OpenOutcome opened = [&] {
        WindowReport report(load.window, load.prompts, WindowReport::Bar::HiddenAtEnd);
        return OpenPackage(path, report, load.log, [&](const DFFHeader& header) {
            load.firmware.Header = header;
            PrepareWindowFor(load, header, refreshPorts);
        });
    }();
    if (const auto* refusal = std::get_if<PackageRefusal>(&opened)) {
        if (!refusal->message.isEmpty())
            ShowError(load.prompts, refusal->message);
        return false;
    }
    const auto* package = std::get_if<Package>(&opened);
    if (!package)
        return false; // declined
    LoadedFirmware& fw = load.firmware;
    const LoadedFirmware& body = package->firmware();
    fw.ProgramImage = body.ProgramImage;
    // A network package brings an image and nothing else: the other arrays stay as they were.
    if (package->kind() == UnitKind::Serial) {
        fw.EepromImage = body.EepromImage;
        fw.EepromPresent = body.EepromPresent;
        fw.ConfigImage = body.ConfigImage;
        fw.ProgramEnd = body.ProgramEnd;
    }
    return true;
}

} // namespace quorvex
