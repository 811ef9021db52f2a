#pragma once
// What the network tests share: a bounded wait that keeps events flowing, a resolver that
// asks no name server, a serial port that is never used, and a session wired to a real UDP
// socket and a TFTP client.
#include "flow/session.h"
#include "net/qt_udp_socket.h"
#include "net/tftp_client.h"
#include "support/fakes.h"

#include <QCoreApplication>
#include <QHash>
#include <functional>
#include <memory>

namespace quorvex::nettest {

// Runs events until `done` holds or `ms` pass; returns whether it held. The thread sleeps
// between events and looks at `done` every `pollMs`, so little time spent here is charged to
// the code under test.
bool WaitUntil(const std::function<bool()>& done, int ms, int pollMs = 2);

// Runs events for `ms`.
inline void RunEventsFor(int ms) {
    WaitUntil([] { return false; }, ms);
}

// Knows a fixed table of names; literal IPv4 addresses stand for themselves.
class TableResolver : public HostResolver {
  public:
    QString resolve(const QString& host) override;
    QHash<QString, QString> names;
    int lookups = 0;
};

class UnusedSerialPort : public SerialPort {
  public:
    void setCommPort(int) override {}
    void setCommDevice(int, const QString&) override {}
    int commPort() const override { return 1; }
    void setSettings(const QString&) override {}
    QString settings() const override { return {}; }
    void open() override {}
    void close() override {}
    bool isOpen() const override { return false; }
    void output(const QByteArray&) override {}
    QByteArray input() override { return {}; }
    int inBufferCount() override { return 0; }
    void setReadyReadHandler(std::function<void()>) override {}
    QString deviceName(int) const override { return {}; }
};

// A session for a network package of `image`, with the product code NYX2, its watchdog set to
// `watchdogMs` and the client talking to `serverPort` on 127.0.0.1.
struct ClientRig {
    ClientRig(const QByteArray& image, int serverPort, int watchdogMs, UdpSocket* socket = nullptr);

    LoadedFirmware firmware;
    fakes::RecordingLog log;
    fakes::ScriptedPrompts prompts;
    fakes::FakeWindow window;
    UnusedSerialPort serial;
    TableResolver resolver;
    QtUdpSocket qtSocket{resolver};
    QTimer tmrResponse;
    Session session;
    TftpClient client;

    // Starts the upload and runs events until it ends (bounded by `ms`); returns whether it did.
    bool uploadAndWait(int ms, int pollMs = 2);
};

} // namespace quorvex::nettest
