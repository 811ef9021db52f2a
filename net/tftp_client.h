#pragma once
// Writes a network package's program image to a unit: two reboot requests, a pause, then a
// TFTP write of the image, driven by the datagrams that arrive and watched by tmrResponse.
// Progress and outcome go to the status line; the end of a transfer gives the window back.
#include "flow/session.h"
#include "net/tftp_packets.h"

#include <cstdint>

namespace quorvex {

class TftpClient {
  public:
    // Installs the socket's arrival handler and follows tmrResponse's expiry. The watchdog's
    // length is tmrResponse's interval (7000 ms once a network package is loaded). Tools that
    // drive the client without a unit may shorten the pause before the write request.
    explicit TftpClient(Session& s, int serverPort = tftp::DefaultServerPort,
                        int rebootPauseMs = RebootPauseMs);
    TftpClient(const TftpClient&) = delete;
    TftpClient& operator=(const TftpClient&) = delete;

    // What the update command runs for a network package. A socket failure while starting
    // shows its text in the status line and ends the transfer; returns false then, and when
    // the image was refused.
    bool BeginUpload();

    // Returns once the write request is sent. Socket failures propagate as FailureError.
    void StartTftpTransfer();
    void tftp_DataArrival(const QByteArray& datagram);
    void tmrResponse_Timer();
    void EndTftpTransfer();

    // True from the start of a transfer until it ends.
    bool inProgress() const { return inProgress_; }

    // The pause between the reboot requests and the write request, which gives the unit's
    // loader time to listen.
    static constexpr int RebootPauseMs = 100;

  private:
    // `wholeNumber`: the datagram held its block number (a truncated one counts as 0).
    void onAck(int block, bool wholeNumber);
    void restartWatchdog();
    void onError(int code, const QString& message);
    void sendBlock(int block);

    Session& s_;
    int serverPort_;
    int rebootPauseMs_;
    // The number of the last DATA block sent (0: only the write request so far).
    std::int32_t TftpBlockNo = 0;
    // Index in the image of the first byte of that block's successor.
    std::int32_t TftpOffset = 0;
    // The last block sent was short (possibly empty), so its acknowledgement ends the file.
    bool finalBlockSent_ = false;
    bool inProgress_ = false;
    // A datagram too short for its fields was logged in this transfer: one record tells it.
    bool shortDatagramLogged_ = false;
};

} // namespace quorvex
