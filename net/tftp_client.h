#pragma once
// Writes a network package's image to a unit: two reboot requests, a pause, then a TFTP write
// of the image, driven by the datagrams that arrive and watched by a watchdog of its own.
// Every status text and the end of a transfer go to its report.
#include "base/failure.h"
#include "net/tftp_packets.h"
#include "net/udp_socket.h"

#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>

namespace quorvex {

class TftpReport {
  public:
    virtual ~TftpReport() = default;
    // A text for the status line: the start, an outcome, a failure.
    virtual void status(const QString& text) = 0;
    // One step of the transfer under way ("Status: Transmitting block #n"); a display may
    // merge the steps that follow one another quickly.
    virtual void step(const QString& text) { status(text); }
    // The transfer is over, whichever way it ended.
    virtual void ended() = 0;
};

enum class TftpOutcome { None, Finished, Failed, TimedOut };

class TftpClient {
  public:
    // The socket is the client's alone while it lives. Tools that drive the client without a
    // unit may shorten the pause before the write request.
    TftpClient(UdpSocket& socket, ErrorSink& log, TftpReport& report,
               int serverPort = tftp::DefaultServerPort, int rebootPauseMs = RebootPauseMs);
    TftpClient(const TftpClient&) = delete;
    TftpClient& operator=(const TftpClient&) = delete;

    // Writes `image` to `target` under the name `productCode`. A socket failure while starting
    // is reported and ends the transfer; returns false then, and when the image was refused.
    bool BeginUpload(const QByteArray& image, const QString& productCode, const QString& target);

    // Returns once the write request is sent. Socket failures propagate as FailureError.
    void StartTftpTransfer(const QString& productCode, const QString& target);
    void tftp_DataArrival(const QByteArray& datagram);
    // The watchdog's expiry: the unit has been silent for its whole interval.
    void tmrResponse_Timer();
    void EndTftpTransfer();

    // True from the start of a transfer until it ends.
    bool inProgress() const { return inProgress_; }
    TftpOutcome outcome() const { return outcome_; }
    // True while the watchdog runs: from the write request to the end of the transfer.
    bool watching() const { return tmrResponse_.isActive(); }

    // How long the unit may stay silent; 7 seconds unless a test shortens it.
    void setWatchdogMs(int ms) { watchdogMs_ = ms; }
    int watchdogMs() const { return watchdogMs_; }

    // The pause between the reboot requests and the write request, which gives the unit's
    // loader time to listen.
    static constexpr int RebootPauseMs = 100;
    static constexpr int WatchdogMs = 7000;

  private:
    // `wholeNumber`: the datagram held its block number (a truncated one counts as 0).
    void onAck(int block, bool wholeNumber);
    void heardFromUnit();
    void onError(int code, const QString& message);
    void sendBlock(int block);
    void finish(TftpOutcome outcome, const QString& text);

    UdpSocket& socket_;
    ErrorSink& log_;
    TftpReport& report_;
    int serverPort_;
    int rebootPauseMs_;
    int watchdogMs_ = WatchdogMs;
    // Armed once per transfer; when it fires early for a unit heard from since, it is armed
    // again for the rest. Restarting a timer per datagram would cost the event loop work on
    // every block.
    QTimer tmrResponse_;
    QElapsedTimer lastHeard_;
    QByteArray image_;
    // The number of the last DATA block sent (0: only the write request so far).
    std::int32_t TftpBlockNo = 0;
    // The last block sent was short (possibly empty), so its acknowledgement ends the file.
    bool finalBlockSent_ = false;
    bool inProgress_ = false;
    TftpOutcome outcome_ = TftpOutcome::None;
    // A datagram too short for its fields was logged in this transfer: one record tells it.
    bool shortDatagramLogged_ = false;
};

} // namespace quorvex
