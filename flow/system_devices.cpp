#include "flow/system_devices.h"

#include "net/host_resolver.h"
#include "net/system_udp_socket.h"
#include "serial/qt_serial_port.h"

namespace quorvex {

struct SystemDevices::Held {
    explicit Held(const QString& folder)
        : serial(folder.isEmpty() ? QtSerialPort::DefaultFolder() : folder) {}
    QtSerialPort serial;
    SystemHostResolver resolver;
    SystemUdpSocket socket{resolver};
};

SystemDevices::SystemDevices(const QString& deviceFolder)
    : held_(std::make_unique<Held>(deviceFolder)) {}
SystemDevices::~SystemDevices() = default;

SerialPort& SystemDevices::serial() {
    return held_->serial;
}

UdpSocket& SystemDevices::socket() {
    return held_->socket;
}

} // namespace quorvex
