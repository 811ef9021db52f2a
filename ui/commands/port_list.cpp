#include "ui/commands/port_list.h"

#include "base/catalogue.h"

namespace quorvex {

QString UploadCaption(const LoadedFirmware& fw) {
    return QStringLiteral("Upload firmware ver. ") + fw.Header.versionText() +
           QStringLiteral(" to ") + ProductDisplayName(fw.Header.trimmedCode());
}

void ScanPortsIntoList(WindowPort& w, SerialPort& port) {
    w.showBusy(true);
    w.setText(WindowText::Caption, QStringLiteral("Scanning available COM ports, please wait..."));
    // The entries of the last scan are gone while this one runs.
    w.setPortList({});
    PortList found{ListSerialPorts(port)};
    found.chosen = found.entries.isEmpty() ? -1 : 0;
    w.setPortList(found);
    w.showBusy(false);
}

void RefreshPortList(WindowPort& w, SerialPort& port, const LoadedFirmware& fw) {
    w.lock(Lock::Controls);
    ScanPortsIntoList(w, port);
    w.setText(WindowText::Caption, fw.isLoaded() ? UploadCaption(fw) : BrowseCaption);
    w.lock(Lock::None);
}

void KeepPortSelection(WindowPort& w, const QString& text, const QString& device) {
    PortList list = w.portList();
    list.chosen = -1;
    for (int i = 0; i < list.entries.size(); ++i)
        if (list.entries[i].text == text && list.entries[i].device == device) {
            list.chosen = i;
            break;
        }
    w.setPortList(list);
}

std::optional<PortEntry> ChosenPort(const WindowPort& w) {
    const PortList list = w.portList();
    if (const PortEntry* chosen = list.choice())
        return *chosen;
    return std::nullopt;
}

} // namespace quorvex
