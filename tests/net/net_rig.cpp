#include "net_rig.h"

#include "package/catalogue.h"

#include <QHostAddress>

namespace quorvex::nettest {

QString TableResolver::resolve(const QString& host) {
    ++lookups;
    QHostAddress literal;
    if (literal.setAddress(host) && literal.protocol() == QAbstractSocket::IPv4Protocol)
        return literal.toString();
    const auto it = names.constFind(host);
    if (it == names.constEnd())
        Raise(FailureNo::WsaHostNotFound, QStringLiteral("Host not found"));
    return it.value();
}

ClientRig::ClientRig(const QByteArray& image, int serverPort, int watchdogMs, UdpSocket* socket)
    : session{firmware,    log,      prompts, window, serial, socket ? *socket : qtSocket,
              tmrResponse, QString()},
      client(session, serverPort) {
    firmware.Header.setProductCode(QStringLiteral("NYX2"));
    firmware.Header.ChipId = NetworkChipId;
    firmware.ProgramImage = image;
    tmrResponse.setSingleShot(true);
    tmrResponse.setInterval(watchdogMs);
    window.address = QStringLiteral("127.0.0.1");
}

bool ClientRig::uploadAndWait(int ms) {
    window.setUpdateVisible(false);
    window.EnableControls(false);
    if (!client.BeginUpload())
        return true;
    return WaitUntil([this] { return !client.inProgress(); }, ms);
}

} // namespace quorvex::nettest
