#include "serial/port_discovery.h"

#include "base/failure.h"

namespace quorvex {

bool CanOpenPort(int number, SerialPort& port, const QString& device) {
    // Every failure here only means "not usable": nothing is logged or shown.
    try {
        port.setCommDevice(number, device);
        port.open();
    } catch (const FailureError&) {
    }
    const bool usable = port.isOpen();
    if (usable) {
        try {
            port.close();
        } catch (const FailureError&) {
        }
    }
    return usable;
}

QList<PortEntry> ScanPorts(SerialPort& port) {
    // Nothing in the scan can fail: a port that does not open is simply left out. The device
    // is named once and then opened by that name: what the entry shows is what was found
    // usable, even if the system's devices change during the scan.
    QList<PortEntry> found;
    for (int n = FirstScannedPort; n <= LastScannedPort; ++n) {
        const QString device = port.deviceName(n);
        if (!device.isEmpty() && CanOpenPort(n, port, device))
            found.append(PortEntry{n, QStringLiteral("Com %1").arg(n), device});
    }
    return found;
}

} // namespace quorvex
