#pragma once
// Writes a network package's image to a unit: two reboot requests, a pause, then a TFTP write
// of the image, watched by a watchdog. One blocking call on the caller's thread, which sleeps in
// the socket's receive between datagrams and answers each acknowledgement straight away; an
// event loop on the path would cost every block a wake-up and a round of other work before
// the next block could leave. Whoever shows the report from another thread passes it on.
#include "base/failure.h"
#include "base/stop_request.h"
#include "net/tftp_transfer.h"
#include "net/udp_socket.h"

namespace quorvex {

class TftpClient {
  public:
    // The socket is the client's alone while an upload runs. Tools that drive the client
    // without a unit may shorten the pause before the write request.
    TftpClient(UdpSocket& socket, ErrorSink& log, TftpReport& report,
               int serverPort = tftp::DefaultServerPort, int rebootPauseMs = RebootPauseMs);
    TftpClient(const TftpClient&) = delete;
    TftpClient& operator=(const TftpClient&) = delete;

    // Writes `image` to `target` under the name `productCode` and returns once the transfer is
    // over: the last acknowledgement, an error packet, the unit's silence, a transfer that no
    // longer moves on, a socket failure or a refused image, each told in the report's status.
    // `stop`, when requested, ends the transfer once the datagram in hand has been answered
    // (at most one more block goes out), as Interrupted and with no status text: whoever asked
    // tells it. Asked before the write request, nothing more is sent.
    TftpOutcome Upload(const QByteArray& image, const QString& productCode, const QString& target,
                       const StopRequest* stop = nullptr);

    // How long the unit may stay silent; 7 seconds unless a test shortens it.
    void setWatchdogMs(int ms) { watchdogMs_ = ms; }
    int watchdogMs() const { return watchdogMs_; }
    // How long the transfer may go without a block acknowledged while the unit keeps talking;
    // a minute unless a test shortens it.
    void setStallMs(int ms) { stallMs_ = ms; }

    // The pause between the reboot requests and the write request, which gives the unit's
    // loader time to listen.
    static constexpr int RebootPauseMs = 100;
    static constexpr int WatchdogMs = 7000;
    // Far beyond any pause of a unit at work (a block is taken within milliseconds, a flash
    // erase within seconds), short enough that a bench is not held by one that never
    // progresses.
    static constexpr int StallMs = 60000;
    // The longest a receive sleeps before the transfer looks at the watchdog and at a request
    // to stop; the pause before the write request looks as often.
    static constexpr int ReceiveSliceMs = 50;

  private:
    // The reboot requests, on a socket opened and closed for them; socket failures propagate.
    void SendRebootRequests(const QString& target);
    // Sleeps the pause; false when a stop came first.
    bool PauseUnlessStopped(const StopRequest* stop) const;
    void RunTransfer(TftpTransfer& transfer, const QString& productCode, const StopRequest* stop);

    UdpSocket& socket_;
    ErrorSink& log_;
    TftpReport& report_;
    int serverPort_;
    int rebootPauseMs_;
    int watchdogMs_ = WatchdogMs;
    int stallMs_ = StallMs;
};

} // namespace quorvex
