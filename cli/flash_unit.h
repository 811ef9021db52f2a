#pragma once
// Flashing one serial unit on one port for quorvex-cli: the port as the user named it, the
// flashing sequence at the product's line settings, and what the unit's flash tells as it goes.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "flow/flash_serial_unit.h"

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

// What one unit's flash tells as it goes. Called on the unit's own thread.
class UnitEvents {
  public:
    virtual ~UnitEvents() = default;
    virtual void stage(const QString& text) = 0;            // countdown, "Flashing firmware..."
    virtual void progress(double fraction) = 0;             // 0..1 through the flash image
    virtual void told(const QString& text, bool error) = 0; // what the window's box would say
};

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
FlashOutcome FlashUnit(const LoadedFirmware& firmware, const PortChoice& port, int helloAttempts,
                       ErrorSink& log, UnitEvents& events, const StopRequest* stop = nullptr);

} // namespace quorvex::cli
