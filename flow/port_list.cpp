#include "flow/port_list.h"

#include "base/catalogue.h"
#include "serial/port_discovery.h"

namespace quorvex {

QString UploadCaption(const LoadedFirmware& fw) {
    return QStringLiteral("Upload firmware ver. ") + fw.Header.versionText() +
           QStringLiteral(" to ") + ProductDisplayName(fw.Header.trimmedCode());
}

void cmdRefresh_Click(WindowPort& w, SerialPort& port, const LoadedFirmware& fw) {
    w.EnableControls(false);
    w.setUpdateCaption(QStringLiteral("Scanning available COM ports, please wait..."));
    w.setBusyPointer(true);
    w.clearPorts();
    for (const PortEntry& entry : ScanPorts(port))
        w.addPort(entry.text, entry.device);
    if (w.portCount() > 0)
        w.selectPort(0);
    w.setUpdateCaption(fw.isLoaded() ? UploadCaption(fw) : QStringLiteral("Browse for DFF file"));
    w.setBusyPointer(false);
    w.EnableControls(true);
}

void KeepPortSelection(WindowPort& w, const QString& text, const QString& device) {
    for (int i = 0; i < w.portCount(); ++i) {
        w.selectPort(i);
        if (w.selectedPortText() == text && w.selectedPortDevice() == device)
            return;
    }
    w.selectPort(-1);
}

} // namespace quorvex
