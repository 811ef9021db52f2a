#include "flow/update_command.h"

#include "base/catalogue.h"
#include "base/conversions.h"
#include "base/file_dialogs.h"
#include "base/last_folder.h"
#include "flow/port_list.h"
#include "flow/upload.h"
#include "flow/window_reports.h"
#include "net/tftp_client.h"
#include "serial/flashing_sequence.h"

#include <QFileInfo>
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
                             std::function<void()> refreshPorts, LastFolder* lastFolder)
    : load_(std::move(load)), dialogs_(dialogs), tftp_(tftp),
      refreshPorts_(std::move(refreshPorts)), lastFolder_(lastFolder) {}

UpdateCommand::~UpdateCommand() = default;

void UpdateCommand::LoadOrFlash() {
    // The button is hidden while a unit is flashed; a click that still comes does nothing.
    if (flashing_)
        return;
    if (!load_.firmware.isLoaded()) {
        BrowseAndLoad();
        return;
    }
    Flash();
}

void UpdateCommand::BrowseAndLoad() {
    Guard g(load_.log, Place::Form(QStringLiteral("cmdUpdate_Click")));
    load_.window.lock(Lock::Controls);
    LoadChosen(g, ChoosePackage(g));
}

void UpdateCommand::OpenAsIfBrowsed(const QString& path) {
    if (flashing_ || load_.firmware.isLoaded())
        return;
    Guard g(load_.log, Place::Form(QStringLiteral("cmdUpdate_Click")));
    load_.window.lock(Lock::Controls);
    LoadChosen(g, path);
}

void UpdateCommand::LoadChosen(Guard& g, QString path) {
    WindowPort& w = load_.window;
    if (!FileExists(path))
        path.clear();
    packagePath_ = path;
    if (!path.isEmpty())
        w.setText(WindowText::Caption, QStringLiteral("Verifying DFF..."));

    // The port scan of a serial load gives the window back when it ends, yet the question and
    // the decode are still to come: lock it again so that no second load can start meanwhile.
    const auto refreshDuringLoad = [&] {
        refreshPorts_();
        w.lock(Lock::Controls);
        w.setText(WindowText::Caption, QStringLiteral("Verifying DFF..."));
    };
    bool loaded = false;
    g.step([&] { loaded = LoadDFFFile(load_, path, refreshDuringLoad); });
    if (loaded) {
        w.setText(WindowText::Caption, UploadCaption(load_.firmware));
        if (lastFolder_)
            g.step([&] { lastFolder_->keep(QFileInfo(path).absolutePath()); });
    } else {
        w.setText(WindowText::Caption, path.isEmpty()
                                           ? BrowseCaption
                                           : QStringLiteral("Unable to load. Click to try again."));
        w.showMedium(Medium::None);
        load_.firmware.releaseImages();
    }
    w.lock(Lock::None);
}

QString UpdateCommand::ChoosePackage(Guard& g) {
    DialogCall call;
    call.fileName = packagePath_;
    if (!dialogShown_ && packagePath_.isEmpty() && lastFolder_)
        call.initialFolder = lastFolder_->recall();
    dialogShown_ = true;
    call.filter = QStringLiteral("Tolvane Firmware Files (*.dff)|*.dff|All Files (*.*)|*.*");
    call.title = QStringLiteral("Load Tolvane Firmware File");
    call.flags = OFN_EXPLORER | OFN_HIDEREADONLY;
    call.fileMustExist = true;
    call.hideReadOnly = true;
    g.step([&] { OpenDialog(dialogs_, load_.log, call); });
    return call.fileName;
}

void UpdateCommand::Flash() {
    Guard g(load_.log, Place::Form(QStringLiteral("cmdUpdate_Click")));
    load_.window.lock(Lock::Working);
    if (IsNetworkUnit(load_.firmware)) {
        // Returns once the write request is out; the client gives the window back when the
        // transfer ends, and shows a start failure in the status line itself.
        BeginUploadToUnit(tftp_, load_.firmware, load_.window.targetAddress());
        return;
    }
    StartSerialFlash(g);
}

void UpdateCommand::StartSerialFlash(Guard& g) {
    WindowPort& w = load_.window;
    if (!PortChosen(w)) {
        ShowInfo(load_.prompts, QStringLiteral("Please select a COM port from the list."));
        g.step([&] {
            if (load_.serial.isOpen())
                load_.serial.close();
        });
        GiveWindowBack();
        return;
    }
    chosenText_ = ChosenPortText(w);
    chosenDevice_ = ChosenPortDevice(w);
    g.step([&] { portNumber_ = PortNumberOf(chosenText_); });
    // Outside 1..255 the port keeps the number it had.
    const SerialPortPick pick{portNumber_ >= 1 && portNumber_ <= 255 ? portNumber_ : 0,
                              chosenDevice_};

    flashing_ = true;
    stop_ = std::make_unique<StopRequest>();
    shown_ = std::make_unique<WindowReport>(w, load_.prompts);
    if (!worker_)
        worker_ = std::make_unique<WorkThread>();
    // From here until FinishSerialFlash the port and the package are the flash's: the window
    // stays locked and only draws what it is told.
    worker_->start(
        [this, pick, stop = stop_.get()] {
            ReportRelay report(*worker_, *shown_);
            LogRelay log(*worker_, load_.log);
            const SerialUnitJob job{load_.firmware, pick, Hello::Attempts,
                                    Place::Form(QStringLiteral("cmdUpdate_Click")), stop};
            outcome_ = FlashSerialUnit(job, load_.serial, log, report);
        },
        [this] { FinishSerialFlash(); });
}

void UpdateCommand::StopFlash() {
    if (flashing_ && stop_)
        stop_->request();
}

void UpdateCommand::FinishSerialFlash() {
    Guard g(load_.log, Place::Form(QStringLiteral("cmdUpdate_Click")));
    WindowPort& w = load_.window;
    bool closeAfterwards = false;
    if (!outcome_.opened) {
        ShowError(load_.prompts, PortUnusableText);
    } else {
        if (outcome_.refused)
            ForgetRefusedPackage(g);
        w.restoreAndRaise();
        const QString question = QStringLiteral("Would you like to flash another unit with v") +
                                 load_.firmware.Header.versionText() + QStringLiteral(" firmware?");
        if (!AskYesNo(load_.prompts, question))
            closeAfterwards = true;
    }
    // The list no longer matches the machine: show what is there now, still on the technician's
    // choice if it is there, else on nothing rather than on some other unit.
    if (outcome_.portGone) {
        g.step([&] { refreshPorts_(); });
        g.step([&] { KeepPortSelection(w, chosenText_, chosenDevice_); });
    }
    flashing_ = false;
    GiveWindowBack();
    if (closeAfterwards)
        w.closeWindow();
}

void UpdateCommand::GiveWindowBack() {
    load_.window.progress().hide();
    load_.window.lock(Lock::None);
}

void UpdateCommand::ForgetRefusedPackage(Guard& g) {
    WindowPort& w = load_.window;
    g.step([&] { w.showMedium(Medium::None); });
    g.step([&] { load_.firmware.releaseImages(); });
    g.step([&] { w.setText(WindowText::Caption, BrowseCaption); });
}

} // namespace quorvex
