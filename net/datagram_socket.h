#pragma once
// The platform's own IPv4 UDP socket, in blocking mode, and the one place that knows the
// platform's socket calls. A transfer's thread sleeps in the receive itself until a datagram
// arrives: waking an event loop first and then reading would cost a system call and a
// scheduling round per block. Failures are numbered as Windows Sockets numbers, the numbering
// that the status line and the error log speak.
#include <QtGlobal>
#include <cstdint>
#include <optional>

namespace quorvex {

class DatagramSocket {
  public:
    struct Peer {
        quint32 address = 0; // IPv4, host byte order
        quint16 port = 0;
    };

    DatagramSocket() = default;
    ~DatagramSocket();
    DatagramSocket(const DatagramSocket&) = delete;
    DatagramSocket& operator=(const DatagramSocket&) = delete;

    // Binds any free local port on every IPv4 interface. Throws FailureError.
    void open();
    // Safe when closed.
    void close();
    bool isOpen() const { return handle_ != Closed; }
    quint16 localPort() const;

    // Sends one datagram. Throws FailureError.
    void sendTo(const Peer& to, const char* data, qsizetype size);
    // Waits at most `waitMs` for one datagram and copies it into `buffer`, cut to `capacity`.
    // Returns its length, or nothing when none came in time. A peer's port that refused an
    // earlier datagram is reported by some platforms on the next receive; that counts as
    // nothing received. Other failures throw FailureError.
    std::optional<qsizetype> receiveFrom(char* buffer, qsizetype capacity, int waitMs, Peer& from);

    // The Windows Sockets number for the platform's error code (errno, or WSAGetLastError()).
    static int WinsockNumberOf(int platformError);

  private:
    static constexpr std::intptr_t Closed = -1;
    void setReceiveWait(int waitMs);

    std::intptr_t handle_ = Closed;
    int receiveWaitMs_ = -1; // what the socket is set to wait; -1 until set
};

} // namespace quorvex
