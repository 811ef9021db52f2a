#include "net_rig.h"

#include "base/catalogue.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTimer>

namespace quorvex::testing {

ClientRig::ClientRig(const QByteArray& image, int serverPort, int watchdogMs, UdpSocket* given)
    : socket(given ? *given : systemSocket), client(socket, log, report, serverPort) {
    firmware.Header.setProductCode(QStringLiteral("NYX2"));
    firmware.Header.ChipId = NetworkChipId;
    firmware.ProgramImage = image;
    client.setWatchdogMs(watchdogMs);
}

bool ClientRig::uploadAndWait(int ms, int pollMs) {
    if (!begin())
        return true;
    return WaitUntil([this] { return !client.inProgress(); }, ms, pollMs);
}

} // namespace quorvex::testing
