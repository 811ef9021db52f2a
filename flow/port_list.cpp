#include "flow/port_list.h"

#include "base/catalogue.h"

namespace quorvex {

QString UploadCaption(const LoadedFirmware& fw) {
    return QStringLiteral("Upload firmware ver. ") + fw.Header.versionText() +
           QStringLiteral(" to ") + ProductDisplayName(fw.Header.trimmedCode());
}

void RefreshPortList(WindowPort& w, SerialPort& port, const LoadedFirmware& fw) {
    w.lock(Lock::Controls);
    w.setText(WindowText::Caption, QStringLiteral("Scanning available COM ports, please wait..."));
    // The entries of the last scan are gone while this one runs.
    w.setPortList({});
    PortList found{ScanPorts(port)};
    found.chosen = found.entries.isEmpty() ? -1 : 0;
    w.setPortList(found);
    w.setText(WindowText::Caption,
              fw.isLoaded() ? UploadCaption(fw) : QStringLiteral("Browse for DFF file"));
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

bool PortChosen(const WindowPort& w) {
    return w.portList().choice() != nullptr;
}

QString ChosenPortText(const WindowPort& w) {
    const PortList list = w.portList();
    return list.choice() ? list.choice()->text : QString();
}

QString ChosenPortDevice(const WindowPort& w) {
    const PortList list = w.portList();
    return list.choice() ? list.choice()->device : QString();
}

} // namespace quorvex
