#pragma once
// Finds the serial ports that can be opened right now.
#include "serial/serial_port.h"

#include <QList>
#include <QString>

namespace quorvex {

inline constexpr int FirstScannedPort = 1;
inline constexpr int LastScannedPort = 16;

// Opens port `number` and closes it again; true when it could be opened. Never fails. With a
// `device`, that device is opened and nothing else (see SerialPort::setCommDevice).
bool CanOpenPort(int number, SerialPort& port, const QString& device = {});

struct PortEntry {
    int number = 0;
    QString text;   // "Com n", as the port list shows it
    QString device; // the device the scan opened, which an upload opens again
};

// Every port 1..16 that opens, each with the device it opened; `port` is left closed.
QList<PortEntry> ScanPorts(SerialPort& port);

} // namespace quorvex
