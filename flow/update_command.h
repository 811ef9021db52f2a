#pragma once
// The main button: with no package loaded it browses for one and loads it; with one loaded it
// flashes a unit, over the chosen serial port or, for a network unit, by TFTP. Either flash runs
// off the window's thread, which only draws and answers meanwhile.
#include "base/stop_request.h"
#include "flow/flash_serial_unit.h"
#include "flow/load_package.h"
#include "flow/window_reports.h"
#include "flow/work_thread.h"

#include <QString>
#include <functional>
#include <memory>

namespace quorvex {

class FileDialogBackend;
class LastFolder;
class TftpClient;

class UpdateCommand {
  public:
    // `lastFolder`, when given, keeps the folder of each package opened for the next run, whose
    // first dialog starts there.
    UpdateCommand(PackageLoad load, FileDialogBackend& dialogs, TftpClient& tftp,
                  std::function<void()> refreshPorts, LastFolder* lastFolder = nullptr);
    ~UpdateCommand();

    // A serial flash runs on a thread of its own: the click returns at once, and the window is
    // given back (or closed) once the technician has answered the question that ends it.
    void LoadOrFlash();
    // Opens the package at `path` as if the technician had browsed for it and chosen it: the
    // same question, checks and texts, without the dialog. Only while the main button offers
    // to browse (no package loaded, no flash under way); otherwise nothing happens.
    void OpenAsIfBrowsed(const QString& path);
    // A unit is being flashed over the serial port, which belongs to the flash meanwhile.
    bool flashing() const { return flashing_; }
    // The window is going while a unit is flashed: the flash stops before its next hello or
    // frame and gives the port back, rather than the unit being cut off mid-frame.
    void StopFlash();

    // Kept from one pick to the next, so the dialog opens in the last package's folder.
    QString packagePath() const { return packagePath_; }

  private:
    void BrowseAndLoad();
    // The load after a pick, with the window locked; gives the window back.
    void LoadChosen(Guard& g, QString path);
    void Flash();
    void StartSerialFlash(Guard& g);
    void FinishSerialFlash();
    void GiveWindowBack();
    // After the unit refused the package: the window is ready for another.
    void ForgetRefusedPackage(Guard& g);
    QString ChoosePackage(Guard& g);

    PackageLoad load_;
    FileDialogBackend& dialogs_;
    TftpClient& tftp_;
    std::function<void()> refreshPorts_;
    QString packagePath_;
    LastFolder* lastFolder_ = nullptr;
    // The run's first dialog starts in the folder kept by an earlier run.
    bool dialogShown_ = false;
    int portNumber_ = 1;

    bool flashing_ = false;
    // The list's entry when the flash began, for the list that a vanished port makes stale.
    QString chosenText_;
    QString chosenDevice_;
    std::unique_ptr<WindowReport> shown_;
    SerialUnitOutcome outcome_;
    // Made new for each flash, since a request, once made, stays made.
    std::unique_ptr<StopRequest> stop_;
    // Last, so that it goes first: a flash under way ends before what it uses goes.
    std::unique_ptr<WorkThread> worker_;
};

} // namespace quorvex
