#include "net_rig.h"

#include "base/catalogue.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTimer>

namespace quorvex::nettest {

bool WaitUntil(const std::function<bool()>& done, int ms, int pollMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QTimer deadline;
    // Looking every few milliseconds is enough: the code under test reacts to its own events.
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.setSingleShot(true);
    poll.start(pollMs);
    deadline.start(ms);
    loop.exec();
    return done();
}

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

ClientRig::ClientRig(const QByteArray& image, int serverPort, int watchdogMs, UdpSocket* given)
    : socket(given ? *given : qtSocket), client(socket, log, report, serverPort) {
    firmware.Header.setProductCode(QStringLiteral("NYX2"));
    firmware.Header.ChipId = NetworkChipId;
    firmware.ProgramImage = image;
    client.setWatchdogMs(watchdogMs);
    window.address = QStringLiteral("127.0.0.1");
}

bool ClientRig::uploadAndWait(int ms, int pollMs) {
    window.setUpdateVisible(false);
    window.EnableControls(false);
    if (!begin())
        return true;
    return WaitUntil([this] { return !client.inProgress(); }, ms, pollMs);
}

} // namespace quorvex::nettest
