#pragma once
// Uploading a network package to one unit: two reboot datagrams, the write request, then the
// image block by block.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "base/stop_request.h"
#include "flow/report.h"
#include "net/tftp_packets.h"
#include "net/tftp_transfer.h"
#include "net/udp_socket.h"

#include <QString>

namespace quorvex {

// How an upload ended, as a record of it needs it.
struct UploadResult {
    TftpOutcome outcome = TftpOutcome::None;
    // The status line's last text; for an interrupted upload, how far it got.
    QString text;
    // Blocks the unit acknowledged, of the blocks the image makes (the empty block that closes
    // an image of whole blocks counts).
    qint64 blocksAcknowledged = 0;
    qint64 blocks = 0;
    // The address the target resolved to; empty when it did not resolve or was never tried.
    QString address;
};

// What the technician is told of an upload stopped from outside.
QString InterruptedUploadText(qint64 acknowledged, qint64 blocks, bool anythingSent);

// Writes the program image of `firmware` to the unit at `target` under its product code and
// returns how the transfer ended. Stages are the status line's texts (the start, the outcome);
// progress is the blocks sent of the blocks the image makes, told as each block leaves. All
// of it on this thread, which the upload holds until the transfer is over; the TFTP client
// bounds that itself: the last acknowledgement, an error packet, the unit's silence or a
// transfer that no longer moves on ends it. Needs no event loop. `stop`, when requested, ends
// the upload once the datagram in hand has been answered; asked before the start, nothing is
// sent.
UploadResult UploadToUnit(const LoadedFirmware& firmware, const QString& target, Report& report,
                          ErrorSink& log, int serverPort = tftp::DefaultServerPort,
                          const StopRequest* stop = nullptr);
// The same through `socket`, which is the upload's alone until it returns.
UploadResult UploadToUnit(const LoadedFirmware& firmware, const QString& target, UdpSocket& socket,
                          Report& report, ErrorSink& log, int serverPort = tftp::DefaultServerPort,
                          const StopRequest* stop = nullptr);

} // namespace quorvex
