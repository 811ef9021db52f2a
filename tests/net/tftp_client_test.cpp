// The TFTP client against a simulated unit on loopback: the exchanges a standard server does
// not show (repeated acknowledgements, error packets, silence, strangers).
#include "net_rig.h"
#include "simulated_unit.h"
#include "support/fake_devices.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QThread>
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

// The end was told, so whoever started the upload takes its controls back.
void ExpectEndTold(const ClientRig& rig) {
    EXPECT_EQ(rig.report.ends, 1);
    EXPECT_FALSE(rig.socket.isOpen());
    EXPECT_FALSE(rig.client.watching());
    EXPECT_FALSE(rig.client.inProgress());
}

// Every call of the report in order, and how many came on another thread than the caller's.
// The client never calls it from two threads at once.
struct CallReport : TftpReport {
    void status(const QString& t) override { note(t); }
    void step(int, const QString& t) override { note(t); }
    void ended() override { note(QStringLiteral("ended")); }
    void note(const QString& t) {
        calls << t;
        offThread += QThread::currentThread() != QCoreApplication::instance()->thread();
    }
    QStringList calls;
    int offThread = 0;
};

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
    ExpectEndTold(rig);
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
    ExpectEndTold(rig);
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
        EXPECT_EQ(rig.client.outcome(), TftpOutcome::Finished);
        ExpectEndTold(rig);
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
        EXPECT_EQ(rig.client.outcome(), TftpOutcome::Rejected);
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
    ExpectEndTold(rig);
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
    ExpectEndTold(rig);
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
    ExpectEndTold(rig);
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
    ExpectEndTold(rig);
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
    ExpectEndTold(rig);
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
    EXPECT_FALSE(rig.begin());
    RunEventsFor(200);
    EXPECT_TRUE(unit.arrivals.empty());
    EXPECT_EQ(
        rig.report.last(),
        QStringLiteral("Status: Image too large for TFTP (33553920 bytes; at most 33553919)."));
    ExpectEndTold(rig);
}

TEST(TftpClient, AnUnresolvableAddressShowsTheSocketTextAndTellsTheEnd) {
    SimulatedUnit unit;
    ClientRig rig(Image(1000), unit.port(), ShortWatchdogMs);
    rig.target = QStringLiteral("unit-that-is-not.there");
    EXPECT_FALSE(rig.begin());
    EXPECT_EQ(rig.report.last(), QStringLiteral("Authoritative answer host not found."));
    EXPECT_EQ(rig.resolver.lookups, 1);
    ExpectEndTold(rig);
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
        ClientRig rig(Image(1000), 69, ShortWatchdogMs, &socket);
        EXPECT_FALSE(rig.begin());
        EXPECT_EQ(rig.report.last(), text);
        EXPECT_FALSE(socket.isOpen());
        ExpectEndTold(rig);
    }
}

// The transfer runs on a thread of its own. The report hears every block from that thread,
// however quickly they follow one another; the start, the outcome and the end, once, on the
// thread that made the client.
TEST(TftpClient, TheReportHearsEveryBlockFromTheTransfersThreadAndTheEndLastOnTheCallers) {
    CallReport report;
    SimulatedUnit unit;
    fakes::TableResolver resolver;
    SystemUdpSocket socket(resolver);
    fakes::RecordingLog log;
    TftpClient client(socket, log, report, unit.port());
    ASSERT_TRUE(client.BeginUpload(Image(3000), QStringLiteral("NYX2"), "127.0.0.1"));
    ASSERT_TRUE(WaitUntil([&] { return !client.inProgress(); }, Bound));

    EXPECT_EQ(report.offThread, 6) << "the steps, and nothing else";
    QStringList expected{"Status: Awaiting response from 127.0.0.1..."};
    for (int block = 1; block <= 6; ++block)
        expected << QStringLiteral("Status: Transmitting block #%1").arg(block);
    expected << "Status: Finished.  Ready."
             << "ended";
    EXPECT_EQ(report.calls, expected);
    EXPECT_EQ(report.calls.count("ended"), 1);
    EXPECT_EQ(client.outcome(), TftpOutcome::Finished);
    EXPECT_EQ(unit.file, Image(3000));
}

// A transfer that has ended on its own, its end still on the way to the caller's thread, keeps
// its outcome when the caller ends it from outside: told once, never lost.
TEST(TftpClient, EndingATransferThatHasAlreadyEndedKeepsItsOutcome) {
    SimulatedUnit unit;
    unit.silentAfterBlock = 2; // the last block is stored; its acknowledgement is sent below
    CallReport report;
    fakes::TableResolver resolver;
    SystemUdpSocket socket(resolver);
    fakes::RecordingLog log;
    TftpClient client(socket, log, report, unit.port(), 0);
    ASSERT_TRUE(client.BeginUpload(Image(700), QStringLiteral("NYX2"), "127.0.0.1"));
    ASSERT_TRUE(WaitUntil([&] { return unit.complete; }, Bound));
    // From here no events run on this thread: the transfer takes the acknowledgement and ends,
    // and its end waits here undelivered.
    unit.answer(Ack(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(client.inProgress());

    client.EndTftpTransfer();
    EXPECT_FALSE(client.inProgress());
    EXPECT_EQ(client.outcome(), TftpOutcome::Finished);
    RunEventsFor(200);
    EXPECT_EQ(report.calls.count(QStringLiteral("Status: Finished.  Ready.")), 1)
        << report.calls.join('\n').toStdString();
    EXPECT_EQ(report.calls.count(QStringLiteral("ended")), 1);
    EXPECT_EQ(report.calls.last(), QStringLiteral("ended"));
    EXPECT_EQ(unit.file, Image(700));
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
    EXPECT_EQ(rig.client.outcome(), TftpOutcome::Stalled);
    ExpectEndTold(rig);
}

// Ending a transfer under way (a caller that gives up on it), or dropping the client with it (the
// window closing), stops its thread within a receive's wait, and nothing arrives afterwards.
TEST(TftpClient, EndingOrDroppingATransferUnderWayStopsItPromptlyAndQuietly) {
    SimulatedUnit unit;
    unit.onArrival = nullptr;
    ClientRig rig(Image(1000), unit.port(), TftpClient::WatchdogMs);
    ASSERT_TRUE(rig.begin());
    ASSERT_TRUE(WaitUntil([&] { return !unit.withOpcode(OpWrq).empty(); }, Bound));
    QElapsedTimer clock;
    clock.start();
    rig.client.EndTftpTransfer();
    EXPECT_LT(clock.elapsed(), 2000);
    ExpectEndTold(rig);
    const QStringList shown = rig.report.texts;
    unit.answer(Ack(0));
    RunEventsFor(300);
    EXPECT_EQ(rig.report.texts, shown);
    EXPECT_TRUE(DataSent(unit).empty());

    SystemUdpSocket socket(rig.resolver);
    fakes::RecordingLog log;
    fakes::RecordingTftpReport report;
    auto dropped = std::make_unique<TftpClient>(socket, log, report, unit.port(), 0);
    ASSERT_TRUE(dropped->BeginUpload(Image(1000), QStringLiteral("NYX2"), "127.0.0.1"));
    ASSERT_TRUE(WaitUntil([&] { return unit.withOpcode(OpWrq).size() == 2; }, Bound));
    clock.restart();
    dropped.reset();
    EXPECT_LT(clock.elapsed(), 2000);
    RunEventsFor(100);
    EXPECT_EQ(report.last(), QStringLiteral("Status: Awaiting response from 127.0.0.1..."));
    EXPECT_FALSE(socket.isOpen());
}
