#include "flow/serial_ports.h"

#include "base/catalogue.h"

namespace quorvex {

QList<PortEntry> ListSerialPorts(SerialPort& port) {
    return ScanPorts(port);
}

void UseLineSettingsOf(const DFFHeader& header, SerialPort& port) {
    if (const auto settings = SerialSettingsOf(header.trimmedCode()))
        port.setSettings(*settings);
}

void UseDefaultLineSettings(SerialPort& port) {
    port.setSettings(QStringLiteral("9600,n,8,1"));
}

void CloseSerialPort(SerialPort& port) {
    if (port.isOpen())
        port.close();
}

} // namespace quorvex
