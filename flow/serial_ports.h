#pragma once
// The serial port as a front end keeps it between flashes: its line settings, the ports that
// open now, and closing it.
#include "base/loaded_firmware.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"

#include <QList>

namespace quorvex {

// Every port 1..16 that opens now, each with the device it opened; the port is left closed.
QList<PortEntry> ListSerialPorts(SerialPort& port);

// The line settings of the product `header` names; a product without settings of its own
// leaves the port's as they are. A port that refuses them fails (FailureError).
void UseLineSettingsOf(const DFFHeader& header, SerialPort& port);
// The settings a port has until a package of a product with settings of its own is opened.
void UseDefaultLineSettings(SerialPort& port);

// Closes the port when it is open.
void CloseSerialPort(SerialPort& port);

} // namespace quorvex
