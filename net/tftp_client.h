#pragma once
// Writes a network package's image to a unit: two reboot requests, a pause, then a TFTP write
// of the image, watched by a watchdog. The reboot requests leave from the caller's thread; the
// pause and the write run on a thread of the client's own, which sleeps in the socket's receive
// between datagrams and answers each acknowledgement straight away. A window's event loop
// would cost every block a wake-up and a round of its own work before the next block could
// leave.
//
// The report hears every block's step on the transfer's own thread, as the block leaves; the
// rest of the report and the error log are called on the thread that made the client. Never two
// at once: the steps come after BeginUpload has told the start and before the end is told (a
// transfer stopped from outside is waited for first), so whatever shows them passes them on to
// its own thread and merges them as it pleases.
#include "base/failure.h"
#include "base/stop_request.h"
#include "net/tftp_transfer.h"
#include "net/udp_socket.h"

#include <QObject>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>

namespace quorvex {

class TftpClient {
  public:
    // The socket is the client's alone while it lives. Tools that drive the client without a
    // unit may shorten the pause before the write request.
    TftpClient(UdpSocket& socket, ErrorSink& log, TftpReport& report,
               int serverPort = tftp::DefaultServerPort, int rebootPauseMs = RebootPauseMs);
    // A transfer under way is stopped, with no further report.
    ~TftpClient();
    TftpClient(const TftpClient&) = delete;
    TftpClient& operator=(const TftpClient&) = delete;

    // Writes `image` to `target` under the name `productCode`. Returns once the reboot
    // requests are sent; the report hears of the rest. A socket failure while starting is
    // reported and ends the transfer; returns false then, and when the image was refused.
    bool BeginUpload(const QByteArray& image, const QString& productCode, const QString& target);

    // Stops a transfer under way and gives the window back (the report's `ended`). A transfer
    // that has already ended on its own, its end still on the way here, keeps its outcome:
    // its status text and `outcome` are told now, once.
    void EndTftpTransfer();

    // For a caller with no event loop of its own (a front end's worker thread): returns once
    // the transfer under way has ended and its end, outcome and log records have been told, on
    // this thread.
    void WaitForEnd();

    // True from the start of a transfer until its end has been reported.
    bool inProgress() const { return inProgress_; }
    TftpOutcome outcome() const { return outcome_; }
    // True while the watchdog runs: from the write request to the end of the transfer.
    bool watching() const { return inProgress_ && writeRequested_; }

    // How long the unit may stay silent; 7 seconds unless a test shortens it.
    void setWatchdogMs(int ms) { watchdogMs_ = ms; }
    int watchdogMs() const { return watchdogMs_; }
    // How long the transfer may go without a block acknowledged while the unit keeps talking;
    // a minute unless a test shortens it.
    void setStallMs(int ms) { stallMs_ = ms; }
    // When given and requested, the transfer under way ends once the datagram in hand has been
    // answered (at most one more block goes out), as Interrupted and with no status text:
    // whoever asked tells it. For a front end
    // whose stop comes from outside its thread (a signal); the window ends a transfer with
    // EndTftpTransfer.
    void setStopRequest(const StopRequest* stop) { stopRequest_ = stop; }

    // The pause between the reboot requests and the write request, which gives the unit's
    // loader time to listen.
    static constexpr int RebootPauseMs = 100;
    static constexpr int WatchdogMs = 7000;
    // Far beyond any pause of a unit at work (a block is taken within milliseconds, a flash
    // erase within seconds), short enough that a bench is not held by one that never
    // progresses.
    static constexpr int StallMs = 60000;
    // The longest a receive sleeps before the transfer's thread looks at the watchdog and at a
    // request to stop.
    static constexpr int ReceiveSliceMs = 50;

  private:
    class Relay;
    // What the transfer's thread is given: its own copies, read by it alone.
    struct Job {
        QByteArray image;
        QString productCode;
        int generation = 0;
        int watchdogMs = WatchdogMs;
        int stallMs = StallMs;
        const StopRequest* stop = nullptr;
    };
    // How a transfer ended on its own: its outcome and the status text that tells it.
    struct Ending {
        TftpOutcome outcome = TftpOutcome::None;
        QString status;
    };
    void StartTftpTransfer(const QString& target);
    void run(std::stop_token stop, const Job& job);
    void ended(int generation);
    // The transfer's thread has been joined: gives the window back, with the outcome when the
    // transfer had one.
    void giveBack();
    void stopThread();

    UdpSocket& socket_;
    ErrorSink& log_;
    TftpReport& report_;
    int serverPort_;
    int rebootPauseMs_;
    int watchdogMs_ = WatchdogMs;
    int stallMs_ = StallMs;
    const StopRequest* stopRequest_ = nullptr;
    bool inProgress_ = false;
    TftpOutcome outcome_ = TftpOutcome::None;
    std::atomic<bool> writeRequested_{false};
    // Written by the transfer's thread as it ends; read only once that thread is joined, by
    // whichever comes first: the end it sends here, or a stop from outside.
    std::optional<Ending> ending_;
    // Which transfer the relayed calls belong to; those of a stopped one are dropped.
    int generation_ = 0;
    // Lives on the caller's thread: relayed calls run there, and are dropped with it.
    std::unique_ptr<QObject> home_;
    std::jthread thread_;
};

} // namespace quorvex
