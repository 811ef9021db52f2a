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

QString WinsockErrorText(int number) {
    switch (number) {
    case 10004:
        return QStringLiteral("Interrupted function call.");
    case 10013:
        return QStringLiteral("Permission denied.");
    case 10014:
        return QStringLiteral("Bad address.");
    case 10047:
        return QStringLiteral("IPv4 addresses only.");
    case 10050:
        return QStringLiteral("The network subsystem has failed.");
    case 11001:
        return QStringLiteral("Authoritative answer host not found.");
    case 11002:
        return QStringLiteral("Nonauthoritative host not found, or server failure.");
    case 11003:
        return QStringLiteral("A nonrecoverable error occurred.");
    default:
        return QStringLiteral("Unknown error.");
    }
}

} // namespace quorvex
