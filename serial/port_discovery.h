#pragma once
// Fills the port list with the serial ports that can be opened right now.
#include "flow/session.h"

namespace quorvex {

inline constexpr int FirstScannedPort = 1;
inline constexpr int LastScannedPort = 16;

// Opens port `number` and closes it again; true when it could be opened. Never fails. With a
// `device`, that device is opened and nothing else (see SerialPort::setCommDevice).
bool CanOpenPort(int number, SerialPort& port, const QString& device = {});

// Lists "Com n" for every port 1..16 that opens, each with the device it opened, selects the
// first, and sets the main button's caption to match whether a package is loaded. The window
// is locked while it scans.
void cmdRefresh_Click(Session& s);

// "Upload firmware ver. 1.4.12 to TORV5": the main button's caption with a package loaded.
QString UploadCaption(const LoadedFirmware& fw);

} // namespace quorvex
