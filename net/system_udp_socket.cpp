#include "net/system_udp_socket.h"

#include "base/failure.h"
#include "net/socket_errors.h"

#include <QDeadlineTimer>
#include <QNetworkInterface>

namespace quorvex {

SystemUdpSocket::SystemUdpSocket(HostResolver& resolver) : resolver_(resolver) {}

SystemUdpSocket::~SystemUdpSocket() = default;

void SystemUdpSocket::setRemoteHost(const QString& host) {
    host_ = host;
    resolved_.reset();
    peer_.reset();
}

void SystemUdpSocket::open() {
    close();
    socket_.open();
}

void SystemUdpSocket::close() {
    // A new transfer starts at the remote host and port again, not at the last sender.
    peer_.reset();
    socket_.close();
}

bool SystemUdpSocket::ReachesManyHosts(const QHostAddress& a) {
    if (a.isBroadcast() || a.isMulticast())
        return true;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry& e : i.addressEntries())
            if (!e.broadcast().isNull() && e.broadcast().isEqual(a))
                return true;
    return false;
}

DatagramSocket::Peer SystemUdpSocket::remotePeer() {
    if (!resolved_) {
        const QString text = resolver_.resolve(host_);
        QHostAddress address;
        if (!address.setAddress(text))
            Raise(FailureNo::WsaHostNotFound, QStringLiteral("Host not found: %1").arg(host_));
        // The socket is IPv4 only; refused here, before anything is sent.
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            Raise(FailureNo::WsaAddressFamilyNotSupported,
                  QStringLiteral("IPv4 addresses only: %1").arg(text));
        if (ReachesManyHosts(address))
            Raise(FailureNo::WsaAccess, QStringLiteral("Broadcast address refused: %1").arg(text));
        resolved_ = address.toIPv4Address();
    }
    return {*resolved_, quint16(port_)};
}

void SystemUdpSocket::send(const QByteArray& datagram) {
    if (!isOpen())
        Raise(WsaNotConnected, QStringLiteral("Socket is not open"));
    const DatagramSocket::Peer to = peer_ ? *peer_ : remotePeer();
    socket_.sendTo(to, datagram.constData(), datagram.size());
}

std::optional<QByteArray> SystemUdpSocket::receive(int waitMs) {
    if (!isOpen())
        return std::nullopt;
    // One buffer as large as any UDP datagram: asking each datagram's size first would cost a
    // system call per block of the transfer.
    if (buffer_.size() < MaxDatagram)
        buffer_.resize(MaxDatagram);
    const QDeadlineTimer deadline(waitMs);
    int wait = waitMs;
    for (;;) {
        DatagramSocket::Peer from;
        const auto n = socket_.receiveFrom(buffer_.data(), MaxDatagram, wait, from);
        if (!n)
            return std::nullopt;
        // Only the unit may steer the transfer: datagrams from any other address are dropped,
        // including all of them before the remote host has been resolved by a send.
        if (resolved_ && from.address == *resolved_) {
            peer_ = from;
            return QByteArray(buffer_.constData(), *n);
        }
        // A stranger's datagram does not lengthen the wait.
        wait = int(deadline.remainingTime());
        if (wait <= 0)
            return std::nullopt;
    }
}

} // namespace quorvex
