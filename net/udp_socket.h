#pragma once
// The UDP socket as the TFTP client uses it. Sends go to the remote host and port until a
// datagram arrives; later sends go to the port that datagram came from. Only datagrams from
// the remote host's address are received, from whatever port.
//
// One thread uses the socket at a time: the client starts a transfer on its caller's thread,
// then hands the socket to the transfer's own thread until the transfer ends.
#include <QByteArray>
#include <QString>
#include <optional>

namespace quorvex {

class UdpSocket {
  public:
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
    // Waits at most `waitMs` for the next datagram from the remote host's address and returns
    // it whole; nothing when none came in time or the socket is closed. The thread sleeps
    // while it waits. Failures of the platform's socket are numbered.
    virtual std::optional<QByteArray> receive(int waitMs) = 0;
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
