#pragma once
// The UDP socket as the TFTP client uses it. Sends go to the remote host and port until a
// datagram arrives; later sends go to the port that datagram came from. Only datagrams from
// the remote host's address are delivered, from whatever port.
#include <QByteArray>
#include <QString>
#include <functional>

namespace quorvex {

class UdpSocket {
  public:
    using ArrivalHandler = std::function<void(const QByteArray& datagram)>;
    virtual ~UdpSocket() = default;

    virtual void setRemoteHost(const QString& host) = 0;
    virtual QString remoteHost() const = 0;
    virtual void setRemotePort(int port) = 0;
    // Binds any free local port. Failures are numbered (Windows Sockets numbers).
    virtual void open() = 0;
    // Safe when closed; datagrams that arrive later are lost.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Sends one datagram; the host is resolved here, an unresolvable one fails with 11001.
    virtual void send(const QByteArray& datagram) = 0;
    // Called once per datagram on the window's thread, with the whole datagram.
    virtual void setArrivalHandler(ArrivalHandler handler) = 0;
};

// Turns a host text into an address. The program asks the system; tests replace it so that
// no test asks a name server.
class HostResolver {
  public:
    virtual ~HostResolver() = default;
    // Returns the address text ("127.0.0.1"); throws FailureError (11001, ...) when it cannot.
    virtual QString resolve(const QString& host) = 0;
};

} // namespace quorvex
