#include "serial/port_discovery.h"

#include "base/paced_wait.h"
#include "base/catalogue.h"

namespace quorvex {

bool CanOpenPort(int number, SerialPort& port, const QString& device) {
    // Every failure here only means "not usable": nothing is logged or shown.
    LetEventsRun();
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

QString UploadCaption(const LoadedFirmware& fw) {
    return QStringLiteral("Upload firmware ver. ") + fw.Header.versionText() +
           QStringLiteral(" to ") + ProductDisplayName(fw.Header.trimmedCode());
}

void cmdRefresh_Click(Session& s) {
    // Nothing in the scan can fail: a port that does not open is simply left out.
    WindowPort& w = s.window;
    w.EnableControls(false);
    w.setUpdateCaption(QStringLiteral("Scanning available COM ports, please wait..."));
    w.setBusyPointer(true);
    w.clearPorts();
    // The device is named once and then opened by that name: what the entry shows is what
    // was found usable, even if the system's devices change during the scan.
    for (int n = FirstScannedPort; n <= LastScannedPort; ++n) {
        const QString device = s.serComm.deviceName(n);
        if (!device.isEmpty() && CanOpenPort(n, s.serComm, device))
            w.addPort(QStringLiteral("Com %1").arg(n), device);
    }
    if (w.portCount() > 0)
        w.selectPort(0);
    w.setUpdateCaption(s.firmware.isLoaded() ? UploadCaption(s.firmware)
                                             : QStringLiteral("Browse for DFF file"));
    w.setBusyPointer(false);
    w.EnableControls(true);
}

} // namespace quorvex
