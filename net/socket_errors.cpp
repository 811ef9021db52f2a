#include "net/socket_errors.h"

namespace quorvex {

namespace {
// Windows Sockets numbers that only this mapping uses; the shared ones live in FailureNo.
constexpr int WsaBaseErr = 10000;
constexpr int WsaInvalidArgument = 10022;
constexpr int WsaMessageSize = 10040;
constexpr int WsaAddressInUse = 10048;
constexpr int WsaNoBuffers = 10055;
constexpr int WsaTimedOut = 10060;
} // namespace

int WinsockNumberOf(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::SocketAccessError:
        return FailureNo::WsaAccess;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return FailureNo::WsaAddrNotAvail;
    case QAbstractSocket::AddressInUseError:
        return WsaAddressInUse;
    case QAbstractSocket::ConnectionRefusedError:
        return FailureNo::WsaConnRefused;
    case QAbstractSocket::HostNotFoundError:
        return FailureNo::WsaHostNotFound;
    case QAbstractSocket::DatagramTooLargeError:
        return WsaMessageSize;
    case QAbstractSocket::SocketResourceError:
        return WsaNoBuffers;
    case QAbstractSocket::SocketTimeoutError:
        return WsaTimedOut;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return FailureNo::WsaAddressFamilyNotSupported;
    case QAbstractSocket::OperationError:
        return WsaInvalidArgument;
    // NetworkError among them: Qt reports many unrelated failures of the platform's socket as
    // a general network error, and calling each a failed network subsystem would mislead.
    default:
        return WsaBaseErr;
    }
}

Failure SocketFailure(QAbstractSocket::SocketError error, const QString& description) {
    return Failure{WinsockNumberOf(error), description};
}

} // namespace quorvex
