#include "flow/upload.h"

#include "net/host_resolver.h"
#include "net/system_udp_socket.h"
#include "net/tftp_client.h"

#include <algorithm>

namespace quorvex {

namespace {

// The client's report as the use case passes it on. A block's status text is not: the block
// goes on as progress, as it leaves.
class UploadReport : public TftpReport {
  public:
    UploadReport(Report& report, qint64 blocks) : report_(report), blocks_(blocks) {}
    void status(const QString& text) override {
        last = text;
        report_.stage(text);
    }
    void step(int block, const QString&) override {
        lastSent = block;
        report_.progress(block, blocks_);
    }
    QString last;
    int lastSent = 0;

  private:
    Report& report_;
    qint64 blocks_;
};

} // namespace

QString InterruptedUploadText(qint64 acknowledged, qint64 blocks, bool anythingSent) {
    if (!anythingSent)
        return QStringLiteral("interrupted before the upload started: nothing was sent");
    return QStringLiteral("interrupted after %1 of %2 blocks: upload it again")
        .arg(acknowledged)
        .arg(blocks);
}

UploadResult UploadToUnit(const LoadedFirmware& firmware, const QString& target, Report& report,
                          ErrorSink& log, int serverPort, const StopRequest* stop) {
    SystemHostResolver resolver;
    SystemUdpSocket socket(resolver);
    UploadResult result = UploadToUnit(firmware, target, socket, report, log, serverPort, stop);
    result.address = socket.resolvedAddress();
    return result;
}

UploadResult UploadToUnit(const LoadedFirmware& firmware, const QString& target, UdpSocket& socket,
                          Report& report, ErrorSink& log, int serverPort, const StopRequest* stop) {
    UploadResult result;
    result.blocks = tftp::BlockCount(firmware.ProgramImage.size());
    if (StopAsked(stop)) {
        result.outcome = TftpOutcome::Interrupted;
        result.text = InterruptedUploadText(0, result.blocks, false);
        return result;
    }
    UploadReport shown(report, result.blocks);
    TftpClient client(socket, log, shown, serverPort);
    result.outcome =
        client.Upload(firmware.ProgramImage, firmware.Header.trimmedCode(), target, stop);
    result.blocksAcknowledged = result.outcome == TftpOutcome::Finished
                                    ? qint64(shown.lastSent)
                                    : qint64(std::max(0, shown.lastSent - 1));
    result.text = result.outcome == TftpOutcome::Interrupted
                      ? InterruptedUploadText(result.blocksAcknowledged, result.blocks, true)
                      : shown.last;
    return result;
}

} // namespace quorvex
