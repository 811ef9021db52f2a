#include "net/tftp_client.h"

#include "base/paced_wait.h"
#include "net/socket_errors.h"

#include <QLocale>
#include <cmath>

namespace quorvex {

using namespace tftp;

TftpClient::TftpClient(UdpSocket& socket, ErrorSink& log, TftpReport& report, int serverPort,
                       int rebootPauseMs)
    : socket_(socket), log_(log), report_(report), serverPort_(serverPort),
      rebootPauseMs_(rebootPauseMs) {
    tmrResponse_.setObjectName(QStringLiteral("tmrResponse"));
    tmrResponse_.setSingleShot(true);
    tmrResponse_.setTimerType(Qt::PreciseTimer);
    socket_.setArrivalHandler([this](const QByteArray& d) { tftp_DataArrival(d); });
    QObject::connect(&tmrResponse_, &QTimer::timeout, &tmrResponse_,
                     [this] { tmrResponse_Timer(); });
}

bool TftpClient::BeginUpload(const QByteArray& image, const QString& productCode,
                             const QString& target) {
    outcome_ = TftpOutcome::None;
    if (image.size() > MaxImageSize) {
        // Its last blocks would need numbers that the two-byte field cannot hold.
        finish(TftpOutcome::Failed,
               QStringLiteral("Status: Image too large for TFTP (%1 bytes; at most %2).")
                   .arg(image.size())
                   .arg(MaxImageSize));
        return false;
    }
    image_ = image;
    try {
        StartTftpTransfer(productCode, target);
    } catch (const FailureError& e) {
        socket_.close();
        finish(TftpOutcome::Failed, WinsockErrorText(e.failure().number));
        return false;
    }
    return inProgress_;
}

void TftpClient::StartTftpTransfer(const QString& productCode, const QString& target) {
    inProgress_ = true;
    socket_.close();
    socket_.setRemoteHost(target);
    socket_.setRemotePort(serverPort_);
    TftpBlockNo = 0;
    finalBlockSent_ = false;
    shortDatagramLogged_ = false;
    socket_.open();
    report_.status(
        QStringLiteral("Status: Awaiting response from %1...").arg(socket_.remoteHost()));
    socket_.send(QByteArray(RebootRequest1));
    socket_.send(QByteArray(RebootRequest2));
    socket_.close();
    WaitMs(rebootPauseMs_);
    lastHeard_.start();
    tmrResponse_.start(watchdogMs_);
    socket_.open();
    socket_.send(Wrq(productCode));
}

void TftpClient::tftp_DataArrival(const QByteArray& datagram) {
    if (!inProgress_)
        return;
    // A single byte is the unit saying it is busy: still there, nothing to act on.
    if (datagram.size() == 1) {
        heardFromUnit();
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
    // Only what the transfer can use restarts the watchdog: empty, truncated or unknown
    // datagrams would otherwise hold it open for ever.
    if (opcode == OpAck)
        guard.step([&] { onAck(number, datagram.size() >= PayloadAt); });
    else if (opcode == OpError)
        guard.step([&] { onError(number, ErrorMessage(datagram)); });
}

void TftpClient::heardFromUnit() {
    lastHeard_.start();
}

void TftpClient::onAck(int block, bool wholeNumber) {
    // Only the acknowledgement of the block just sent moves the transfer on. A server repeats
    // its last ACK when its own timer fires; answering that would send data under a number the
    // server has already taken, and it would drop it. The repeat still shows the server is
    // there; a truncated one (its number made up) does not.
    if (block != TftpBlockNo) {
        if (wholeNumber && block == TftpBlockNo - 1)
            heardFromUnit();
        return;
    }
    heardFromUnit();
    if (finalBlockSent_) {
        finish(TftpOutcome::Finished, QStringLiteral("Status: Finished.  Ready."));
        return;
    }
    sendBlock(block + 1);
}

void TftpClient::sendBlock(int block) {
    const qsizetype from = qsizetype(block - 1) * BlockSize;
    const QByteArray chunk = image_.mid(from, BlockSize);
    TftpBlockNo = block;
    // A block shorter than 512 bytes, even an empty one, tells the server the file is whole.
    finalBlockSent_ = chunk.size() < BlockSize;
    report_.step(QStringLiteral("Status: Transmitting block #%1").arg(block));
    socket_.send(Data(block, chunk));
}

void TftpClient::onError(int code, const QString& message) {
    finish(TftpOutcome::Failed, code == 0 ? QStringLiteral("Status: ") + message
                                          : QStringLiteral("Status: [Error #%1: %2]  | %3")
                                                .arg(code)
                                                .arg(TftpErrorName(code), message));
}

void TftpClient::tmrResponse_Timer() {
    if (!inProgress_)
        return;
    const qint64 silentMs = lastHeard_.elapsed();
    if (silentMs < watchdogMs_) {
        tmrResponse_.start(int(watchdogMs_ - silentMs));
        return;
    }
    const long seconds = std::lround(watchdogMs_ / 1000.0);
    finish(TftpOutcome::TimedOut,
           QStringLiteral("Status: Timed out (%1 seconds).  Try 192.168.X.200?").arg(seconds));
}

void TftpClient::finish(TftpOutcome outcome, const QString& text) {
    outcome_ = outcome;
    report_.status(text);
    EndTftpTransfer();
}

void TftpClient::EndTftpTransfer() {
    inProgress_ = false;
    tmrResponse_.stop();
    socket_.close();
    report_.ended();
}

} // namespace quorvex
