#include "flow/upload.h"

#include "net/host_resolver.h"
#include "net/system_udp_socket.h"
#include "net/tftp_client.h"

#include <functional>

namespace quorvex {

namespace {

// The socket as the transfer's thread uses it, telling the number of each DATA block that
// leaves, as it leaves.
class BlockCountingSocket : public UdpSocket {
  public:
    BlockCountingSocket(UdpSocket& socket, std::function<void(int)> sent)
        : socket_(socket), sent_(std::move(sent)) {}

    void setRemoteHost(const QString& host) override { socket_.setRemoteHost(host); }
    QString remoteHost() const override { return socket_.remoteHost(); }
    void setRemotePort(int port) override { socket_.setRemotePort(port); }
    void open() override { socket_.open(); }
    void close() override { socket_.close(); }
    bool isOpen() const override { return socket_.isOpen(); }
    std::optional<QByteArray> receive(int waitMs) override { return socket_.receive(waitMs); }
    void send(const QByteArray& datagram) override {
        socket_.send(datagram);
        if (datagram.size() >= tftp::PayloadAt &&
            tftp::Field(datagram, tftp::OpcodeAt) == tftp::OpData)
            sent_(tftp::Field(datagram, tftp::NumberAt));
    }

  private:
    UdpSocket& socket_;
    std::function<void(int)> sent_;
};

// The client's report as the use case passes it on. A block's status text is not: the same
// block arrives as progress.
class StatusReport : public TftpReport {
  public:
    explicit StatusReport(Report& report) : report_(report) {}
    void status(const QString& text) override { report_.stage(text); }
    void step(const QString&) override {}
    void ended() override {}

  private:
    Report& report_;
};

} // namespace

bool BeginUploadToUnit(TftpClient& client, const LoadedFirmware& firmware, const QString& target) {
    return client.BeginUpload(firmware.ProgramImage, firmware.Header.trimmedCode(), target);
}

TftpOutcome UploadToUnit(const LoadedFirmware& firmware, const QString& target, Report& report,
                         ErrorSink& log, int serverPort) {
    SystemHostResolver resolver;
    SystemUdpSocket socket(resolver);
    return UploadToUnit(firmware, target, socket, report, log, serverPort);
}

TftpOutcome UploadToUnit(const LoadedFirmware& firmware, const QString& target, UdpSocket& socket,
                         Report& report, ErrorSink& log, int serverPort) {
    const qint64 blocks = tftp::BlockCount(firmware.ProgramImage.size());
    BlockCountingSocket counting(socket,
                                 [&report, blocks](int block) { report.progress(block, blocks); });
    StatusReport status(report);
    TftpClient client(counting, log, status, serverPort);
    BeginUploadToUnit(client, firmware, target);
    client.WaitForEnd();
    return client.outcome();
}

} // namespace quorvex
