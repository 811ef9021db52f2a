#include "net/socket_errors.h"

namespace quorvex {

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
