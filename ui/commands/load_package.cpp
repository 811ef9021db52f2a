#include "ui/commands/load_package.h"

#include "base/catalogue.h"
#include "flow/serial_ports.h"
#include "ui/commands/port_list.h"

#include <variant>

namespace quorvex {

void PrepareWindowFor(const WindowSide& side, const DFFHeader& header) {
    Guard guard(side.log, Place::Module(QStringLiteral("LoadDFFFile"), QStringLiteral("modFW")));
    const auto accessBox = [&side](const Failure& f) {
        if (!IsShownToTheUser(f))
            return false;
        ShowError(side.prompts, AccessMessage(f));
        return true;
    };
    WindowPort& w = side.window;
    if (header.ChipId == NetworkChipId) {
        w.showMedium(Medium::Network);
        w.setText(WindowText::Status, QStringLiteral("Status: Ready."));
        return;
    }
    w.showMedium(Medium::Serial);
    guard.step([&] { UseLineSettingsOf(header, side.serial); }, accessBox);
    guard.step([&] { ScanPortsIntoList(w, side.serial); }, accessBox);
}

bool KeepOpenedPackage(const WindowSide& side, const OpenOutcome& opened) {
    if (const auto* refusal = std::get_if<PackageRefusal>(&opened)) {
        if (!refusal->message.isEmpty())
            ShowError(side.prompts, refusal->message);
        return false;
    }
    const auto* package = std::get_if<Package>(&opened);
    if (!package)
        return false; // declined
    side.firmware = package->firmware();
    return true;
}

} // namespace quorvex
