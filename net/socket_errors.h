#pragma once
// The texts of Windows Sockets numbers, the numbering that the status line and the error log
// speak.
#include "base/failure.h"

#include <QString>

namespace quorvex {

// Sending on a socket that is not open.
inline constexpr int WsaNotConnected = 10057;

// The status line's text for a numbered socket failure; "Unknown error." for any other number.
QString WinsockErrorText(int number);

} // namespace quorvex
