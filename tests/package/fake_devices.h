#pragma once
// Minimal stand-ins for the serial port and the UDP socket: the package reader only sets the
// port's settings and closes the socket, so these record that and nothing more.
#include "app/failure.h"
#include "net/udp_socket.h"
#include "serial/serial_port.h"

namespace quorvex::testing {

class FakeSerialPort : public SerialPort {
  public:
    void setCommPort(int number) override { port = number; }
    int commPort() const override { return port; }
    void setSettings(const QString& s) override {
        if (rejectSettings)
            Raise(FailureNo::CannotSetPortSettings);
        text = s;
    }
    QString settings() const override { return text; }
    void open() override { opened = true; }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    void output(const QByteArray&) override {}
    QByteArray input() override { return {}; }
    int inBufferCount() override { return 0; }
    QString deviceName(int) const override { return {}; }

    int port = 1;
    QString text = QStringLiteral("1200,n,8,1");
    bool opened = false;
    bool rejectSettings = false;
};

class FakeUdpSocket : public UdpSocket {
  public:
    void setRemoteHost(const QString& h) override { host = h; }
    QString remoteHost() const override { return host; }
    void setRemotePort(int) override {}
    void open() override { opened = true; }
    void close() override {
        opened = false;
        ++closes;
    }
    bool isOpen() const override { return opened; }
    void send(const QByteArray&) override {}
    void setArrivalHandler(ArrivalHandler) override {}

    QString host = QStringLiteral("127.0.0.1");
    bool opened = false;
    int closes = 0;
};

} // namespace quorvex::testing
