#pragma once
// A session over the recording fakes: the shared state and devices a core procedure is handed,
// none of which touches the machine's devices, the network or a real window.
#include "flow/session.h"
#include "support/fake_devices.h"
#include "support/fakes.h"

#include <QTimer>

namespace quorvex::fakes {

struct FakeSession {
    explicit FakeSession(QString programFolder = {})
        : session{fw, log, prompts, window, port, socket, timer, std::move(programFolder)} {
        // As the window's response timer: its expiry leaves it stopped.
        timer.setSingleShot(true);
    }
    FakeSession(const FakeSession&) = delete;
    FakeSession& operator=(const FakeSession&) = delete;

    LoadedFirmware fw;
    RecordingLog log;
    ScriptedPrompts prompts;
    FakeWindow window;
    FakeSerialPort port;
    FakeUdpSocket socket;
    QTimer timer;
    Session session;
};

} // namespace quorvex::fakes
