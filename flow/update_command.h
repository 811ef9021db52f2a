#pragma once
// The main button: with no package loaded it browses for one and loads it; with one loaded it
// flashes a unit, over the chosen serial port or, for a network unit, by TFTP.
#include "flow/load_package.h"

#include <QString>
#include <functional>

namespace quorvex {

class FileDialogBackend;
class TftpClient;

class UpdateCommand {
  public:
    UpdateCommand(PackageLoad load, FileDialogBackend& dialogs, TftpClient& tftp,
                  std::function<void()> refreshPorts);

    void cmdUpdate_Click();

    // Kept from one pick to the next, so the dialog opens in the last package's folder.
    QString packagePath() const { return packagePath_; }

  private:
    void BrowseAndLoad();
    // True when the program is to close afterwards (the technician has no further unit).
    bool Flash();
    bool FlashSerial(Guard& g);
    // After the unit refused the package: the window is ready for another.
    void ForgetRefusedPackage(Guard& g);
    QString ChoosePackage(Guard& g);

    PackageLoad load_;
    FileDialogBackend& dialogs_;
    TftpClient& tftp_;
    std::function<void()> refreshPorts_;
    QString packagePath_;
    int portNumber_ = 1;
};

} // namespace quorvex
