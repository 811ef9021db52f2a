#pragma once
// The load as the window runs it: the package's header, the panel and line settings of its
// kind of unit, the technician's confirmation, then the body into the one LoadedFirmware.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "base/prompts.h"
#include "flow/window_port.h"
#include "serial/serial_port.h"

#include <QString>
#include <functional>

namespace quorvex {

struct PackageLoad {
    LoadedFirmware& firmware;
    ErrorSink& log;
    Prompts& prompts;
    WindowPort& window;
    // Takes the line settings of a serial product.
    SerialPort& serial;
};

// True when the package was decoded and read completely into the firmware record. Shows its
// own messages. `refreshPorts` lists the serial ports again (the window's Refresh).
bool LoadDFFFile(const PackageLoad& load, const QString& path,
                 const std::function<void()>& refreshPorts);

} // namespace quorvex
