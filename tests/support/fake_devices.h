#pragma once
// Serial ports and sockets that never touch the machine's devices or the network: they do what
// a test sets up and record what they were asked.
#include "base/failure.h"
#include "net/udp_socket.h"
#include "serial/serial_port.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

namespace quorvex::fakes {

// Numbered ports: with `present` empty every number exists, else only those listed; a busy
// one refuses to open (70), a missing one is 8002, an open one 8005.
class FakeSerialPort : public SerialPort {
  public:
    void setCommPort(int number) override {
        port = number;
        device.clear();
    }
    void setCommDevice(int number, const QString& d) override {
        port = number;
        device = d;
    }
    int commPort() const override { return port; }
    void setSettings(const QString& s) override {
        if (rejectSettings)
            Raise(FailureNo::CannotSetPortSettings);
        text = s;
    }
    QString settings() const override { return text; }
    void open() override {
        if (opened)
            Raise(FailureNo::PortAlreadyOpen);
        if (!present.empty() && !present.count(port))
            Raise(FailureNo::InvalidPortNumber);
        if (busy.count(port))
            Raise(FailureNo::PermissionDenied, QStringLiteral("Access denied"));
        opened = true;
        openedPorts.push_back(port);
    }
    void close() override {
        opened = false;
        ++closes;
    }
    bool isOpen() const override { return opened; }
    void output(const QByteArray& bytes) override {
        written += bytes;
        if (answer)
            answering += answer(bytes);
    }
    void drain() override {}
    // The unit answers a moment after what it answers has gone out: the read that follows a
    // write finds only what was waiting already, the next one the answer.
    QByteArray input() override {
        QByteArray waiting = std::exchange(incoming, QByteArray());
        incoming = std::exchange(answering, QByteArray());
        return waiting;
    }
    int inBufferCount() override { return int(incoming.size()); }
    // What the next read finds is known already: the wait returns at once when there is
    // something, else nothing will come and it sleeps its time out.
    bool waitForReadyRead(int ms) override {
        if (incoming.isEmpty() && ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return !incoming.isEmpty();
    }
    QString deviceName(int n) const override { return QStringLiteral("/dev/ttyUSB%1").arg(n - 1); }

    int port = 1;
    QString text = QStringLiteral("1200,n,8,1");
    bool opened = false;
    bool rejectSettings = false;
    std::set<int> present;
    std::set<int> busy;
    int closes = 0;
    std::vector<int> openedPorts;
    QString device; // the pinned device, empty when none
    QByteArray written;
    // What the unit on the line says to each write; waiting until read.
    std::function<QByteArray(const QByteArray&)> answer;
    QByteArray incoming;
    QByteArray answering; // said, not yet arrived
};

// Sends go nowhere and are recorded; with `refuseWith` set every send fails with that number,
// as the platform refuses an address. Datagrams handed to `deliver` wait to be received. A
// transfer's own thread sends and receives while the test's thread delivers; `sent` is read
// once the transfer has ended.
class FakeUdpSocket : public UdpSocket {
  public:
    void setRemoteHost(const QString& h) override { host = h; }
    QString remoteHost() const override { return host; }
    void setRemotePort(int p) override { remotePort = p; }
    void open() override {
        std::lock_guard lock(mutex_);
        opened = true;
        ++opens;
    }
    void close() override {
        std::lock_guard lock(mutex_);
        opened = false;
        ++closes;
    }
    bool isOpen() const override {
        std::lock_guard lock(mutex_);
        return opened;
    }
    void send(const QByteArray& datagram) override {
        std::lock_guard lock(mutex_);
        if (refuseWith)
            Raise(refuseWith, QStringLiteral("refused"));
        sent.push_back(datagram);
    }
    std::optional<QByteArray> receive(int waitMs) override {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, std::chrono::milliseconds(waitMs),
                               [this] { return !incoming_.empty(); }))
            return std::nullopt;
        QByteArray d = incoming_.front();
        incoming_.pop_front();
        return d;
    }

    // Hands a datagram to the client as if the unit had sent it.
    void deliver(const QByteArray& datagram) {
        std::lock_guard lock(mutex_);
        incoming_.push_back(datagram);
        arrived_.notify_all();
    }

    QString host = QStringLiteral("127.0.0.1");
    int remotePort = 0;
    bool opened = false;
    int opens = 0;
    int closes = 0;
    int refuseWith = 0;
    std::vector<QByteArray> sent;

  private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<QByteArray> incoming_;
};

// Knows a fixed table of names; literal IPv4 addresses stand for themselves. No test asks a
// name server.
class TableResolver : public HostResolver {
  public:
    QString resolve(const QString& host) override;
    QHash<QString, QString> names;
    int lookups = 0;
};

} // namespace quorvex::fakes
