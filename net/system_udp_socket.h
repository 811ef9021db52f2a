#pragma once
// The UDP socket over the platform's own socket. The remote host is resolved at the first send
// after it is set; from then on only datagrams from that address are received, and each one
// makes later sends go to the address and port it came from.
#include "net/datagram_socket.h"
#include "net/udp_socket.h"

#include <QHostAddress>

namespace quorvex {

class SystemUdpSocket : public UdpSocket {
  public:
    explicit SystemUdpSocket(HostResolver& resolver);
    ~SystemUdpSocket() override;

    void setRemoteHost(const QString& host) override;
    QString remoteHost() const override { return host_; }
    void setRemotePort(int port) override { port_ = port; }
    void open() override;
    void close() override;
    bool isOpen() const override { return socket_.isOpen(); }
    void send(const QByteArray& datagram) override;
    std::optional<QByteArray> receive(int waitMs) override;

    // The address the remote host resolved to ("127.0.0.1"); empty until it has.
    QString resolvedAddress() const {
        return resolved_ ? QHostAddress(*resolved_).toString() : QString();
    }

    // The local port while open (0 when closed).
    quint16 localPort() const { return socket_.localPort(); }

    // Broadcast and multicast addresses, which a send refuses with 10013: a firmware upload
    // goes to one unit, never to a whole network.
    static bool ReachesManyHosts(const QHostAddress& address);

  private:
    static constexpr int MaxDatagram = 65536;
    DatagramSocket::Peer remotePeer();

    HostResolver& resolver_;
    DatagramSocket socket_;
    QString host_;
    int port_ = 0;
    std::optional<quint32> resolved_;          // nothing until the host text is resolved
    std::optional<DatagramSocket::Peer> peer_; // the sender of the last datagram received
    QByteArray buffer_;
};

} // namespace quorvex
