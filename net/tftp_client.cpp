#include "net/tftp_client.h"

#include "base/paced_wait.h"
#include "base/catalogue.h"

#include <QLocale>
#include <cmath>

namespace quorvex {

using namespace tftp;

TftpClient::TftpClient(Session& s, int serverPort, int rebootPauseMs)
    : s_(s), serverPort_(serverPort), rebootPauseMs_(rebootPauseMs) {
    s_.tftp.setArrivalHandler([this](const QByteArray& d) { tftp_DataArrival(d); });
    QObject::connect(&s_.tmrResponse, &QTimer::timeout, &s_.tmrResponse,
                     [this] { tmrResponse_Timer(); });
}

bool TftpClient::BeginUpload() {
    try {
        StartTftpTransfer();
    } catch (const FailureError& e) {
        s_.window.setStatus(WinsockErrorText(e.failure().number));
        s_.tftp.close();
        EndTftpTransfer();
        return false;
    }
    return inProgress_;
}

void TftpClient::StartTftpTransfer() {
    const QByteArray& image = s_.firmware.ProgramImage;
    if (image.size() > MaxImageSize) {
        // Its last blocks would need numbers that the two-byte field cannot hold.
        s_.window.setStatus(
            QStringLiteral("Status: Image too large for TFTP (%1 bytes; at most %2).")
                .arg(image.size())
                .arg(MaxImageSize));
        EndTftpTransfer();
        return;
    }

    inProgress_ = true;
    s_.tftp.close();
    s_.tftp.setRemoteHost(s_.window.targetAddress());
    s_.tftp.setRemotePort(serverPort_);
    TftpOffset = 0;
    TftpBlockNo = 0;
    finalBlockSent_ = false;
    shortDatagramLogged_ = false;
    s_.tftp.open();
    s_.window.setStatus(
        QStringLiteral("Status: Awaiting response from %1...").arg(s_.tftp.remoteHost()));
    s_.tftp.send(QByteArray(RebootRequest1));
    s_.tftp.send(QByteArray(RebootRequest2));
    s_.tftp.close();
    WaitMs(rebootPauseMs_);
    s_.tmrResponse.start();
    s_.tftp.open();
    s_.tftp.send(Wrq(s_.firmware.Header.trimmedCode()));
}

void TftpClient::tftp_DataArrival(const QByteArray& datagram) {
    if (!inProgress_)
        return; // the watchdog is the serial reader's again; nothing here is for it
    // A single byte is the unit saying it is busy: still there, nothing to act on.
    if (datagram.size() == 1) {
        restartWatchdog();
        return;
    }

    Guard guard(s_.log, Place::Form(QStringLiteral("tftp_DataArrival")));
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

void TftpClient::restartWatchdog() {
    s_.tmrResponse.stop();
    s_.tmrResponse.start();
}

void TftpClient::onAck(int block, bool wholeNumber) {
    // Only the acknowledgement of the block just sent moves the transfer on. A server repeats
    // its last ACK when its own timer fires; answering that would send data under a number the
    // server has already taken, and it would drop it. The repeat still shows the server is
    // there; a truncated one (its number made up) does not.
    if (block != TftpBlockNo) {
        if (wholeNumber && block == TftpBlockNo - 1)
            restartWatchdog();
        return;
    }
    restartWatchdog();
    if (finalBlockSent_) {
        s_.window.setStatus(QStringLiteral("Status: Finished.  Ready."));
        EndTftpTransfer();
        return;
    }
    sendBlock(block + 1);
}

void TftpClient::sendBlock(int block) {
    const QByteArray& image = s_.firmware.ProgramImage;
    const qsizetype from = qsizetype(block - 1) * BlockSize;
    const QByteArray chunk = image.mid(from, BlockSize);
    TftpBlockNo = block;
    TftpOffset = std::int32_t(from + chunk.size());
    // A block shorter than 512 bytes, even an empty one, tells the server the file is whole.
    finalBlockSent_ = chunk.size() < BlockSize;
    s_.window.setProgressStatus(QStringLiteral("Status: Transmitting block #%1").arg(block));
    s_.tftp.send(Data(block, chunk));
}

void TftpClient::onError(int code, const QString& message) {
    if (code == 0)
        s_.window.setStatus(QStringLiteral("Status: ") + message);
    else
        s_.window.setStatus(QStringLiteral("Status: [Error #%1: %2]  | %3")
                                .arg(code)
                                .arg(TftpErrorName(code), message));
    EndTftpTransfer();
}

void TftpClient::tmrResponse_Timer() {
    s_.tmrResponse.stop();
    if (!IsNetworkUnit(s_.firmware))
        return; // the serial reader waits for the timer to stop; nothing more to do here
    EndTftpTransfer();
    const long seconds = std::lround(s_.tmrResponse.interval() / 1000.0);
    s_.window.setStatus(
        QStringLiteral("Status: Timed out (%1 seconds).  Try 192.168.X.200?").arg(seconds));
}

void TftpClient::EndTftpTransfer() {
    inProgress_ = false;
    s_.tmrResponse.stop();
    s_.tftp.close();
    s_.window.setUpdateVisible(true);
    s_.window.EnableControls(true);
}

} // namespace quorvex
