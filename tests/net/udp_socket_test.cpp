#include "base/catalogue.h"
#include "net/host_resolver.h"
#include "net/socket_errors.h"
#include "net/system_udp_socket.h"
#include "net_rig.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <cerrno>
#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

// A loopback peer with two ports: requests come in at `first`, answers leave from `second`.
struct TwoPortPeer {
    TwoPortPeer(const QHostAddress& at = QHostAddress::LocalHost) {
        first.bind(at, 0);
        second.bind(at, 0);
    }
    QUdpSocket first;
    QUdpSocket second;

    static QNetworkDatagram next(QUdpSocket& s) {
        if (!WaitUntil([&] { return s.hasPendingDatagrams(); }, 2000))
            return {};
        return s.receiveDatagram();
    }
};

QByteArray EveryByteValue() {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    return all;
}

// A socket aimed at a loopback peer's first port.
class SystemUdpSocketAimed : public ::testing::Test {
  protected:
    void aimAndOpen() {
        socket.setRemoteHost(QStringLiteral("127.0.0.1"));
        socket.setRemotePort(peer.first.localPort());
        socket.open();
    }
    fakes::TableResolver resolver;
    SystemUdpSocket socket{resolver};
    TwoPortPeer peer;
};

} // namespace

TEST_F(SystemUdpSocketAimed, SendsFollowThePeerThatAnsweredFromASecondPort) {
    aimAndOpen();

    socket.send("request");
    const QNetworkDatagram request = TwoPortPeer::next(peer.first);
    ASSERT_EQ(request.data(), QByteArray("request"));
    EXPECT_EQ(request.senderPort(), socket.localPort());

    peer.second.writeDatagram("answer", QHostAddress::LocalHost, quint16(request.senderPort()));
    EXPECT_EQ(socket.receive(2000), QByteArray("answer"));

    socket.send("follow-up");
    const QNetworkDatagram followUp = TwoPortPeer::next(peer.second);
    EXPECT_EQ(followUp.data(), QByteArray("follow-up"));
    RunEventsFor(50);
    EXPECT_FALSE(peer.first.hasPendingDatagrams()) << "the follow-up went to the first port";
}

TEST_F(SystemUdpSocketAimed, DeliversEachDatagramWholeAndByteForByte) {
    aimAndOpen();
    socket.send(EveryByteValue());
    const QNetworkDatagram request = TwoPortPeer::next(peer.first);
    EXPECT_EQ(request.data(), EveryByteValue());

    const QList<QByteArray> sent{QByteArray(1, '\0'), EveryByteValue(), QByteArray(1400, '\xff')};
    for (const QByteArray& d : sent)
        peer.first.writeDatagram(d, QHostAddress::LocalHost, quint16(request.senderPort()));
    QList<QByteArray> got;
    while (const auto d = socket.receive(500))
        got << *d;
    EXPECT_EQ(got, sent);
}

TEST_F(SystemUdpSocketAimed, IgnoresDatagramsFromAnyOtherAddress) {
    TwoPortPeer stranger(QHostAddress(QStringLiteral("127.0.0.2")));
    ASSERT_NE(stranger.first.localPort(), 0) << "cannot bind 127.0.0.2";
    aimAndOpen();
    socket.send("hello");
    ASSERT_TRUE(TwoPortPeer::next(peer.first).isValid());

    stranger.first.writeDatagram("divert", QHostAddress::LocalHost, socket.localPort());
    peer.second.writeDatagram("genuine", QHostAddress::LocalHost, socket.localPort());
    EXPECT_EQ(socket.receive(2000), QByteArray("genuine"));
    EXPECT_EQ(socket.receive(100), std::nullopt);

    socket.send("to the unit");
    EXPECT_EQ(TwoPortPeer::next(peer.second).data(), QByteArray("to the unit"));
    EXPECT_FALSE(stranger.first.hasPendingDatagrams());
}

TEST_F(SystemUdpSocketAimed, CloseIsSafeWhenClosedAndLaterDatagramsAreLost) {
    socket.close();
    EXPECT_FALSE(socket.isOpen());

    aimAndOpen();
    EXPECT_TRUE(socket.isOpen());
    socket.send("x");
    const QNetworkDatagram request = TwoPortPeer::next(peer.first);
    socket.close();
    socket.close();
    EXPECT_FALSE(socket.isOpen());
    peer.first.writeDatagram("late", QHostAddress::LocalHost, quint16(request.senderPort()));
    EXPECT_EQ(socket.receive(100), std::nullopt);
    try {
        socket.send("closed");
        ADD_FAILURE() << "a send on a closed socket went through";
    } catch (const FailureError& e) {
        EXPECT_EQ(e.failure().number, WsaNotConnected);
    }
}

TEST_F(SystemUdpSocketAimed, ReopeningSendsToTheRemotePortAgain) {
    aimAndOpen();
    socket.send("one");
    const QNetworkDatagram request = TwoPortPeer::next(peer.first);
    peer.second.writeDatagram("moved", QHostAddress::LocalHost, quint16(request.senderPort()));
    ASSERT_EQ(socket.receive(2000), QByteArray("moved"));

    socket.close();
    socket.open();
    socket.send("two");
    EXPECT_EQ(TwoPortPeer::next(peer.first).data(), QByteArray("two"));
}

TEST(SystemUdpSocket, AnUnresolvableNameFailsWith11001WhenSendingNotWhenOpening) {
    fakes::TableResolver resolver;
    resolver.names.insert(QStringLiteral("unit.bench"), QStringLiteral("127.0.0.1"));
    SystemUdpSocket socket(resolver);
    socket.setRemoteHost(QStringLiteral("no-such-unit.bench"));
    socket.setRemotePort(9);
    ASSERT_NO_THROW(socket.open());
    EXPECT_EQ(socket.remoteHost(), QStringLiteral("no-such-unit.bench"));
    try {
        socket.send("x");
        ADD_FAILURE() << "sent to a name that does not resolve";
    } catch (const FailureError& e) {
        EXPECT_EQ(e.failure().number, 11001);
        EXPECT_EQ(WinsockErrorText(e.failure().number),
                  QStringLiteral("Authoritative answer host not found."));
    }

    TwoPortPeer peer;
    socket.setRemoteHost(QStringLiteral("unit.bench"));
    socket.setRemotePort(peer.first.localPort());
    socket.send("named");
    EXPECT_EQ(TwoPortPeer::next(peer.first).data(), QByteArray("named"));
}

TEST(SystemUdpSocket, AnIPv6TargetIsRefusedBeforeAnythingIsSent) {
    // Listens where the datagram would go, when the machine has IPv6 loopback at all.
    QUdpSocket listener;
    const bool listening = listener.bind(QHostAddress::LocalHostIPv6, 0);
    SystemHostResolver resolver;
    SystemUdpSocket socket(resolver);
    socket.setRemoteHost(QStringLiteral("::1"));
    socket.setRemotePort(listening ? listener.localPort() : 9);
    socket.open();
    try {
        socket.send("x");
        ADD_FAILURE() << "sent to an IPv6 address";
    } catch (const FailureError& e) {
        EXPECT_EQ(WinsockErrorText(e.failure().number), QStringLiteral("IPv4 addresses only."));
    }
    if (listening) {
        RunEventsFor(50);
        EXPECT_FALSE(listener.hasPendingDatagrams());
    }
}

// Checked on the decision alone: a test that reached the send would put a datagram on the
// network if the refusal ever broke.
TEST(SystemUdpSocket, TakesBroadcastAndMulticastAddressesForManyHosts) {
    EXPECT_TRUE(SystemUdpSocket::ReachesManyHosts(QHostAddress(QStringLiteral("255.255.255.255"))));
    EXPECT_TRUE(SystemUdpSocket::ReachesManyHosts(QHostAddress(QStringLiteral("239.1.2.3"))));
    EXPECT_TRUE(SystemUdpSocket::ReachesManyHosts(QHostAddress(QStringLiteral("224.0.0.1"))));
    EXPECT_FALSE(SystemUdpSocket::ReachesManyHosts(QHostAddress(QStringLiteral("127.0.0.1"))));
    EXPECT_FALSE(SystemUdpSocket::ReachesManyHosts(QHostAddress(QStringLiteral("127.0.0.2"))));
}

TEST(SystemHostResolver, TakesLiteralAddressesAsTheyAreAndAnEmptyNameAsNotFound) {
    SystemHostResolver resolver;
    EXPECT_EQ(resolver.resolve(QStringLiteral("127.0.0.1")), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(resolver.resolve(QStringLiteral(" 127.0.0.2 ")), QStringLiteral("127.0.0.2"));
    try {
        resolver.resolve(QString());
        ADD_FAILURE() << "an empty name resolved";
    } catch (const FailureError& e) {
        EXPECT_EQ(e.failure().number, 11001);
    }
}

// The receive is what a transfer's thread sleeps in: it must come back when nothing arrives,
// so that the watchdog and a request to stop are looked at.
TEST_F(SystemUdpSocketAimed, AReceiveWithNothingComingReturnsNothingAfterItsWait) {
    aimAndOpen();
    socket.send("anyone?");
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(socket.receive(300), std::nullopt);
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_LT(clock.elapsed(), 3000);
}

#ifndef Q_OS_WIN
struct ErrorRow {
    int platform;
    int winsock;
    const char* text;
};

class SocketErrorNumbers : public ::testing::TestWithParam<ErrorRow> {};

TEST_P(SocketErrorNumbers, PlatformErrorsBecomeWindowsSocketsNumbersAndTheirTexts) {
    const ErrorRow row = GetParam();
    EXPECT_EQ(DatagramSocket::WinsockNumberOf(row.platform), row.winsock);
    EXPECT_EQ(WinsockErrorText(DatagramSocket::WinsockNumberOf(row.platform)),
              QString::fromLatin1(row.text));
}

INSTANTIATE_TEST_SUITE_P(Table, SocketErrorNumbers,
                         ::testing::Values(ErrorRow{EACCES, 10013, "Permission denied."},
                                           ErrorRow{ENETDOWN, 10050,
                                                    "The network subsystem has failed."},
                                           ErrorRow{EAFNOSUPPORT, 10047, "IPv4 addresses only."},
                                           ErrorRow{ENETUNREACH, 10051, "Unknown error."},
                                           ErrorRow{EIO, 10000, "Unknown error."}));
#endif
