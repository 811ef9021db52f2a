#pragma once
// One TFTP write of an image, from the write request to its end: what each datagram from the
// unit means, which block goes next, and when silence has lasted too long. It does not wait:
// whoever drives it hands it each datagram and asks it about the silence, on one thread.
#include "base/failure.h"
#include "net/tftp_packets.h"
#include "net/udp_socket.h"

#include <QElapsedTimer>
#include <cstdint>

namespace quorvex {

class TftpReport {
  public:
    virtual ~TftpReport() = default;
    // A text for the status line: the start, an outcome, a failure.
    virtual void status(const QString& text) = 0;
    // One step of the transfer under way: block `block` is being sent, "Status: Transmitting
    // block #n"; a display may merge the steps that follow one another quickly.
    virtual void step(int block, const QString& text) {
        Q_UNUSED(block);
        status(text);
    }
};

// Rejected: the unit answered with an error packet. Stalled: the unit kept the watchdog fed
// without ever moving the file on. Interrupted: a stop was asked for from outside.
enum class TftpOutcome { None, Finished, Failed, Rejected, TimedOut, Stalled, Interrupted };

class TftpTransfer {
  public:
    // `image` is shared, not copied. The socket is open and aimed at the unit's server port.
    // `stallMs`: how long the transfer may go without a block acknowledged, whatever else
    // the unit sends meanwhile.
    TftpTransfer(UdpSocket& socket, ErrorSink& log, TftpReport& report, QByteArray image,
                 int watchdogMs, int stallMs);
    TftpTransfer(const TftpTransfer&) = delete;
    TftpTransfer& operator=(const TftpTransfer&) = delete;

    // Sends the write request for `productCode` and starts the watchdog. Socket failures
    // propagate as FailureError.
    void SendWriteRequest(const QString& productCode);
    // Acts on one datagram from the unit: the next block for the acknowledgement of the last,
    // the end for an error packet. Its failures are logged as tftp_DataArrival's.
    void TakeDatagram(const QByteArray& datagram);
    // Ends the transfer when the unit has been silent for the whole watchdog interval, when it
    // stays silent for EndGraceMs after the empty block that closes a file of whole blocks,
    // or when no block has been acknowledged for the stall time.
    void CheckSilence();
    // Ends the transfer with `text` in the status line.
    void finish(TftpOutcome outcome, const QString& text);

    bool inProgress() const { return inProgress_; }
    TftpOutcome outcome() const { return outcome_; }
    // How long since the write request or the last datagram that showed the unit is there.
    qint64 silentMs() const { return lastHeard_.elapsed(); }

    // A file of whole blocks (or none) ends with an empty block. A unit built for this
    // loader has the file with the acknowledgement of its last full block and may never
    // answer the empty one; a server that does answers within a round trip.
    static constexpr int EndGraceMs = 1000;

  private:
    // `wholeNumber`: the datagram held its block number (a truncated one counts as 0).
    void onAck(int block, bool wholeNumber);
    void onError(int code, const QString& message);
    void sendBlock(int block);

    UdpSocket& socket_;
    ErrorSink& log_;
    TftpReport& report_;
    const QByteArray image_;
    const int watchdogMs_;
    const int stallMs_;
    QElapsedTimer lastHeard_;
    // Since the write request or the last acknowledgement that moved the transfer on.
    QElapsedTimer sinceAdvance_;
    // One DATA datagram, rewritten for each block rather than made anew.
    QByteArray packet_;
    // The number of the last DATA block sent (0: only the write request so far).
    std::int32_t lastBlockSent_ = 0;
    // The last block sent was short (possibly empty), so its acknowledgement ends the file.
    bool finalBlockSent_ = false;
    // That block was the empty one: every block of data has been acknowledged.
    bool emptyBlockSent_ = false;
    bool inProgress_ = false;
    TftpOutcome outcome_ = TftpOutcome::None;
    // A datagram too short for its fields was logged in this transfer: one record tells it.
    bool shortDatagramLogged_ = false;
};

} // namespace quorvex
