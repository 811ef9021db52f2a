#pragma once
// A workbench of recording fakes: the firmware record, the log, the person at the bench, the
// window and the devices, none of which touches the machine's devices, the network or a real
// window. Each routine under test is handed just the pieces it takes.
#include "serial/packet_exchange.h"
#include "support/fake_devices.h"
#include "support/fakes.h"
#include "ui/commands/load_package.h"

namespace quorvex::fakes {

struct FakeBench {
    FakeBench() = default;
    FakeBench(const FakeBench&) = delete;
    FakeBench& operator=(const FakeBench&) = delete;

    WindowSide side() { return {fw, log, prompts, window, port}; }
    SerialLink link() { return {port, log}; }

    LoadedFirmware fw;
    RecordingLog log;
    ScriptedPrompts prompts;
    FakeWindow window;
    FakeSerialPort port;
    FakeUdpSocket socket;
};

} // namespace quorvex::fakes
