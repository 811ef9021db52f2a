#pragma once
// A real TFTP server for the tests: tftpd-hpa in the foreground on a loopback address
// (127.0.0.1 unless a test asks for another, for units side by side) at a free high port,
// serving a temporary root of its own that the tftp user may create files in. Installs nothing:
// where the server is missing, the test is skipped with a message saying so.
#include <QHostAddress>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace quorvex::testing {

class TftpdServer {
  public:
    static constexpr const char* Program = "/usr/sbin/in.tftpd";
    static bool Installed();

    TftpdServer() = default;
    ~TftpdServer();
    TftpdServer(const TftpdServer&) = delete;
    TftpdServer& operator=(const TftpdServer&) = delete;

    // Starts the server and waits (bounded) until it holds its port: `port`, or a free one when
    // 0 (units side by side share one port, each on an address of its own). Empty on success,
    // else why not.
    QString start(const QString& address = QStringLiteral("127.0.0.1"), quint16 port = 0);
    void stop();
    // Kills the server and the transfers it forked, at once, as a unit that loses power.
    void kill();

    quint16 port() const { return port_; }
    QString root() const { return dir_ ? dir_->path() : QString(); }
    QString pathOf(const QString& name) const { return root() + QLatin1Char('/') + name; }

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    QProcess process_;
    QHostAddress address_;
    quint16 port_ = 0;
};

} // namespace quorvex::testing
