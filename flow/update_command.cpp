#include "flow/update_command.h"

#include "base/catalogue.h"
#include "base/conversions.h"
#include "base/file_dialogs.h"
#include "flow/port_list.h"
#include "flow/window_reports.h"
#include "net/tftp_client.h"
#include "serial/flashing_sequence.h"

#include <cmath>

namespace quorvex {

namespace {

const QString BrowseCaption = QStringLiteral("Browse for DFF file");

// "Com 12" -> 12: lower-cased, every "com" removed, the leading number rounded to a 16-bit
// integer. A number outside that range is failure 6 (overflow).
int PortNumberOf(const QString& entry) {
    const double v = std::nearbyint(LeadingNumber(entry.toLower().remove(QStringLiteral("com"))));
    if (v < -32768 || v > 32767)
        Raise(FailureNo::Overflow);
    return int(v);
}

} // namespace

UpdateCommand::UpdateCommand(PackageLoad load, FileDialogBackend& dialogs, TftpClient& tftp,
                             std::function<void()> refreshPorts)
    : load_(std::move(load)), dialogs_(dialogs), tftp_(tftp),
      refreshPorts_(std::move(refreshPorts)) {}

void UpdateCommand::cmdUpdate_Click() {
    if (!load_.firmware.isLoaded()) {
        BrowseAndLoad();
        return;
    }
    if (Flash())
        load_.window.closeWindow();
}

void UpdateCommand::BrowseAndLoad() {
    Guard g(load_.log, Place::Form(QStringLiteral("cmdUpdate_Click")));
    WindowPort& w = load_.window;
    w.EnableControls(false);
    QString path = ChoosePackage(g);
    if (!FileExists(path))
        path.clear();
    packagePath_ = path;
    if (!path.isEmpty())
        w.setText(WindowText::Caption, QStringLiteral("Verifying DFF..."));

    // The port scan of a serial load gives the window back when it ends, yet the question and
    // the decode are still to come: lock it again so that no second load can start meanwhile.
    const auto refreshDuringLoad = [&] {
        refreshPorts_();
        w.EnableControls(false);
        w.setText(WindowText::Caption, QStringLiteral("Verifying DFF..."));
    };
    bool loaded = false;
    g.step([&] { loaded = LoadDFFFile(load_, path, refreshDuringLoad); });
    if (loaded) {
        w.setText(WindowText::Caption, UploadCaption(load_.firmware));
    } else {
        w.setText(WindowText::Caption, path.isEmpty()
                                           ? BrowseCaption
                                           : QStringLiteral("Unable to load. Click to try again."));
        w.showMedium(Medium::None);
        load_.firmware.releaseImages();
    }
    w.EnableControls(true);
}

QString UpdateCommand::ChoosePackage(Guard& g) {
    DialogCall call;
    call.fileName = packagePath_;
    call.filter = QStringLiteral("Tolvane Firmware Files (*.dff)|*.dff|All Files (*.*)|*.*");
    call.title = QStringLiteral("Load Tolvane Firmware File");
    call.flags = OFN_EXPLORER | OFN_HIDEREADONLY;
    call.fileMustExist = true;
    call.hideReadOnly = true;
    g.step([&] { OpenDialog(dialogs_, load_.log, call); });
    return call.fileName;
}

bool UpdateCommand::Flash() {
    Guard g(load_.log, Place::Form(QStringLiteral("cmdUpdate_Click")));
    load_.window.setUpdateVisible(false);
    load_.window.EnableControls(false);
    if (IsNetworkUnit(load_.firmware)) {
        // Returns once the write request is out; the client gives the window back when the
        // transfer ends, and shows a start failure in the status line itself.
        tftp_.BeginUpload(load_.firmware.ProgramImage, load_.firmware.Header.trimmedCode(),
                          load_.window.targetAddress());
        return false;
    }
    const bool closeAfterwards = FlashSerial(g);
    load_.window.EnableControls(true);
    load_.window.progress().hide();
    load_.window.setUpdateVisible(true);
    return closeAfterwards;
}

bool UpdateCommand::FlashSerial(Guard& g) {
    WindowPort& w = load_.window;
    SerialPort& port = load_.serial;
    // A port that is already open is reopened below; that is no failure worth a record.
    const auto portAlreadyOpen = [](const Failure& f) {
        return f.number == FailureNo::PortAlreadyOpen;
    };
    bool okToFlash = true;
    bool closeAfterwards = false;
    bool portGone = false;
    const QString chosenText = ChosenPortText(w);
    const QString chosenDevice = ChosenPortDevice(w);

    if (!PortChosen(w)) {
        ShowInfo(load_.prompts, QStringLiteral("Please select a COM port from the list."));
        okToFlash = false;
    } else {
        g.step([&] { portNumber_ = PortNumberOf(ChosenPortText(w)); });
        if (portNumber_ >= 1 && portNumber_ <= 255) {
            g.step([&] {
                if (port.isOpen())
                    port.close();
            });
            // The device the list showed, not whatever holds the number now.
            g.step([&] { port.setCommDevice(portNumber_, ChosenPortDevice(w)); });
        }
        g.step([&] { port.open(); },
               [&](const Failure& f) {
                   portGone = f.number == FailureNo::InvalidPortNumber;
                   return portAlreadyOpen(f);
               });
        if (!port.isOpen()) {
            ShowError(
                load_.prompts,
                QStringLiteral("Unable to connect on select COM port.  The port may be in use."));
            okToFlash = false;
        }
    }

    if (okToFlash) {
        w.setText(WindowText::Message, QStringLiteral("Please reset the unit... (10 seconds)"));
        WindowFlashReport report(w, load_.prompts);
        SerialFlashResult result;
        g.step([&] {
            result = LoadAndSendFirmwareSer(SerialLink{port, load_.log}, load_.firmware, report);
        });
        if (result.outcome == SerialFlashOutcome::Refused)
            ForgetRefusedPackage(g);
        w.restoreAndRaise();
        const QString question = QStringLiteral("Would you like to flash another unit with v") +
                                 load_.firmware.Header.versionText() + QStringLiteral(" firmware?");
        if (!AskYesNo(load_.prompts, question))
            closeAfterwards = true;
    }
    g.step([&] {
        if (port.isOpen())
            port.close();
    });
    // The list no longer matches the machine: show what is there now, still on the technician's
    // choice if it is there, else on nothing rather than on some other unit.
    if (portGone) {
        g.step([&] { refreshPorts_(); });
        g.step([&] { KeepPortSelection(w, chosenText, chosenDevice); });
    }
    return closeAfterwards;
}

void UpdateCommand::ForgetRefusedPackage(Guard& g) {
    WindowPort& w = load_.window;
    g.step([&] { w.showMedium(Medium::None); });
    g.step([&] { load_.firmware.releaseImages(); });
    g.step([&] { w.setText(WindowText::Caption, BrowseCaption); });
}

} // namespace quorvex
