#pragma once
// Flashing one serial unit on one port for quorvex-cli: the port as the user named it, the
// flashing sequence at the product's line settings, and what the unit's flash tells as it goes.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "flow/flash_serial_unit.h"
#include "flow/report.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace quorvex::cli {

// A port as the user named it: a device (or a link to one), or "Com n" / "COMn".
struct PortChoice {
    QString given;
    int number = 1;
    QString device; // empty: no such port
};
// `folder` holds the numbered devices ("/dev"); "Com n" is looked up there as the window
// numbers its ports.
PortChoice ResolvePort(const QString& given, const QString& folder);

struct FlashOutcome {
    // As the flow told it.
    SerialUnitOutcome unit;
    // The window's text for the outcome (a refusal: its caption); a port this user may not
    // open says so instead.
    QString result;
};

// Opens the port with the product's line settings, runs the flashing sequence, closes the
// port. Runs on the calling thread, which owns the port while it runs.
// `helloAttempts`: hellos sent while the unit is reset, at least 1. `stop`, when requested,
// ends the flash before its next hello or frame.
// `report` hears what the window would show, on this thread; what ends the flash short of
// flashed is told as an error box.
FlashOutcome FlashUnit(const LoadedFirmware& firmware, const PortChoice& port, int helloAttempts,
                       ErrorSink& log, Report& report, const StopRequest* stop = nullptr);

} // namespace quorvex::cli
