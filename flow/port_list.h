#pragma once
// The window's port list: filled by a scan, and the main button's caption that goes with it.
#include "base/loaded_firmware.h"
#include "flow/window_port.h"
#include "serial/serial_port.h"

namespace quorvex {

// Lists "Com n" for every port 1..16 that opens, each with the device it opened, chooses the
// first, and sets the main button's caption to match whether a package is loaded. The window
// is locked while it scans.
void RefreshPortList(WindowPort& w, SerialPort& port, const LoadedFirmware& fw);

// Chooses the entry that shows `text` for `device`, or none when the list no longer holds it:
// after the list has been scanned again, the next click must not fall on another unit.
void KeepPortSelection(WindowPort& w, const QString& text, const QString& device);

// The chosen entry's text and device; empty when none is chosen.
bool PortChosen(const WindowPort& w);
QString ChosenPortText(const WindowPort& w);
QString ChosenPortDevice(const WindowPort& w);

// "Upload firmware ver. 1.4.12 to TORV5": the main button's caption with a package loaded.
QString UploadCaption(const LoadedFirmware& fw);

} // namespace quorvex
