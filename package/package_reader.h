#pragma once
// Loads a package file into the shared LoadedFirmware: reads the header, prepares the window
// for a serial or a network unit, asks the technician to confirm product and version, decodes
// the body into a temporary file and reads it into the images.
#include "app/session.h"

#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>

namespace quorvex {

// Where a load decodes its body: "FWValidate" in the program's folder or, when that folder
// cannot be written, in a private folder made for this load inside the system's temporary
// folder (a fixed name there could be planted by another user, or shared by two copies of
// the program). The private folder goes when this does.
class TemporaryBody {
  public:
    explicit TemporaryBody(const QString& programFolder);
    ~TemporaryBody();
    QString path() const { return path_; }

  private:
    std::unique_ptr<QTemporaryDir> privateFolder_;
    QString path_;
};

// True when the package was decoded and read completely into s.firmware. Shows its own
// messages. `refreshPorts` lists the serial ports again (the window's Refresh).
bool LoadDFFFile(Session& s, const QString& path, const std::function<void()>& refreshPorts);

} // namespace quorvex
