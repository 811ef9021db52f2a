#pragma once
// The one place where Qt's socket errors become Windows Sockets numbers, the numbering that
// the status line and the error log speak.
#include "base/failure.h"

#include <QAbstractSocket>

namespace quorvex {

// Sending on a socket that is not open.
inline constexpr int WsaNotConnected = 10057;

// A Qt socket error as a numbered failure. Errors without a Windows Sockets counterpart become
// WSABASEERR (10000), which has no text of its own and so reads "Unknown error.".
Failure SocketFailure(QAbstractSocket::SocketError error, const QString& description);
int WinsockNumberOf(QAbstractSocket::SocketError error);
// The status line's text for a numbered socket failure; "Unknown error." for any other number.
QString WinsockErrorText(int number);

} // namespace quorvex
