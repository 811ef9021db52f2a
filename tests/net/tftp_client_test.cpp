// The TFTP client against a simulated unit on loopback: the exchanges a standard server does
// not show (repeated acknowledgements, error packets, silence, strangers).
#include "net_rig.h"
#include "simulated_unit.h"
#include "support/fake_devices.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace quorvex;
using namespace quorvex::testing;
using namespace quorvex::tftp;

namespace {

constexpr int ShortWatchdogMs = 1000;
constexpr int Bound = 5000;

QByteArray Image(int size) {
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = char((i * 7 + i / 256) & 0xFF);
    return image;
}

// Every DATA packet that reached the unit, in order, as (block, bytes).
std::vector<std::pair<int, QByteArray>> DataSent(const SimulatedUnit& unit) {
    std::vector<std::pair<int, QByteArray>> out;
    for (const auto& a : unit.withOpcode(OpData))
        out.emplace_back(Field(a.bytes, NumberAt), a.bytes.mid(PayloadAt));
    return out;
}

// The upload has returned and let go of its socket, so whoever started it takes its controls
// back.
void ExpectEnded(const ClientRig& rig) {
    EXPECT_TRUE(rig.ended);
    EXPECT_FALSE(rig.socket.isOpen());
}

} // namespace

TEST(TftpClient, SendsTheRebootRequestsThenTheWriteRequestAPauseLater) {
    SimulatedUnit unit;
    ClientRig rig(Image(1000), unit.port(), ShortWatchdogMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));

    ASSERT_GE(unit.arrivals.size(), 3u);
    EXPECT_EQ(unit.arrivals[0].bytes, QByteArray("remotebootl"));
    EXPECT_EQ(unit.arrivals[1].bytes, QByteArray("remotereboot"));
    EXPECT_EQ(unit.arrivals[2].bytes, QByteArray::fromHex("00024e595832006f6374657400"));
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(unit.arrivals[i].atTransferPort)
            << "datagram " << i << " missed the server port";
    EXPECT_GE(unit.arrivals[2].atMs - unit.arrivals[1].atMs, 95);
    EXPECT_EQ(unit.withOpcode(OpWrq).size(), 1u);
}

TEST(TftpClient, AGoodTransferShowsEachBlockThenFinishedAndTellsTheEnd) {
    SimulatedUnit unit;
    ClientRig rig(Image(1000), unit.port(), ShortWatchdogMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));

    EXPECT_EQ(
        rig.report.texts,
        QStringList({"Status: Awaiting response from 127.0.0.1...", "Status: Transmitting block #1",
                     "Status: Transmitting block #2", "Status: Finished.  Ready."}));
    const auto data = DataSent(unit);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(data[0], std::make_pair(1, Image(1000).left(512)));
    EXPECT_EQ(data[1], std::make_pair(2, Image(1000).mid(512)));
    for (const auto& a : unit.withOpcode(OpData))
        EXPECT_TRUE(a.atTransferPort) << "DATA did not follow the unit's transfer port";
    ExpectEnded(rig);
    EXPECT_TRUE(rig.log.records.isEmpty()) << rig.log.records.join('\n').toStdString();
}

TEST(TftpClient, RepeatedAcknowledgementsNeitherSkipNorRepeatData) {
    SimulatedUnit unit;
    unit.ackCopies = 2;
    const QByteArray image = Image(3000);
    ClientRig rig(image, unit.port(), ShortWatchdogMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));

    EXPECT_EQ(rig.report.last(), QStringLiteral("Status: Finished.  Ready."));
    const auto data = DataSent(unit);
    ASSERT_EQ(data.size(), 6u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(data[i], std::make_pair(i + 1, image.mid(i * 512, 512)));
    EXPECT_TRUE(unit.complete);
    EXPECT_EQ(unit.file, image);
}

TEST(TftpClient, AStaleAcknowledgementIsIgnoredButRestartsTheWatchdog) {
    SimulatedUnit unit;
    unit.onArrival = [&](const SimulatedUnit::Arrival& a) {
        if (a.bytes == Wrq(QStringLiteral("NYX2")))
            unit.answer(Ack(0));
        else if (a.bytes.startsWith(QByteArray::fromHex("00030001")))
            unit.answerLater(700, Ack(0)); // the server's timer fired: its last ACK again
    };
    ClientRig rig(Image(2000), unit.port(), ShortWatchdogMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));

    EXPECT_EQ(DataSent(unit).size(), 1u);
    const qint64 dataAt = unit.withOpcode(OpData).front().atMs;
    EXPECT_GE(unit.elapsedMs() - dataAt, ShortWatchdogMs + 300); // no restart: about 1000
    EXPECT_EQ(rig.report.last(),
              QStringLiteral("Status: Timed out (1 seconds).  Try 192.168.X.200?"));
    ExpectEnded(rig);
}

// A file of whole blocks ends with the empty block a standard server needs to close it. A unit
// built for this loader already has the file and may never answer that block: its silence
// ends the upload as finished, long before the watchdog. An error packet is still an error.
TEST(TftpClient, AnImageOfWholeBlocksEndsWithAnEmptyBlockThatNeedNotBeAnswered) {
    const QByteArray image = Image(1024);
    constexpr int WatchdogMs = 3000;
    {
        SimulatedUnit unit;
        ClientRig rig(image, unit.port(), WatchdogMs);
        ASSERT_TRUE(rig.uploadAndWait(Bound));
        const auto data = DataSent(unit);
        ASSERT_EQ(data.size(), 3u);
        EXPECT_EQ(data[2], std::make_pair(3, QByteArray()));
        EXPECT_EQ(rig.report.last(), QStringLiteral("Status: Finished.  Ready."));
        EXPECT_EQ(unit.file, image);
    }
    {
        SimulatedUnit unit;
        unit.silentAfterBlock = 3;
        ClientRig rig(image, unit.port(), WatchdogMs);
        ASSERT_TRUE(rig.uploadAndWait(Bound));
        const qint64 endedAt = unit.elapsedMs();
        ASSERT_EQ(DataSent(unit).size(), 3u);
        // The empty block leaves as the acknowledgement of the last full one comes in.
        EXPECT_LT(endedAt - unit.withOpcode(OpData).back().atMs, 2000);
        EXPECT_EQ(rig.report.last(), QStringLiteral("Status: Finished.  Ready."));
        EXPECT_EQ(rig.outcome, TftpOutcome::Finished);
        ExpectEnded(rig);
    }
    {
        SimulatedUnit unit;
        unit.onArrival = [&](const SimulatedUnit::Arrival& a) {
            if (a.bytes == Data(3, {}))
                unit.answer(Error(3, "Flash full"));
            else
                unit.serve(a);
        };
        ClientRig rig(image, unit.port(), WatchdogMs);
        ASSERT_TRUE(rig.uploadAndWait(Bound));
        EXPECT_EQ(rig.report.last(),
                  QStringLiteral("Status: [Error #3: Disk full or allocation exceeded]  | Flash "
                                 "full"));
        EXPECT_EQ(rig.outcome, TftpOutcome::Rejected);
    }
}

TEST(TftpClient, AnEmptyImageIsOneEmptyBlock) {
    SimulatedUnit unit;
    ClientRig rig(QByteArray(), unit.port(), ShortWatchdogMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));
    const auto data = DataSent(unit);
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data[0], std::make_pair(1, QByteArray()));
    EXPECT_EQ(rig.report.last(), QStringLiteral("Status: Finished.  Ready."));
}

struct ErrorCase {
    int code;
    const char* message;
    const char* status;
};

class TftpClientErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(TftpClientErrors, AnErrorPacketIsShownAndEndsTheTransfer) {
    const ErrorCase c = GetParam();
    SimulatedUnit unit;
    unit.onArrival = [&](const SimulatedUnit::Arrival& a) {
        if (a.bytes.startsWith(QByteArray::fromHex("0002")))
            unit.answer(Error(c.code, c.message));
    };
    ClientRig rig(Image(1000), unit.port(), ShortWatchdogMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));
    EXPECT_EQ(rig.report.last(), QString::fromLatin1(c.status));
    EXPECT_TRUE(DataSent(unit).empty());
    ExpectEnded(rig);
    EXPECT_TRUE(rig.log.records.isEmpty()) << rig.log.records.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Codes, TftpClientErrors,
    ::testing::Values(
        ErrorCase{0, "Unit busy", "Status: Unit busy"},
        ErrorCase{1, "No such file", "Status: [Error #1: File not found]  | No such file"},
        ErrorCase{3, "", "Status: [Error #3: Disk full or allocation exceeded]  | "},
        ErrorCase{9, "Flash locked", "Status: [Error #9: Unknown error]  | Flash locked"}));

TEST(TftpClient, AnErrorMidTransferEndsIt) {
    SimulatedUnit unit;
    unit.onArrival = [&](const SimulatedUnit::Arrival& a) {
        if (a.bytes.startsWith(QByteArray::fromHex("0002")))
            unit.answer(Ack(0));
        else if (a.bytes.startsWith(QByteArray::fromHex("00030001")))
            unit.answer(Error(2, "Read-only"));
    };
    ClientRig rig(Image(2000), unit.port(), ShortWatchdogMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));
    EXPECT_EQ(rig.report.last(),
              QStringLiteral("Status: [Error #2: Access violation]  | Read-only"));
    EXPECT_EQ(DataSent(unit).size(), 1u);
    ExpectEnded(rig);
}

TEST(TftpClient, SilenceTimesOutAfterTheWatchdogInterval) {
    SimulatedUnit unit;
    unit.onArrival = nullptr;
    ClientRig rig(Image(1000), unit.port(), ShortWatchdogMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));
    // The watchdog starts just before the write request leaves, and Qt's default (coarse)
    // timers may fire up to 5% early; a quarter of the interval leaves room for a slow build.
    EXPECT_GE(unit.elapsedMs() - unit.withOpcode(OpWrq).front().atMs, ShortWatchdogMs * 3 / 4);
    EXPECT_EQ(rig.report.last(),
              QStringLiteral("Status: Timed out (1 seconds).  Try 192.168.X.200?"));
    EXPECT_EQ(unit.withOpcode(OpWrq).size(), 1u) << "the write request is never resent";
    ExpectEnded(rig);
}

TEST(TftpClient, SilenceTimesOutAfterSevenSecondsWithTheRealInterval) {
    SimulatedUnit unit;
    unit.onArrival = nullptr;
    ClientRig rig(Image(1000), unit.port(), 7000);
    ASSERT_TRUE(rig.uploadAndWait(9000));
    // Qt's default (coarse) timers may fire up to 5% early.
    const qint64 silentFor = unit.elapsedMs() - unit.withOpcode(OpWrq).front().atMs;
    EXPECT_GE(silentFor, 6650);
    EXPECT_LT(silentFor, 8000);
    EXPECT_EQ(rig.report.last(),
              QStringLiteral("Status: Timed out (7 seconds).  Try 192.168.X.200?"));
    ExpectEnded(rig);
}

TEST(TftpClient, AOneByteDatagramIsIgnoredButRestartsTheWatchdog) {
    SimulatedUnit unit;
    unit.onArrival = [&](const SimulatedUnit::Arrival& a) {
        if (a.bytes.startsWith(QByteArray::fromHex("0002")))
            unit.answerLater(700, QByteArray(1, '\x04'));
    };
    ClientRig rig(Image(1000), unit.port(), ShortWatchdogMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));
    const qint64 wrqAt = unit.withOpcode(OpWrq).front().atMs;
    EXPECT_GE(unit.elapsedMs() - wrqAt, ShortWatchdogMs + 300); // no restart: about 1000
    EXPECT_TRUE(DataSent(unit).empty());
    EXPECT_TRUE(rig.log.records.isEmpty());
    EXPECT_EQ(rig.report.last(),
              QStringLiteral("Status: Timed out (1 seconds).  Try 192.168.X.200?"));
}

TEST(TftpClient, ATruncatedAcknowledgementIsLoggedAndCountsAsBlockZero) {
    SimulatedUnit unit;
    unit.onArrival = [&](const SimulatedUnit::Arrival& a) {
        if (a.bytes.startsWith(QByteArray::fromHex("0002")))
            unit.answer(QByteArray::fromHex("000400"));
        else if (a.bytes.startsWith(QByteArray::fromHex("0003")))
            unit.answer(Ack(Field(a.bytes, NumberAt)));
    };
    ClientRig rig(Image(600), unit.port(), ShortWatchdogMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));
    EXPECT_EQ(rig.report.last(), QStringLiteral("Status: Finished.  Ready."));
    ASSERT_EQ(rig.log.records.size(), 1);
    EXPECT_TRUE(rig.log.records[0].startsWith("Error 9 (Subscript out of range) in procedure "
                                              "tftp_DataArrival of Form frmFWUpdater on line "))
        << rig.log.records[0].toStdString();
}

// Datagrams the transfer cannot use (empty, truncated, of an unknown opcode) once restarted the
// watchdog, so that a stream of them held the upload open for ever, and wrote two alternating
// records each, which the log's repeat test never dropped.
TEST(TftpClient, AStreamOfUselessDatagramsEndsInTheTimeOutWithAtMostOneRecord) {
    const std::vector<QByteArray> useless{QByteArray(), QByteArray::fromHex("0004"),
                                          QByteArray::fromHex("000400"),
                                          QByteArray::fromHex("00090001")};
    constexpr int StreamMs = 4000;
    SimulatedUnit unit;
    unit.onArrival = [&](const SimulatedUnit::Arrival& a) {
        if (a.bytes == Wrq(QStringLiteral("NYX2")))
            unit.answer(Ack(0));
        else if (a.bytes.startsWith(QByteArray::fromHex("00030001")))
            for (int ms = 50; ms <= StreamMs; ms += 50)
                unit.answerLater(ms, useless[(ms / 50) % useless.size()]);
    };
    ClientRig rig(Image(2000), unit.port(), ShortWatchdogMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));

    ASSERT_EQ(DataSent(unit).size(), 1u);
    const qint64 dataAt = unit.withOpcode(OpData).front().atMs;
    EXPECT_LT(unit.elapsedMs() - dataAt, StreamMs - 1000) << "the stream held the transfer open";
    EXPECT_EQ(rig.report.last(),
              QStringLiteral("Status: Timed out (1 seconds).  Try 192.168.X.200?"));
    EXPECT_EQ(rig.log.records.size(), 1) << rig.log.records.join('\n').toStdString();
    ExpectEnded(rig);
}

TEST(TftpClient, DatagramsFromAnotherAddressCannotDivertOrEndTheTransfer) {
    QUdpSocket stranger;
    ASSERT_TRUE(stranger.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0))
        << "cannot bind 127.0.0.2";
    int strangerGot = 0;
    QObject::connect(&stranger, &QUdpSocket::readyRead, [&] {
        while (stranger.hasPendingDatagrams()) {
            stranger.receiveDatagram();
            ++strangerGot;
        }
    });
    SimulatedUnit unit;
    unit.onArrival = [&](const SimulatedUnit::Arrival& a) {
        if (a.bytes.startsWith(QByteArray::fromHex("0002"))) {
            // Someone else answers first, asking for the data and then calling it off.
            stranger.writeDatagram(Ack(0), QHostAddress::LocalHost, a.fromPort);
            stranger.writeDatagram(Error(1, "gone"), QHostAddress::LocalHost, a.fromPort);
            unit.answerLater(200, Ack(0));
            return;
        }
        unit.serve(a);
    };
    const QByteArray image = Image(1500);
    ClientRig rig(image, unit.port(), ShortWatchdogMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));
    RunEventsFor(50);
    EXPECT_EQ(strangerGot, 0);
    EXPECT_EQ(rig.report.last(), QStringLiteral("Status: Finished.  Ready."));
    EXPECT_EQ(unit.file, image);
    EXPECT_EQ(DataSent(unit).size(), 3u);
}

TEST(TftpClient, AnImageTooLargeForTwoByteBlockNumbersIsRefusedBeforeAnythingIsSent) {
    SimulatedUnit unit;
    ClientRig rig(QByteArray(MaxImageSize + 1, 'x'), unit.port(), ShortWatchdogMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));
    EXPECT_EQ(rig.outcome, TftpOutcome::Failed);
    RunEventsFor(200);
    EXPECT_TRUE(unit.arrivals.empty());
    EXPECT_EQ(
        rig.report.last(),
        QStringLiteral("Status: Image too large for TFTP (33553920 bytes; at most 33553919)."));
    ExpectEnded(rig);
}

TEST(TftpClient, AnUnresolvableAddressShowsTheSocketTextAndTellsTheEnd) {
    SimulatedUnit unit;
    ClientRig rig(Image(1000), unit.port(), ShortWatchdogMs);
    rig.target = QStringLiteral("unit-that-is-not.there");
    ASSERT_TRUE(rig.uploadAndWait(Bound));
    EXPECT_EQ(rig.outcome, TftpOutcome::Failed);
    EXPECT_EQ(rig.report.last(), QStringLiteral("Authoritative answer host not found."));
    EXPECT_EQ(rig.resolver.lookups, 1);
    ExpectEnded(rig);
    EXPECT_TRUE(rig.log.records.isEmpty());
    RunEventsFor(100);
    EXPECT_TRUE(unit.arrivals.empty());
}

TEST(TftpClient, ARefusedAddressShowsItsTextOrUnknownError) {
    const std::vector<std::pair<int, QString>> rows{{10013, "Permission denied."},
                                                    {10049, "Unknown error."}};
    for (const auto& [number, text] : rows) {
        fakes::FakeUdpSocket socket;
        socket.refuseWith = number;
        ClientRig rig(Image(1000), DefaultServerPort, ShortWatchdogMs, &socket);
        ASSERT_TRUE(rig.uploadAndWait(Bound));
        EXPECT_EQ(rig.outcome, TftpOutcome::Failed);
        EXPECT_EQ(rig.report.last(), text);
        EXPECT_FALSE(socket.isOpen());
        ExpectEnded(rig);
    }
}

// The whole upload is one call: the report hears the start, every block and the outcome on
// the thread that made it, in order.
TEST(TftpClient, TheReportHearsEverythingInOrderOnTheUploadsOwnThread) {
    SimulatedUnit unit;
    ClientRig rig(Image(3000), unit.port(), ShortWatchdogMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));
    QStringList expected{"Status: Awaiting response from 127.0.0.1..."};
    for (int block = 1; block <= 6; ++block)
        expected << QStringLiteral("Status: Transmitting block #%1").arg(block);
    expected << "Status: Finished.  Ready.";
    EXPECT_EQ(rig.report.texts, expected);
    EXPECT_EQ(rig.outcome, TftpOutcome::Finished);
    EXPECT_EQ(unit.file, Image(3000));
}

// Busy bytes show the unit is there and feed the watchdog; a unit that sends nothing else must
// still not hold the upload.
TEST(TftpClient, AUnitThatOnlySendsBusyBytesIsStoppedWhenNoBlockIsAcknowledgedInTheStallTime) {
    constexpr int StallMs = 2000;
    SimulatedUnit unit;
    unit.onArrival = [&](const SimulatedUnit::Arrival& a) {
        if (a.bytes == Wrq(QStringLiteral("NYX2")))
            unit.answer(Ack(0));
        else if (a.bytes.startsWith(QByteArray::fromHex("00030001")))
            for (int ms = 100; ms <= 3 * StallMs; ms += 100)
                unit.answerLater(ms, QByteArray(1, '\x01'));
    };
    ClientRig rig(Image(2000), unit.port(), ShortWatchdogMs);
    rig.client.setStallMs(StallMs);
    ASSERT_TRUE(rig.uploadAndWait(Bound));
    EXPECT_EQ(DataSent(unit).size(), 1u);
    EXPECT_EQ(rig.report.last(),
              QStringLiteral("Status: Stalled: no block acknowledged for 2 seconds."));
    EXPECT_EQ(rig.outcome, TftpOutcome::Stalled);
    ExpectEnded(rig);
}

// A stop asked for from another thread (the window going, a signal) ends the transfer within
// a receive's wait, with no text of its own, and nothing is sent afterwards; asked during the
// pause before the write request, not even that is sent.
TEST(TftpClient, AStopEndsATransferUnderWayPromptlyAndQuietly) {
    SimulatedUnit unit;
    unit.onArrival = nullptr;
    ClientRig rig(Image(1000), unit.port(), TftpClient::WatchdogMs);
    rig.begin();
    ASSERT_TRUE(WaitUntil([&] { return !unit.withOpcode(OpWrq).empty(); }, Bound));
    QElapsedTimer clock;
    clock.start();
    rig.stop.request();
    ASSERT_TRUE(rig.wait(Bound));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(rig.outcome, TftpOutcome::Interrupted);
    ExpectEnded(rig);
    EXPECT_EQ(rig.report.last(), QStringLiteral("Status: Awaiting response from 127.0.0.1..."));
    unit.answer(Ack(0));
    RunEventsFor(300);
    EXPECT_TRUE(DataSent(unit).empty());

    SimulatedUnit other;
    other.onArrival = nullptr;
    ClientRig early(Image(1000), other.port(), TftpClient::WatchdogMs);
    early.stop.request();
    ASSERT_TRUE(early.uploadAndWait(Bound));
    EXPECT_EQ(early.outcome, TftpOutcome::Interrupted);
    RunEventsFor(200);
    EXPECT_TRUE(other.withOpcode(OpWrq).empty());
}
