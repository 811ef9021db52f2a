#pragma once
// The window's side of a load, around the two steps of opening a package: what the header
// prepares in the window before the question, and what the window keeps of the package.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "base/prompts.h"
#include "flow/open_package.h"
#include "ui/commands/window_port.h"

namespace quorvex {

class SerialPort;

// What the window's commands work on: the loaded package, the log, the person at the bench,
// the window and its serial port.
struct WindowSide {
    LoadedFirmware& firmware;
    ErrorSink& log;
    Prompts& prompts;
    WindowPort& window;
    SerialPort& serial;
};

// The panel of the package's kind of unit; a serial product's port gets its line settings and
// the port list is scanned again. The window stays as the load locked it.
void PrepareWindowFor(const WindowSide& side, const DFFHeader& header);

// True when the package opened: the firmware record becomes the package's. A refusal with a
// text of its own is told in a box.
bool KeepOpenedPackage(const WindowSide& side, const OpenOutcome& opened);

} // namespace quorvex
