#pragma once
// Devices for window tests that never touch the machine's ports or the network.
#include "net/udp_socket.h"
#include "serial/serial_port.h"

#include <QByteArray>
#include <set>

namespace quorvex::fakes {

class OfflineSerialPort : public SerialPort {
public:
    std::set<int> present;
    void setCommPort(int n) override { number = n; }
    int commPort() const override { return number; }
    void setSettings(const QString& s) override { settingsText = s; }
    QString settings() const override { return settingsText; }
    void open() override {
        if (openNow)
            throw FailureError(Failure{8005, "Port already open"});
        if (!present.count(number))
            throw FailureError(Failure{8002, "Invalid port number"});
        openNow = true;
    }
    void close() override { openNow = false; ++closes; }
    bool isOpen() const override { return openNow; }
    void output(const QByteArray&) override {}
    QByteArray input() override { return {}; }
    int inBufferCount() override { return 0; }
    QString deviceName(int n) const override { return QStringLiteral("/dev/fake%1").arg(n); }

    int number = 1;
    bool openNow = false;
    int closes = 0;
    QString settingsText = "9600,n,8,1";
};

class OfflineSocket : public UdpSocket {
public:
    void setRemoteHost(const QString& h) override { host = h; }
    QString remoteHost() const override { return host; }
    void setRemotePort(int) override {}
    void open() override { openNow = true; }
    void close() override { openNow = false; }
    bool isOpen() const override { return openNow; }
    void send(const QByteArray&) override {}
    void setArrivalHandler(ArrivalHandler) override {}
    QString host;
    bool openNow = false;
};

} // namespace quorvex::fakes
