// The framed exchange against the simulated unit over a pseudo-terminal.
#include "link_rig.h"
#include "serial/packet_exchange.h"
#include "timed_port.h"

#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::testing;
using bootsim::Late;
using bootsim::Now;
using bootsim::Reply;

namespace {

const QByteArray SmallPacket("\x40\x05\x01\x7E", 4); // an EEPROM byte

bootsim::Options FrameReply(Reply reply) {
    bootsim::Options o;
    o.frameReplies[0] = std::move(reply);
    return o;
}

} // namespace

TEST(Checksum, MakesTheFrameAddUpToZero) {
    struct Row {
        QByteArray packet;
        std::uint8_t checksum;
    };
    const Row rows[] = {
        {QByteArray("\x00\x01\x02", 3), 0xFD},
        {QByteArray("\x80\x80", 2), 0x00}, // sums to 0x100
        {QByteArray("\xFF", 1), 0x01},
        {QByteArray(), 0x00},
        {QByteArray(67, char(0xFF)), std::uint8_t(256 - (67 * 255) % 256)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.packet.toHex().toStdString());
        EXPECT_EQ(Checksum(r.packet), r.checksum);
        const QByteArray frame = Frame(r.packet);
        EXPECT_EQ(frame, r.packet + QByteArray(1, char(r.checksum)));
    }
}

TEST(Verdict, NWinsOverKAndOtherBytesAreNoVerdict) {
    constexpr Verdict K = Verdict::Accepted;
    constexpr Verdict N = Verdict::Rejected;
    const std::pair<QByteArray, Verdict> rows[] = {
        {"K", K},
        {"k", K},
        {"N", N},
        {"n", N},
        {"KN", N},
        {"NK", N},
        {"kn", N},
        {"", Verdict::None},
        {QByteArray("\x00\x31", 2), Verdict::None},
        // A unit answers a frame with one byte: a late hello answer or noise joined to a "K"
        // accepts nothing.
        {"\x04K", Verdict::None},
        {"KK", Verdict::None},
        {"\x04N", N},
    };
    for (const auto& [response, verdict] : rows)
        EXPECT_EQ(VerdictOf(response), verdict) << response.toHex().toStdString();
}

TEST(SendPacket, TakesTheUnitsVerdictFromOneFrameWrittenByteByByte) {
    struct Row {
        QByteArray reply;
        Verdict verdict;
    };
    const Row rows[] = {{"K", Verdict::Accepted},
                        {"k", Verdict::Accepted},
                        {"N", Verdict::Rejected},
                        {"KN", Verdict::Rejected},
                        {"NK", Verdict::Rejected}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.reply.toStdString());
        LinkRig rig(FrameReply(Now(r.reply)));
        ASSERT_TRUE(rig.ready) << rig.error.toStdString();
        EXPECT_EQ(SendPacket(rig.link, SmallPacket), r.verdict);
        EXPECT_EQ(rig.sim.received(), Frame(SmallPacket));
        ASSERT_EQ(rig.spy.writes.size(), 5u);
        for (const QByteArray& w : rig.spy.writes)
            EXPECT_EQ(w.size(), 1);
        EXPECT_EQ(rig.windowsOpened(), 1);
        EXPECT_TRUE(rig.log.records.isEmpty());
    }
}

TEST(SendPacket, StrayBytesAloneLeadToFurtherReads) {
    LinkRig rig(FrameReply({{0, QByteArray("\x00\x31", 2)}, {200, "K"}}));
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    EXPECT_EQ(SendPacket(rig.link, SmallPacket), Verdict::Accepted);
    EXPECT_EQ(rig.windowsOpened(), 2);
    EXPECT_EQ(rig.sim.frames().size(), 1u);
}

TEST(SendPacket, AReplySplitByAQuietGapEndsTheFirstResponseAndTheRestIsReadNext) {
    // The first response is "x" alone: had it run on into the "N", the verdict would still
    // come from the first read.
    LinkRig rig(FrameReply({{0, "x"}, {60, "N"}}));
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    EXPECT_EQ(SendPacket(rig.link, SmallPacket), Verdict::Rejected);
    EXPECT_EQ(rig.windowsOpened(), 2);
}

TEST(SendPacket, AVerdictAfterTheResponseWindowIsFoundByTheNextRead) {
    LinkRig rig(FrameReply(Late(500, "K")));
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(SendPacket(rig.link, SmallPacket), Verdict::Accepted);
    EXPECT_EQ(rig.windowsOpened(), 2);
    EXPECT_GE(t.elapsed(), 500);
    EXPECT_EQ(rig.sim.frames().size(), 1u);
}

TEST(SendPacket, NoReplyGivesNoVerdictAfterThirtyReadsWithOneFrameWritten) {
    LinkRig rig(FrameReply(bootsim::Silent()));
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(SendPacket(rig.link, SmallPacket), Verdict::None);
    EXPECT_EQ(rig.windowsOpened(), 30);
    EXPECT_GE(t.elapsed(), 30 * (350 + 10));
    EXPECT_EQ(rig.sim.received(), Frame(SmallPacket));
}

TEST(SendPacket, ALateLetterFromAnEarlierExchangeIsNotTakenAsTheVerdict) {
    // The unit's real answer comes after one window; a stale "K" waiting before the frame, or
    // arriving during the pause before it, must not stand in for it.
    LinkRig rig(FrameReply(Late(450, "N")));
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.sim.inject("K");
    QThread::msleep(30);
    rig.sim.inject("K", 10);
    EXPECT_EQ(SendPacket(rig.link, SmallPacket), Verdict::Rejected);
    EXPECT_EQ(rig.windowsOpened(), 2);
}

TEST(SendPacket, AnAnswerToTheFrameBeforeDoesNotJudgeTheNextFrame) {
    // "K" then a second letter that belongs to no frame; the next frame is answered late with
    // "N". The stray letter lands either in the first response (still "K") or in the pause
    // before the next frame, never after it: the first response takes at least the 25 ms quiet
    // gap and the pause another 25 ms, however loaded the machine is.
    bootsim::Options o;
    o.frameReplies[0] = {{0, "K"}, {45, "K"}};
    o.frameReplies[1] = Late(450, "N");
    LinkRig rig(o);
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    EXPECT_EQ(SendPacket(rig.link, SmallPacket), Verdict::Accepted);
    EXPECT_EQ(SendPacket(rig.link, SmallPacket), Verdict::Rejected);
}

TEST(GetResponse, PiecesTenMsApartAreOneResponseAndThirtyMsApartAreTwo) {
    // On a clock 50 times slower the quiet gap is 1.25 s: the pieces come 0.5 s and 1.5 s
    // apart, each a quarter of a second or more from the boundary.
    LinkRig rig;
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    const SlowLinkClock clock(50);

    rig.sim.inject("ab");
    rig.sim.inject("cd", 10 * clock.factor());
    EXPECT_EQ(GetResponse(rig.spy, clock), QByteArray("abcd"));

    rig.sim.inject("ef");
    rig.sim.inject("gh", 30 * clock.factor());
    EXPECT_EQ(GetResponse(rig.spy, clock), QByteArray("ef"));
    EXPECT_EQ(GetResponse(rig.spy, clock), QByteArray("gh"));
}

TEST(GetResponse, AReaderKeptBusyNeverSplitsAReply) {
    // An identification byte and its "K" a few milliseconds later, while the reader's thread
    // is busy elsewhere for longer than the quiet gap (a repaint, a box, a screen reader). On
    // a clock four times slower the gap is 100 ms and the bytes come at most 40 ms apart.
    struct Row {
        int spacingMs;
        int stallMs;
    };
    for (const Row r : {Row{0, 40}, Row{3, 40}, Row{10, 40}, Row{3, 100}, Row{10, 200}}) {
        SCOPED_TRACE(::testing::Message() << "spacing " << r.spacingMs << " stall " << r.stallMs);
        const SlowLinkClock clock(4);
        TimedSerialPort port(clock.factor());
        port.stallMs = r.stallMs;
        port.answer = [&](const QByteArray&) {
            return std::vector<TimedSerialPort::Arrival>{{0, QByteArray(1, '\x04')},
                                                         {r.spacingMs, "K"}};
        };
        SendAndDrain(port, QByteArray(1, char(0xC1)));
        EXPECT_EQ(GetResponse(port, clock), QByteArray("\x04K", 2));
    }
}

TEST(FrameExchange, AStrayKWhileTheFrameIsOnTheLineIsTakenBackByTheUnitsN) {
    // A stray "K" reaches the port while a frame spends 70 ms on the line; the unit's "N"
    // comes 40 ms after the frame has gone out, when the "K" alone has made a reply. Nothing
    // that came after the frame began is thrown away, and the "N" takes the "K" back: in the
    // pause before the next frame, or in the window after the last. (Link milliseconds, each
    // four real ones, so that a busy machine cannot join the "N" to the reply.)
    for (const bool last : {false, true}) {
        SCOPED_TRACE(last ? "last frame" : "middle frame");
        const SlowLinkClock clock(4);
        TimedSerialPort port(clock.factor());
        port.lineMs = 70;
        port.duringSend = {{30, "K"}};
        int frames = 0;
        port.answer = [&](const QByteArray&) {
            return ++frames == 1 ? std::vector<TimedSerialPort::Arrival>{{40, "N"}}
                                 : std::vector<TimedSerialPort::Arrival>{{0, "K"}};
        };
        fakes::RecordingLog log;
        const SerialLink link{port, log, clock};
        FrameExchange exchange(link);
        EXPECT_EQ(exchange.send(SmallPacket).verdict, Verdict::Accepted);
        if (last) {
            EXPECT_TRUE(exchange.lastRejected());
        } else {
            const FrameExchange::Result next = exchange.send(SmallPacket);
            EXPECT_TRUE(next.earlierRejected);
            EXPECT_EQ(frames, 1) << "the next frame went out after all";
        }
        EXPECT_TRUE(log.records.isEmpty()) << log.records.join('\n').toStdString();
    }
}

TEST(FrameExchange, NoiseBetweenFramesIsNotedOnceAndARepeatedKChangesNothing) {
    // Link milliseconds, each four real ones, so that a busy machine cannot join the noise to
    // the reply.
    const SlowLinkClock clock(4);
    TimedSerialPort port(clock.factor());
    int frames = 0;
    port.answer = [&](const QByteArray&) {
        ++frames;
        // After each "K", noise, and a second "K", both before the next frame.
        return std::vector<TimedSerialPort::Arrival>{
            {0, "K"}, {40, QByteArray(1, '\0')}, {45, "K"}};
    };
    fakes::RecordingLog log;
    const SerialLink link{port, log, clock};
    FrameExchange exchange(link);
    for (int i = 0; i < 3; ++i) {
        const FrameExchange::Result r = exchange.send(SmallPacket);
        EXPECT_FALSE(r.earlierRejected);
        EXPECT_EQ(r.verdict, Verdict::Accepted);
    }
    EXPECT_FALSE(exchange.lastRejected());
    EXPECT_EQ(frames, 3);
    ASSERT_EQ(log.records.size(), 1) << log.records.join('\n').toStdString();
    EXPECT_TRUE(log.records[0].contains("discarded) in procedure SendPacket of Module modFW"))
        << log.records[0].toStdString();
}

TEST(GetResponse, SilenceEndsWithTheWindowEmpty) {
    LinkRig rig;
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(GetResponse(rig.spy).isEmpty());
    EXPECT_GE(t.elapsed(), 350);
    EXPECT_LT(t.elapsed(), 350 + 250);
}

TEST(SendRaw, WritesNothingToAClosedPortAndDoesNotFail) {
    LinkRig rig({}, /*openPort=*/false);
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    SendRaw(rig.spy, "\xC1");
    EXPECT_TRUE(rig.spy.writes.empty());
    QThread::msleep(20);
    EXPECT_TRUE(rig.sim.received().isEmpty());
}

TEST(SendRaw, RefusesAStringTooLongToCountWithoutWritingAnyOfIt) {
    LinkRig rig;
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    EXPECT_THROW(SendRaw(rig.spy, QByteArray(255, 'x')), FailureError);
    EXPECT_TRUE(rig.spy.writes.empty());
    SendRaw(rig.spy, QByteArray(254, 'x'));
    EXPECT_EQ(rig.spy.writes.size(), 254u);
}

TEST(SendPacket, APortClosedUnderneathLogsItsFailedReadsAndGivesNoVerdict) {
    LinkRig rig({}, /*openPort=*/false);
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    EXPECT_EQ(SendPacket(rig.link, SmallPacket), Verdict::None);
    ASSERT_EQ(rig.log.records.size(), 30);
    EXPECT_TRUE(rig.log.records.at(0).startsWith(
        "Error 8012 (Device is not open) in procedure SendPacket of Module modFW on line "));
}
