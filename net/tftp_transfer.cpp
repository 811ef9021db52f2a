#include "net/tftp_transfer.h"

#include "base/conversions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quorvex {

using namespace tftp;

namespace {

QString FinishedText() {
    return QStringLiteral("Status: Finished.  Ready.");
}

long WholeSeconds(int ms) {
    return std::lround(ms / 1000.0);
}

} // namespace

TftpTransfer::TftpTransfer(UdpSocket& socket, ErrorSink& log, TftpReport& report, QByteArray image,
                           int watchdogMs, int stallMs)
    : socket_(socket), log_(log), report_(report), image_(std::move(image)),
      watchdogMs_(watchdogMs), stallMs_(stallMs) {}

void TftpTransfer::SendWriteRequest(const QString& productCode) {
    lastBlockSent_ = 0;
    finalBlockSent_ = false;
    emptyBlockSent_ = false;
    shortDatagramLogged_ = false;
    outcome_ = TftpOutcome::None;
    inProgress_ = true;
    lastHeard_.start();
    sinceAdvance_.start();
    socket_.send(Wrq(productCode));
}

void TftpTransfer::TakeDatagram(const QByteArray& datagram) {
    if (!inProgress_)
        return;
    // A single byte is the unit saying it is busy: still there, nothing to act on.
    if (datagram.size() == 1) {
        lastHeard_.start();
        return;
    }

    Guard guard(log_, Place::Form(QStringLiteral("tftp_DataArrival")));
    // A field that a short datagram lacks counts as 0. The shortfall is logged once per
    // transfer: a stream of such datagrams must not fill the log.
    if (datagram.size() < PayloadAt && !shortDatagramLogged_) {
        shortDatagramLogged_ = true;
        guard.log(Failure{FailureNo::SubscriptOutOfRange,
                          DefaultDescription(FailureNo::SubscriptOutOfRange)});
    }
    const auto fieldOrZero = [&datagram](int at) {
        return datagram.size() >= at + 2 ? Field(datagram, at) : 0;
    };
    const int opcode = fieldOrZero(OpcodeAt);
    const int number = fieldOrZero(NumberAt);
    // Only what the transfer can use counts as hearing from the unit: empty, truncated or
    // unknown datagrams would otherwise hold the watchdog off for ever.
    if (opcode == OpAck)
        guard.step([&] { onAck(number, datagram.size() >= PayloadAt); });
    else if (opcode == OpError)
        guard.step([&] { onError(number, ErrorMessage(datagram)); });
}

void TftpTransfer::onAck(int block, bool wholeNumber) {
    // Only the acknowledgement of the block just sent moves the transfer on. A server repeats
    // its last ACK when its own timer fires; answering that would send data under a number the
    // server has already taken, and it would drop it. The repeat still shows the server is
    // there; a truncated one (its number made up) does not.
    if (block != lastBlockSent_) {
        if (wholeNumber && block == lastBlockSent_ - 1)
            lastHeard_.start();
        return;
    }
    lastHeard_.start();
    sinceAdvance_.start();
    if (finalBlockSent_) {
        finish(TftpOutcome::Finished, FinishedText());
        return;
    }
    sendBlock(block + 1);
}

void TftpTransfer::sendBlock(int block) {
    const qsizetype from = qsizetype(block - 1) * BlockSize;
    const qsizetype size = qBound(qsizetype(0), image_.size() - from, qsizetype(BlockSize));
    lastBlockSent_ = block;
    // A block shorter than 512 bytes, even an empty one, tells the server the file is whole.
    finalBlockSent_ = size < BlockSize;
    emptyBlockSent_ = size == 0;
    report_.step(block, QStringLiteral("Status: Transmitting block #") + QString::number(block));
    packet_.resize(PayloadAt + size);
    char* p = packet_.data();
    p[0] = 0;
    p[1] = char(OpData);
    p[2] = char(HighByte(block));
    p[3] = char(LowByte(block));
    if (size > 0)
        std::memcpy(p + PayloadAt, image_.constData() + from, std::size_t(size));
    socket_.send(packet_);
}

void TftpTransfer::onError(int code, const QString& message) {
    finish(TftpOutcome::Rejected, code == 0 ? QStringLiteral("Status: ") + message
                                            : QStringLiteral("Status: [Error #%1: %2]  | %3")
                                                  .arg(code)
                                                  .arg(TftpErrorName(code), message));
}

void TftpTransfer::CheckSilence() {
    if (!inProgress_)
        return;
    // Only the empty closing block is unanswered, so the unit holds every byte: its silence
    // is the end. (A watchdog shortened below the grace still ends it so.)
    if (emptyBlockSent_ && silentMs() >= std::min(EndGraceMs, watchdogMs_)) {
        finish(TftpOutcome::Finished, FinishedText());
        return;
    }
    if (silentMs() >= watchdogMs_) {
        finish(TftpOutcome::TimedOut,
               QStringLiteral("Status: Timed out (%1 seconds).  Try 192.168.X.200?")
                   .arg(WholeSeconds(watchdogMs_)));
        return;
    }
    // Busy bytes and repeated acknowledgements show the unit is there and feed the watchdog;
    // a unit that sends nothing else would hold the upload for ever.
    if (sinceAdvance_.elapsed() >= stallMs_)
        finish(TftpOutcome::Stalled,
               QStringLiteral("Status: Stalled: no block acknowledged for %1 seconds.")
                   .arg(WholeSeconds(stallMs_)));
}

void TftpTransfer::finish(TftpOutcome outcome, const QString& text) {
    outcome_ = outcome;
    inProgress_ = false;
    socket_.close();
    // A stop from outside has no text here: whoever asked for it tells it.
    if (!text.isNull())
        report_.status(text);
}

} // namespace quorvex
