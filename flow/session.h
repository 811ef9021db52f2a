#pragma once
// The program's shared state and devices, handed by reference to every part that needs them.
// Whoever builds the program (main, or a test) owns each piece; this only points at them.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "base/prompts.h"
#include "flow/window_port.h"
#include "net/udp_socket.h"
#include "serial/serial_port.h"

#include <QString>
#include <QTimer>

namespace quorvex {

class LinkClock;

struct Session {
    LoadedFirmware& firmware;
    ErrorSink& log;
    Prompts& prompts;
    WindowPort& window;
    SerialPort& serComm;
    UdpSocket& tftp;
    // Shared response timer: the serial read window and the TFTP watchdog. Its expiry runs the
    // TFTP client's handler, which always stops it.
    QTimer& tmrResponse;
    // The program's folder, without a trailing separator: the log and the temporary file.
    QString programFolder;
    // Times the serial link's responses; none means the steady clock.
    const LinkClock* linkClock = nullptr;
};

} // namespace quorvex
