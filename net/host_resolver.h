#pragma once
// The system's resolver: literal addresses stand for themselves, names go to the platform.
#include "net/udp_socket.h"

namespace quorvex {

class SystemHostResolver : public HostResolver {
  public:
    // An IPv4 address is preferred, since units speak IPv4 only. Nothing found is 11001.
    QString resolve(const QString& host) override;
};

} // namespace quorvex
