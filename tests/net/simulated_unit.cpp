#include "simulated_unit.h"

#include "net/tftp_packets.h"

#include <QNetworkDatagram>
#include <QTimer>

namespace quorvex::testing {

using namespace quorvex::tftp;

SimulatedUnit::SimulatedUnit(const QHostAddress& address, quint16 port) : clientAddress_(address) {
    clock_.start();
    listen_.bind(address, port);
    transfer_.bind(address, 0);
    QObject::connect(&listen_, &QUdpSocket::readyRead, &listen_,
                     [this] { readFrom(listen_, false); });
    QObject::connect(&transfer_, &QUdpSocket::readyRead, &transfer_,
                     [this] { readFrom(transfer_, true); });
    onArrival = [this](const Arrival& a) { serve(a); };
}

void SimulatedUnit::readFrom(QUdpSocket& s, bool transfer) {
    while (s.hasPendingDatagrams()) {
        const QNetworkDatagram d = s.receiveDatagram();
        if (!d.isValid())
            return;
        Arrival a{d.data(), transfer, d.senderAddress(), quint16(d.senderPort()), clock_.elapsed()};
        clientAddress_ = a.from;
        clientPort_ = a.fromPort;
        arrivals.push_back(a);
        if (onArrival)
            onArrival(a);
    }
}

void SimulatedUnit::answer(const QByteArray& datagram, bool fromTransferPort) {
    QUdpSocket& s = fromTransferPort ? transfer_ : listen_;
    s.writeDatagram(datagram, clientAddress_, clientPort_);
}

void SimulatedUnit::answerLater(int ms, const QByteArray& datagram, bool fromTransferPort) {
    QTimer::singleShot(ms, &listen_,
                       [this, datagram, fromTransferPort] { answer(datagram, fromTransferPort); });
}

std::vector<SimulatedUnit::Arrival> SimulatedUnit::withOpcode(int opcode) const {
    std::vector<Arrival> out;
    for (const Arrival& a : arrivals)
        if (a.bytes.size() >= 2 && a.bytes.at(0) == 0 && a.bytes.at(1) == char(opcode))
            out.push_back(a);
    return out;
}

void SimulatedUnit::serve(const Arrival& a) {
    if (a.bytes.size() < 4 || a.bytes.at(0) != 0)
        return; // the reboot requests are not TFTP
    int block = -1;
    if (a.bytes.at(1) == char(OpWrq)) {
        block = 0;
    } else if (a.bytes.at(1) == char(OpData)) {
        block = Field(a.bytes, NumberAt);
        if (block == lastStored_ + 1) {
            const QByteArray chunk = a.bytes.mid(PayloadAt);
            file += chunk;
            lastStored_ = block;
            complete = chunk.size() < BlockSize;
        }
    }
    if (block < 0 || (silentAfterBlock != 0 && block == silentAfterBlock))
        return;
    for (int i = 0; i < ackCopies; ++i) {
        if (answerDelayMs > 0)
            answerLater(answerDelayMs, Ack(block));
        else
            answer(Ack(block));
    }
}

} // namespace quorvex::testing
