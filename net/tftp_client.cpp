#include "net/tftp_client.h"

#include "net/socket_errors.h"

#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <thread>

namespace quorvex {

using namespace tftp;

TftpClient::TftpClient(UdpSocket& socket, ErrorSink& log, TftpReport& report, int serverPort,
                       int rebootPauseMs)
    : socket_(socket), log_(log), report_(report), serverPort_(serverPort),
      rebootPauseMs_(rebootPauseMs) {}

TftpOutcome TftpClient::Upload(const QByteArray& image, const QString& productCode,
                               const QString& target, const StopRequest* stop) {
    const auto refuse = [this](const QString& text) {
        socket_.close();
        report_.status(text);
        return TftpOutcome::Failed;
    };
    if (image.size() > MaxImageSize) {
        // Its last blocks would need numbers that the two-byte field cannot hold.
        return refuse(QStringLiteral("Status: Image too large for TFTP (%1 bytes; at most %2).")
                          .arg(image.size())
                          .arg(MaxImageSize));
    }
    try {
        SendRebootRequests(target);
    } catch (const FailureError& e) {
        return refuse(WinsockErrorText(e.failure().number));
    }
    TftpTransfer transfer(socket_, log_, report_, image, watchdogMs_, stallMs_);
    if (!PauseUnlessStopped(stop))
        return TftpOutcome::Interrupted;
    RunTransfer(transfer, productCode, stop);
    socket_.close();
    return transfer.outcome();
}

void TftpClient::SendRebootRequests(const QString& target) {
    socket_.close();
    socket_.setRemoteHost(target);
    socket_.setRemotePort(serverPort_);
    socket_.open();
    report_.status(
        QStringLiteral("Status: Awaiting response from %1...").arg(socket_.remoteHost()));
    socket_.send(QByteArray(RebootRequest1));
    socket_.send(QByteArray(RebootRequest2));
    socket_.close();
}

bool TftpClient::PauseUnlessStopped(const StopRequest* stop) const {
    QElapsedTimer paused;
    paused.start();
    for (qint64 left = rebootPauseMs_; left > 0; left = rebootPauseMs_ - paused.elapsed()) {
        if (StopAsked(stop))
            return false;
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min<qint64>(left, ReceiveSliceMs)));
    }
    return !StopAsked(stop);
}

void TftpClient::RunTransfer(TftpTransfer& transfer, const QString& productCode,
                             const StopRequest* stop) {
    try {
        socket_.open();
        transfer.SendWriteRequest(productCode);
    } catch (const FailureError& e) {
        transfer.finish(TftpOutcome::Failed, WinsockErrorText(e.failure().number));
        return;
    }
    Guard guard(log_, Place::Form(QStringLiteral("tftp_DataArrival")));
    while (transfer.inProgress()) {
        if (StopAsked(stop)) {
            transfer.finish(TftpOutcome::Interrupted, QString());
            return;
        }
        std::optional<QByteArray> datagram;
        int failed = 0;
        const bool received = guard.step([&] { datagram = socket_.receive(ReceiveSliceMs); },
                                         [&failed](const Failure& f) {
                                             failed = f.number;
                                             return false;
                                         });
        if (!received) {
            transfer.finish(TftpOutcome::Failed, WinsockErrorText(failed));
            return;
        }
        if (datagram)
            transfer.TakeDatagram(*datagram);
        transfer.CheckSilence();
    }
}

} // namespace quorvex
