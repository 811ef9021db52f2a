#include "ui/commands/update_command.h"

#include "base/catalogue.h"
#include "base/conversions.h"
#include "base/last_folder.h"
#include "flow/serial_ports.h"
#include "flow/upload.h"
#include "ui/commands/port_list.h"

#include <QFileInfo>

namespace quorvex {

namespace {

const QString VerifyingCaption = QStringLiteral("Verifying DFF...");

Place ClickPlace() {
    return Place::Form(QStringLiteral("cmdUpdate_Click"));
}

} // namespace

UpdateCommand::UpdateCommand(WindowSide side, UploadLine upload, FileDialogBackend& dialogs,
                             WorkThread& worker, const StopRequest& stop, LastFolder* lastFolder)
    : side_(std::move(side)), upload_(upload), dialogs_(dialogs), worker_(worker), stop_(stop),
      lastFolder_(lastFolder) {}

void UpdateCommand::LoadOrFlash() {
    // The button is hidden or disabled while work runs; a click that still comes does nothing.
    if (worker_.busy())
        return;
    if (!side_.firmware.isLoaded()) {
        BrowseAndLoad();
        return;
    }
    Flash();
}

void UpdateCommand::BrowseAndLoad() {
    Guard g(side_.log, ClickPlace());
    side_.window.lock(Lock::Controls);
    LoadChosen(g, ChoosePackage(g));
}

void UpdateCommand::OpenAsIfBrowsed(const QString& path) {
    if (worker_.busy() || side_.firmware.isLoaded())
        return;
    Guard g(side_.log, ClickPlace());
    side_.window.lock(Lock::Controls);
    LoadChosen(g, path);
}

void UpdateCommand::LoadChosen(Guard& g, QString path) {
    WindowPort& w = side_.window;
    if (!FileExists(path))
        path.clear();
    packagePath_ = path;
    opened_.reset();
    if (path.isEmpty()) {
        FinishLoad();
        return;
    }
    w.setText(WindowText::Caption, VerifyingCaption);

    std::variant<PackageHead, PackageRefusal> head = PackageRefusal{};
    g.step([&] { head = OpenPackageHeader(path, side_.log); });
    if (auto* refusal = std::get_if<PackageRefusal>(&head)) {
        opened_ = std::move(*refusal);
        FinishLoad();
        return;
    }
    const PackageHead found = std::get<PackageHead>(head);
    PrepareWindowFor(side_, found.header);
    w.setText(WindowText::Caption, VerifyingCaption);

    // The question is asked, and the body decoded, on the worker.
    shown_ = std::make_unique<WindowReport>(w, side_.prompts, WindowReport::Bar::HiddenAtEnd);
    worker_.start(
        [this, path, found] {
            ReportRelay report(worker_, *shown_);
            LogRelay log(worker_, side_.log);
            Guard job(log, ClickPlace());
            job.step([&] { opened_ = OpenPackageBody(path, found, report, log); });
        },
        [this] { FinishLoad(); });
}

void UpdateCommand::FinishLoad() {
    WindowPort& w = side_.window;
    // The bar goes before anything is told.
    shown_.reset();
    const bool loaded = opened_ && KeepOpenedPackage(side_, *opened_);
    opened_.reset();
    if (loaded) {
        w.setText(WindowText::Caption, UploadCaption(side_.firmware));
        if (lastFolder_) {
            Guard g(side_.log, ClickPlace());
            g.step([&] { lastFolder_->keep(QFileInfo(packagePath_).absolutePath()); });
        }
    } else {
        w.setText(WindowText::Caption, packagePath_.isEmpty()
                                           ? BrowseCaption
                                           : QStringLiteral("Unable to load. Click to try again."));
        w.showMedium(Medium::None);
        side_.firmware.releaseImages();
    }
    w.lock(Lock::None);
}

QString UpdateCommand::ChoosePackage(Guard& g) {
    FileDialogRequest request;
    request.title = QStringLiteral("Load Tolvane Firmware File");
    request.filters = {{QStringLiteral("Tolvane Firmware Files (*.dff)"), QStringLiteral("*.dff")},
                       AllFilesFilter()};
    request.fileName = packagePath_;
    // The run's first dialog starts where an earlier run's last package was.
    if (!dialogShown_ && packagePath_.isEmpty() && lastFolder_)
        request.folder = lastFolder_->recall();
    dialogShown_ = true;
    std::optional<QString> chosen;
    g.step([&] { chosen = OpenDialog(dialogs_, side_.log, request); });
    return chosen.value_or(QString());
}

void UpdateCommand::Flash() {
    Guard g(side_.log, ClickPlace());
    side_.window.lock(Lock::Working);
    if (IsNetworkUnit(side_.firmware)) {
        StartUpload();
        return;
    }
    StartSerialFlash(g);
}

void UpdateCommand::StartUpload() {
    const QString target = side_.window.targetAddress();
    shown_ = std::make_unique<UploadShown>(side_.window, side_.prompts);
    // A start failure and the outcome are the status line's last texts.
    worker_.start(
        [this, target] {
            ReportRelay report(worker_, *shown_);
            LogRelay log(worker_, side_.log);
            UploadToUnit(side_.firmware, target, upload_.socket, report, log, upload_.serverPort,
                         &stop_);
        },
        [this] {
            shown_.reset();
            side_.window.lock(Lock::None);
        });
}

void UpdateCommand::StartSerialFlash(Guard& g) {
    WindowPort& w = side_.window;
    const std::optional<PortEntry> chosen = ChosenPort(w);
    if (!chosen) {
        ShowInfo(side_.prompts, QStringLiteral("Please select a COM port from the list."));
        g.step([&] { CloseSerialPort(side_.serial); });
        GiveWindowBack();
        return;
    }
    chosen_ = *chosen;
    g.step([&] {
        const auto number = PortNumberOf(chosen_.text);
        if (!number)
            Raise(FailureNo::Overflow);
        portNumber_ = *number;
    });
    // Outside 1..255 the port keeps the number it had.
    const SerialPortPick pick{portNumber_, chosen_.device};

    shown_ = std::make_unique<WindowReport>(w, side_.prompts);
    // From here until FinishSerialFlash the port and the package are the flash's: the window
    // stays locked and only draws what it is told.
    worker_.start(
        [this, pick] {
            ReportRelay report(worker_, *shown_);
            LogRelay log(worker_, side_.log);
            const SerialUnitJob job{side_.firmware, pick, Hello::Attempts, ClickPlace(), &stop_};
            flashed_ = FlashSerialUnit(job, side_.serial, log, report);
        },
        [this] { FinishSerialFlash(); });
}

void UpdateCommand::FinishSerialFlash() {
    Guard g(side_.log, ClickPlace());
    WindowPort& w = side_.window;
    shown_.reset();
    bool closeAfterwards = false;
    if (!flashed_.opened()) {
        ShowError(side_.prompts, PortUnusableText);
    } else {
        if (flashed_.end == SerialUnitEnd::Refused)
            ForgetRefusedPackage(g);
        w.restoreAndRaise();
        const QString question = QStringLiteral("Would you like to flash another unit with v") +
                                 side_.firmware.Header.versionText() + QStringLiteral(" firmware?");
        if (!AskYesNo(side_.prompts, question))
            closeAfterwards = true;
    }
    // The list no longer matches the machine: show what is there now, still on the technician's
    // choice if it is there, else on nothing rather than on some other unit.
    if (flashed_.end == SerialUnitEnd::PortGone || flashed_.end == SerialUnitEnd::Unplugged) {
        g.step([&] { ScanPortsIntoList(w, side_.serial); });
        g.step([&] { KeepPortSelection(w, chosen_.text, chosen_.device); });
        w.setText(WindowText::Caption,
                  side_.firmware.isLoaded() ? UploadCaption(side_.firmware) : BrowseCaption);
    }
    GiveWindowBack();
    if (closeAfterwards)
        w.closeWindow();
}

void UpdateCommand::GiveWindowBack() {
    side_.window.progress().hide();
    side_.window.lock(Lock::None);
}

void UpdateCommand::ForgetRefusedPackage(Guard& g) {
    WindowPort& w = side_.window;
    g.step([&] { w.showMedium(Medium::None); });
    g.step([&] { side_.firmware.releaseImages(); });
    g.step([&] { w.setText(WindowText::Caption, BrowseCaption); });
}

} // namespace quorvex
