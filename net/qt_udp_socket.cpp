#include "net/qt_udp_socket.h"

#include "base/failure.h"
#include "net/socket_errors.h"

#include <QNetworkInterface>

namespace quorvex {

QtUdpSocket::QtUdpSocket(HostResolver& resolver) : resolver_(resolver) {}

QtUdpSocket::~QtUdpSocket() = default;

void QtUdpSocket::setRemoteHost(const QString& host) {
    host_ = host;
    resolved_.clear();
    peerAddress_.clear();
    peerPort_ = 0;
}

bool QtUdpSocket::isOpen() const {
    return socket_ && socket_->state() == QAbstractSocket::BoundState;
}

quint16 QtUdpSocket::localPort() const {
    return isOpen() ? socket_->localPort() : 0;
}

void QtUdpSocket::open() {
    close();
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(QHostAddress::AnyIPv4, 0))
        throw FailureError(SocketFailure(socket->error(), socket->errorString()));
    QObject::connect(socket.get(), &QUdpSocket::readyRead, socket.get(), [this] { readPending(); });
    socket_ = std::move(socket);
}

void QtUdpSocket::close() {
    // A new transfer starts at the remote host and port again, not at the last sender.
    peerAddress_.clear();
    peerPort_ = 0;
    if (!socket_)
        return;
    // The socket may be closed from inside its own arrival handler: let Qt delete it once
    // that handler has returned.
    socket_->disconnect();
    socket_->close();
    socket_.release()->deleteLater();
}

bool QtUdpSocket::ReachesManyHosts(const QHostAddress& a) {
    if (a.isBroadcast() || a.isMulticast())
        return true;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry& e : i.addressEntries())
            if (!e.broadcast().isNull() && e.broadcast().isEqual(a))
                return true;
    return false;
}

const QHostAddress& QtUdpSocket::remoteAddress() {
    if (resolved_.isNull()) {
        const QString text = resolver_.resolve(host_);
        QHostAddress address;
        if (!address.setAddress(text))
            Raise(FailureNo::WsaHostNotFound, QStringLiteral("Host not found: %1").arg(host_));
        // The socket is bound to IPv4; refused here, before anything is sent.
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            Raise(FailureNo::WsaAddressFamilyNotSupported,
                  QStringLiteral("IPv4 addresses only: %1").arg(text));
        if (ReachesManyHosts(address))
            Raise(FailureNo::WsaAccess, QStringLiteral("Broadcast address refused: %1").arg(text));
        resolved_ = address;
    }
    return resolved_;
}

void QtUdpSocket::send(const QByteArray& datagram) {
    if (!isOpen())
        Raise(WsaNotConnected, QStringLiteral("Socket is not open"));
    const bool followPeer = !peerAddress_.isNull();
    const QHostAddress to = followPeer ? peerAddress_ : remoteAddress();
    const quint16 port = followPeer ? peerPort_ : quint16(port_);
    if (socket_->writeDatagram(datagram, to, port) != datagram.size())
        throw FailureError(SocketFailure(socket_->error(), socket_->errorString()));
}

void QtUdpSocket::readPending() {
    // Read into one buffer as large as any UDP datagram: asking the size of each datagram
    // first would cost a system call per block of the transfer.
    if (buffer_.size() < MaxDatagram)
        buffer_.resize(MaxDatagram);
    // readyRead means a datagram is waiting. One is read per signal: the socket signals again
    // while more are waiting, and asking first would cost a system call per block. The handler
    // may close the socket; stop reading as soon as it has.
    {
        QHostAddress from;
        quint16 fromPort = 0;
        const qint64 n = socket_->readDatagram(buffer_.data(), MaxDatagram, &from, &fromPort);
        if (n < 0)
            return;
        // Only the unit may steer the transfer: datagrams from any other address are dropped,
        // including all of them before the remote host has been resolved by a send.
        if (resolved_.isNull() || !from.isEqual(resolved_))
            return;
        peerAddress_ = from;
        peerPort_ = fromPort;
        if (handler_)
            handler_(QByteArray(buffer_.constData(), n));
    }
}

} // namespace quorvex
