#pragma once
// The main button: with no package loaded it browses for one and loads it; with one loaded it
// flashes a unit, over the chosen serial port or, for a network unit, by TFTP. The decode and
// either flash run on the worker; the window's thread only draws and answers meanwhile, and the
// window is locked once at the click and given back once the work is over.
#include "base/file_dialogs.h"
#include "base/stop_request.h"
#include "flow/flash_serial_unit.h"
#include "flow/open_package.h"
#include "ui/commands/load_package.h"
#include "ui/commands/window_reports.h"
#include "ui/commands/work_thread.h"

#include <QString>
#include <memory>
#include <optional>

namespace quorvex {

class LastFolder;
class UdpSocket;

// Where the window's uploads go: through its socket to the units' TFTP port.
struct UploadLine {
    UdpSocket& socket;
    int serverPort;
};

class UpdateCommand {
  public:
    // `stop`, once requested, ends an upload under way at its next datagram and a serial flash
    // at its next hello or frame. `lastFolder`, when given, keeps the folder of each package
    // opened for the next run, whose first dialog starts there.
    UpdateCommand(WindowSide side, UploadLine upload, FileDialogBackend& dialogs,
                  WorkThread& worker, const StopRequest& stop, LastFolder* lastFolder = nullptr);

    // The click. Returns once the work is under way; the worker's end gives the window back
    // (or closes it).
    void LoadOrFlash();
    // Opens the package at `path` as if the technician had browsed for it and chosen it: the
    // same question, checks and texts, without the dialog. Only while the main button offers
    // to browse (no package loaded, no work under way); otherwise nothing happens.
    void OpenAsIfBrowsed(const QString& path);

    // Kept from one pick to the next, so the dialog opens in the last package's folder.
    QString packagePath() const { return packagePath_; }

  private:
    void BrowseAndLoad();
    // The load after a pick, with the window locked; the worker's end gives the window back.
    void LoadChosen(Guard& g, QString path);
    void FinishLoad();
    void Flash();
    void StartUpload();
    void StartSerialFlash(Guard& g);
    void FinishSerialFlash();
    void GiveWindowBack();
    // After the unit refused the package: the window is ready for another.
    void ForgetRefusedPackage(Guard& g);
    QString ChoosePackage(Guard& g);

    WindowSide side_;
    UploadLine upload_;
    FileDialogBackend& dialogs_;
    WorkThread& worker_;
    const StopRequest& stop_;
    QString packagePath_;
    LastFolder* lastFolder_ = nullptr;
    // The run's first dialog starts in the folder kept by an earlier run.
    bool dialogShown_ = false;
    int portNumber_ = 1;

    // The work under way, shared with the worker until its end has been taken at home.
    std::unique_ptr<Report> shown_;
    std::optional<OpenOutcome> opened_;
    PortEntry chosen_;
    SerialUnitOutcome flashed_;
};

} // namespace quorvex
