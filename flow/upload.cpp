#include "flow/upload.h"

#include "net/host_resolver.h"
#include "net/system_udp_socket.h"
#include "net/tftp_client.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <functional>

namespace quorvex {

namespace {

// The socket as the transfer's thread uses it, telling the number of each DATA block that
// leaves. The numbers are handed to the thread that runs the upload, in the order they left.
class BlockCountingSocket : public UdpSocket {
  public:
    BlockCountingSocket(UdpSocket& socket, QObject& home, std::function<void(int)> sent)
        : socket_(socket), home_(home), sent_(std::move(sent)) {}

    void setRemoteHost(const QString& host) override { socket_.setRemoteHost(host); }
    QString remoteHost() const override { return socket_.remoteHost(); }
    void setRemotePort(int port) override { socket_.setRemotePort(port); }
    void open() override { socket_.open(); }
    void close() override { socket_.close(); }
    bool isOpen() const override { return socket_.isOpen(); }
    std::optional<QByteArray> receive(int waitMs) override { return socket_.receive(waitMs); }
    void send(const QByteArray& datagram) override {
        socket_.send(datagram);
        if (datagram.size() < tftp::PayloadAt ||
            tftp::Field(datagram, tftp::OpcodeAt) != tftp::OpData)
            return;
        const int block = tftp::Field(datagram, tftp::NumberAt);
        QMetaObject::invokeMethod(
            &home_, [this, block] { sent_(block); }, Qt::QueuedConnection);
    }

  private:
    UdpSocket& socket_;
    QObject& home_;
    std::function<void(int)> sent_;
};

// The client's report as the use case passes it on. A block's status text is not: the same
// block arrives as progress.
class StatusReport : public TftpReport {
  public:
    StatusReport(Report& report, QEventLoop& loop) : report_(report), loop_(loop) {}
    void status(const QString& text) override { report_.stage(text); }
    void step(const QString&) override {}
    void ended() override { loop_.quit(); }

  private:
    Report& report_;
    QEventLoop& loop_;
};

} // namespace

TftpOutcome UploadToUnit(const LoadedFirmware& firmware, const QString& target, Report& report,
                         ErrorSink& log, int serverPort) {
    SystemHostResolver resolver;
    SystemUdpSocket socket(resolver);
    return UploadToUnit(firmware, target, socket, report, log, serverPort);
}

TftpOutcome UploadToUnit(const LoadedFirmware& firmware, const QString& target, UdpSocket& socket,
                         Report& report, ErrorSink& log, int serverPort) {
    // Outlives everything below: block numbers still on their way are dropped with it.
    QObject home;
    const qint64 blocks = tftp::BlockCount(firmware.ProgramImage.size());
    BlockCountingSocket counting(socket, home,
                                 [&report, blocks](int block) { report.progress(block, blocks); });
    QEventLoop loop;
    StatusReport status(report, loop);
    TftpClient client(counting, log, status, serverPort);
    client.BeginUpload(firmware.ProgramImage, firmware.Header.trimmedCode(), target);
    if (client.inProgress())
        loop.exec();
    return client.outcome();
}

} // namespace quorvex
