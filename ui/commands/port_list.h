#pragma once
// The window's port list: filled by a scan, and the main button's caption that goes with it.
#include "base/loaded_firmware.h"
#include "ui/commands/window_port.h"

namespace quorvex {

class SerialPort;

// The main button's caption with no package loaded.
inline const QString BrowseCaption = QStringLiteral("Browse for DFF file");

// Refresh: the window locked while every port 1..16 is tried, then "Com n" listed for each
// that opens, with the device it opened, the first chosen, and the main button's caption to
// match whether a package is loaded.
void RefreshPortList(WindowPort& w, SerialPort& port, const LoadedFirmware& fw);
// The same scan within work that holds the window already: the caption shows the scan while it
// runs and is left to the work.
void ScanPortsIntoList(WindowPort& w, SerialPort& port);

// Chooses the entry that shows `text` for `device`, or none when the list no longer holds it:
// after the list has been scanned again, the next click must not fall on another unit.
void KeepPortSelection(WindowPort& w, const QString& text, const QString& device);

// The chosen entry; none when none is chosen.
std::optional<PortEntry> ChosenPort(const WindowPort& w);

// "Upload firmware ver. 1.4.12 to TORV5": the main button's caption with a package loaded.
QString UploadCaption(const LoadedFirmware& fw);

} // namespace quorvex
