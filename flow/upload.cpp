#include "flow/upload.h"

#include "net/host_resolver.h"
#include "net/system_udp_socket.h"
#include "net/tftp_client.h"

namespace quorvex {

namespace {

// The client's report as the use case passes it on. A block's status text is not: the block
// arrives as progress, on the transfer's thread, as it leaves.
class UploadReport : public TftpReport {
  public:
    UploadReport(Report& report, qint64 blocks) : report_(report), blocks_(blocks) {}
    void status(const QString& text) override { report_.stage(text); }
    void step(int block, const QString&) override { report_.progress(block, blocks_); }
    void ended() override {}

  private:
    Report& report_;
    qint64 blocks_;
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
    UploadReport shown(report, tftp::BlockCount(firmware.ProgramImage.size()));
    TftpClient client(socket, log, shown, serverPort);
    BeginUploadToUnit(client, firmware, target);
    client.WaitForEnd();
    return client.outcome();
}

} // namespace quorvex
