#pragma once
// A network unit's loader as the tests need it: listens on 127.0.0.1 (or another loopback
// address, for units side by side) at a port of its own
// (the stand-in for port 69) and answers from a second port, as an RFC 1350 server answers
// from its transfer port. By default it serves the write like a server; a test may script
// any other answer, repeat its acknowledgements, or stay silent.
#include <QElapsedTimer>
#include <QHostAddress>
#include <QUdpSocket>
#include <functional>
#include <vector>

namespace quorvex::testing {

class SimulatedUnit {
  public:
    struct Arrival {
        QByteArray bytes;
        bool atTransferPort = false;
        QHostAddress from;
        quint16 fromPort = 0;
        qint64 atMs = 0; // since the unit was made
    };

    // `port`: where it listens; a free one when 0.
    explicit SimulatedUnit(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost),
                           quint16 port = 0);
    quint16 port() const { return listen_.localPort(); }
    quint16 transferPort() const { return transfer_.localPort(); }

    // Sends to the client (the source address and port of the last arrival).
    void answer(const QByteArray& datagram, bool fromTransferPort = true);
    // After `ms`, while events run.
    void answerLater(int ms, const QByteArray& datagram, bool fromTransferPort = true);

    // Arrivals whose first two bytes are `opcode`.
    std::vector<Arrival> withOpcode(int opcode) const;
    qint64 elapsedMs() const { return clock_.elapsed(); }

    std::vector<Arrival> arrivals;
    // What the unit does with each arrival; by default serve() below.
    std::function<void(const Arrival&)> onArrival;

    // Server behaviour: ACK 0 for the write request, ACK n for DATA n (block n appended to
    // `file` once), every ACK sent `ackCopies` times; complete once a short block is stored.
    void serve(const Arrival& a);
    int ackCopies = 1;
    QByteArray file;
    bool complete = false;
    // Stays silent instead of acknowledging this block (0: never).
    int silentAfterBlock = 0;
    // Answers each arrival this many milliseconds late (0: at once), as a unit at the far end
    // of a network or busy writing its flash would.
    int answerDelayMs = 0;

  private:
    void readFrom(QUdpSocket& s, bool transfer);

    QUdpSocket listen_;
    QUdpSocket transfer_;
    QElapsedTimer clock_;
    QHostAddress clientAddress_;
    quint16 clientPort_ = 0;
    int lastStored_ = 0;
};

} // namespace quorvex::testing
