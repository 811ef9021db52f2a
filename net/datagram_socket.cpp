#include "net/datagram_socket.h"

#include "base/failure.h"

#ifdef Q_OS_WIN
// winsock2.h first: the others build on its types.
#include <winsock2.h>

#include <mstcpip.h>
// SIO_UDP_CONNRESET: the Windows SDK has it in mstcpip.h, MinGW-w64 in mswsock.h.
#include <mswsock.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace quorvex {

namespace {

constexpr int WsaBaseErr = 10000;
constexpr int WsaTimedOut = 10060;

#ifdef Q_OS_WIN

using Native = SOCKET;
using AddressLength = int;

int LastError() {
    return WSAGetLastError();
}

Native AsNative(std::intptr_t h) {
    return Native(h);
}

// Sockets need the library started once per process; it stays up until the process ends.
void StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started)
        Raise(FailureNo::WsaNetDown, QStringLiteral("Windows Sockets did not start"));
}

bool NothingArrived(int error) {
    // A port that refused an earlier datagram shows up as a reset on the next receive.
    return error == WSAETIMEDOUT || error == WSAEWOULDBLOCK || error == WSAECONNRESET ||
           error == WSAEINTR;
}

void CloseNative(Native s) {
    closesocket(s);
}

#else

using Native = int;
using AddressLength = socklen_t;

int LastError() {
    return errno;
}

Native AsNative(std::intptr_t h) {
    return Native(h);
}

void StartSockets() {}

bool NothingArrived(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR || error == ECONNREFUSED;
}

void CloseNative(Native s) {
    ::close(s);
}

#endif

[[noreturn]] void RaisePlatform(const char* call) {
    const int error = LastError();
    Raise(DatagramSocket::WinsockNumberOf(error),
          QStringLiteral("%1 failed (system error %2)").arg(QLatin1String(call)).arg(error));
}

sockaddr_in AddressOf(const DatagramSocket::Peer& peer) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(peer.address);
    a.sin_port = htons(peer.port);
    return a;
}

} // namespace

int DatagramSocket::WinsockNumberOf(int platformError) {
#ifdef Q_OS_WIN
    // The platform's numbers are already the ones the program speaks.
    return platformError > WsaBaseErr ? platformError : WsaBaseErr;
#else
    switch (platformError) {
    case EINTR:
        return FailureNo::WsaInterrupted;
    case EACCES:
    case EPERM:
        return FailureNo::WsaAccess;
    case EFAULT:
        return FailureNo::WsaFault;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EAGAIN:
        return WsaTimedOut;
    case EMSGSIZE:
        return 10040;
    case EAFNOSUPPORT:
        return FailureNo::WsaAddressFamilyNotSupported;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return FailureNo::WsaAddrNotAvail;
    case ENETDOWN:
        return FailureNo::WsaNetDown;
    case ENETUNREACH:
        return 10051;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case ECONNREFUSED:
        return FailureNo::WsaConnRefused;
    case EHOSTUNREACH:
        return 10065;
    default:
        return WsaBaseErr;
    }
#endif
}

DatagramSocket::~DatagramSocket() {
    close();
}

void DatagramSocket::open() {
    close();
    StartSockets();
    const Native s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
#ifdef Q_OS_WIN
    if (s == INVALID_SOCKET)
        RaisePlatform("socket");
    // Without this, a port unreachable message for one datagram fails the next receive.
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
#else
    if (s < 0)
        RaisePlatform("socket");
#endif
    handle_ = std::intptr_t(s);
    receiveWaitMs_ = -1;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = 0;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        const int error = LastError();
        close();
        Raise(WinsockNumberOf(error), QStringLiteral("bind failed (system error %1)").arg(error));
    }
}

void DatagramSocket::close() {
    if (handle_ == Closed)
        return;
    CloseNative(AsNative(handle_));
    handle_ = Closed;
}

quint16 DatagramSocket::localPort() const {
    if (handle_ == Closed)
        return 0;
    sockaddr_in a{};
    AddressLength length = sizeof a;
    if (::getsockname(AsNative(handle_), reinterpret_cast<sockaddr*>(&a), &length) != 0)
        return 0;
    return ntohs(a.sin_port);
}

void DatagramSocket::sendTo(const Peer& to, const char* data, qsizetype size) {
    const sockaddr_in a = AddressOf(to);
#ifdef Q_OS_WIN
    const int sent = ::sendto(AsNative(handle_), data, int(size), 0,
                              reinterpret_cast<const sockaddr*>(&a), sizeof a);
#else
    const ssize_t sent = ::sendto(AsNative(handle_), data, std::size_t(size), 0,
                                  reinterpret_cast<const sockaddr*>(&a), sizeof a);
#endif
    if (sent != size)
        RaisePlatform("sendto");
}

void DatagramSocket::setReceiveWait(int waitMs) {
    // Set only when it changes: a transfer asks with the same wait each time, and one system
    // call per block is what this class is for.
    if (waitMs == receiveWaitMs_)
        return;
#ifdef Q_OS_WIN
    const DWORD wait = DWORD(waitMs);
    const int set = ::setsockopt(AsNative(handle_), SOL_SOCKET, SO_RCVTIMEO,
                                 reinterpret_cast<const char*>(&wait), sizeof wait);
#else
    timeval wait{};
    wait.tv_sec = waitMs / 1000;
    wait.tv_usec = (waitMs % 1000) * 1000;
    const int set = ::setsockopt(AsNative(handle_), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
#endif
    if (set != 0)
        RaisePlatform("setsockopt");
    receiveWaitMs_ = waitMs;
}

std::optional<qsizetype> DatagramSocket::receiveFrom(char* buffer, qsizetype capacity, int waitMs,
                                                     Peer& from) {
    // A wait of 0 would mean "for ever" to the platform.
    setReceiveWait(qMax(waitMs, 1));
    sockaddr_in a{};
    AddressLength length = sizeof a;
#ifdef Q_OS_WIN
    const int n = ::recvfrom(AsNative(handle_), buffer, int(capacity), 0,
                             reinterpret_cast<sockaddr*>(&a), &length);
    // A datagram larger than the buffer arrives cut, and says so.
    if (n < 0 && LastError() == WSAEMSGSIZE) {
        from = {ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
        return capacity;
    }
#else
    const ssize_t n = ::recvfrom(AsNative(handle_), buffer, std::size_t(capacity), 0,
                                 reinterpret_cast<sockaddr*>(&a), &length);
#endif
    if (n < 0) {
        if (NothingArrived(LastError()))
            return std::nullopt;
        RaisePlatform("recvfrom");
    }
    if (a.sin_family != AF_INET)
        return std::nullopt;
    from = {ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
    return qsizetype(n);
}

} // namespace quorvex
