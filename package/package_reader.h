#pragma once
// Loads a package file into the shared LoadedFirmware: reads the header, prepares the window
// for a serial or a network unit, asks the technician to confirm product and version, decodes
// the body into a temporary file and reads it into the images.
#include "app/session.h"

#include <QString>
#include <functional>

namespace quorvex {

// "FWValidate" in the program's folder, or in the system's temporary folder when the
// program's folder cannot be written.
QString TemporaryBodyPath(const QString& programFolder);

// True when the package was decoded and read completely into s.firmware. Shows its own
// messages. `refreshPorts` lists the serial ports again (the window's Refresh).
bool LoadDFFFile(Session& s, const QString& path, const std::function<void()>& refreshPorts);

} // namespace quorvex
