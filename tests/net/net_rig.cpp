#include "net_rig.h"

#include "base/catalogue.h"

namespace quorvex::testing {

ClientRig::ClientRig(const QByteArray& image, int serverPort, int watchdogMs, UdpSocket* given)
    : socket(given ? *given : systemSocket), client(socket, log, report, serverPort) {
    firmware.Header.setProductCode(QStringLiteral("NYX2"));
    firmware.Header.ChipId = NetworkChipId;
    firmware.ProgramImage = image;
    client.setWatchdogMs(watchdogMs);
}

ClientRig::~ClientRig() {
    stop.request();
    if (upload_.joinable())
        upload_.join();
}

void ClientRig::begin() {
    ended = false;
    upload_ = std::thread([this] {
        outcome =
            client.Upload(firmware.ProgramImage, firmware.Header.trimmedCode(), target, &stop);
        ended = true;
    });
}

bool ClientRig::wait(int ms, int pollMs) {
    const bool done = WaitUntil([this] { return ended.load(); }, ms, pollMs);
    if (done)
        upload_.join();
    return done;
}

} // namespace quorvex::testing
