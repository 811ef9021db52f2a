#pragma once
// The machine's own serial port and UDP socket, made for a front end that is handed them (the
// window); tests hand it fakes instead.
#include <QString>
#include <memory>

namespace quorvex {

class SerialPort;
class UdpSocket;

class SystemDevices {
  public:
    // `deviceFolder`: where serial devices are numbered from; empty for the system's own.
    explicit SystemDevices(const QString& deviceFolder = {});
    ~SystemDevices();
    SystemDevices(const SystemDevices&) = delete;
    SystemDevices& operator=(const SystemDevices&) = delete;

    SerialPort& serial();
    UdpSocket& socket();

  private:
    struct Held;
    std::unique_ptr<Held> held_;
};

} // namespace quorvex
