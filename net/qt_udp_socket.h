#pragma once
// The UDP socket over QUdpSocket. The remote host is resolved at the first send after it is
// set; from then on only datagrams from that address are delivered, and each one makes later
// sends go to the address and port it came from.
#include "net/udp_socket.h"

#include <QHostAddress>
#include <QUdpSocket>
#include <memory>

namespace quorvex {

class QtUdpSocket : public UdpSocket {
  public:
    explicit QtUdpSocket(HostResolver& resolver);
    ~QtUdpSocket() override;

    void setRemoteHost(const QString& host) override;
    QString remoteHost() const override { return host_; }
    void setRemotePort(int port) override { port_ = port; }
    void open() override;
    void close() override;
    bool isOpen() const override;
    void send(const QByteArray& datagram) override;
    void setArrivalHandler(ArrivalHandler handler) override { handler_ = std::move(handler); }

    // The local port while open (0 when closed).
    quint16 localPort() const;

    // Broadcast and multicast addresses, which a send refuses with 10013: Qt allows broadcasts
    // on every UDP socket, the platform's own socket does not unless asked, and a firmware
    // upload goes to one unit, never to a whole network.
    static bool ReachesManyHosts(const QHostAddress& address);

  private:
    static constexpr int MaxDatagram = 65536;
    void readPending();
    const QHostAddress& remoteAddress();

    HostResolver& resolver_;
    std::unique_ptr<QUdpSocket> socket_;
    ArrivalHandler handler_;
    QString host_;
    int port_ = 0;
    QHostAddress resolved_; // null until the host text is resolved
    QByteArray buffer_;
    QHostAddress peerAddress_; // the sender of the last accepted datagram, null before one
    quint16 peerPort_ = 0;
};

} // namespace quorvex
