#pragma once
// Uploading a network package to one unit, as the window and quorvex-cli both do it: two
// reboot datagrams, the write request, then the image block by block.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "flow/report.h"
#include "net/tftp_client.h"
#include "net/tftp_packets.h"
#include "net/tftp_transfer.h"
#include "net/udp_socket.h"

#include <QString>

namespace quorvex {

// Starts writing the program image of `firmware` to the unit at `target` under its product
// code, on `client`'s own thread, and returns once the reboot datagrams are out; the client's
// report hears of the rest and of the end. For a front end whose thread keeps running (the
// window); false when the upload could not start, which the report has been told.
bool BeginUploadToUnit(TftpClient& client, const LoadedFirmware& firmware, const QString& target);

// Writes the program image of `firmware` to the unit at `target` under its product code and
// returns how the transfer ended. Stages are the status line's texts (the start, the outcome),
// told on this thread; progress is the blocks sent of the blocks the image makes, told on the
// transfer's own thread as each block leaves. Blocks this thread until the transfer is over,
// which the TFTP client bounds itself: the last acknowledgement, an error packet, the unit's
// silence or a transfer that no longer moves on ends it. Needs no event loop.
TftpOutcome UploadToUnit(const LoadedFirmware& firmware, const QString& target, Report& report,
                         ErrorSink& log, int serverPort = tftp::DefaultServerPort);
// The same through `socket`, which is the upload's alone until it returns.
TftpOutcome UploadToUnit(const LoadedFirmware& firmware, const QString& target, UdpSocket& socket,
                         Report& report, ErrorSink& log, int serverPort = tftp::DefaultServerPort);

} // namespace quorvex
