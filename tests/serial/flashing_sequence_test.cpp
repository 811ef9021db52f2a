// The serial flashing sequence against the simulated unit over a pseudo-terminal.
#include "link_rig.h"
#include "serial/firmware_transfer.h"
#include "serial/flashing_sequence.h"
#include "timed_port.h"

#include <QThread>
#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

constexpr int ImageBytes = 16192;

bootsim::Options Unit(std::uint8_t identification, int answerFrom = 1) {
    bootsim::Options o;
    o.identification = identification;
    o.answerHellosFrom = answerFrom;
    return o;
}

// A small ORBEL package for chip 4: two data blocks, the re-vectored top block and one
// EEPROM byte.
LoadedFirmware OrbelPackage() {
    LoadedFirmware fw = SerialFirmware("ORBEL", 4);
    FillProgram(fw, 0, 128);
    FillProgram(fw, ImageBytes - 8, 8);
    SetEeprom(fw, 1, 0xE1);
    return fw;
}

using Kind = fakes::RecordingFlashReport::Kind;

QStringList Countdowns(const fakes::RecordingFlashReport& r) {
    QStringList out;
    for (const QString& m : r.messages())
        if (m.startsWith("Please reset the unit"))
            out << m;
    return out;
}

QStringList CountdownFrom(int first, int last) {
    QStringList out;
    for (int n = first; n >= last; --n)
        out << QStringLiteral("Please reset the unit... (%1 seconds)").arg(n);
    return out;
}

} // namespace

TEST(HelloAnswer, IsExactlyTwoBytesHoldingAK) {
    EXPECT_TRUE(IsHelloAnswer(QByteArray("\x04K", 2)));
    EXPECT_TRUE(IsHelloAnswer(QByteArray("\x04k", 2)));
    EXPECT_TRUE(IsHelloAnswer("KK"));
    EXPECT_TRUE(IsHelloAnswer("K\x04"));
    EXPECT_FALSE(IsHelloAnswer("K"));
    EXPECT_FALSE(IsHelloAnswer(QByteArray("\x04K\x00", 3)));
    EXPECT_FALSE(IsHelloAnswer(QByteArray("\x04K\x04K", 4)));
    EXPECT_FALSE(IsHelloAnswer(QByteArray("\x04N", 2)));
    EXPECT_FALSE(IsHelloAnswer(""));
}

TEST(CallUnitAndWriteFirmware, AMatchingUnitIsFlashedBlockForBlockAndTheChipIsNamed) {
    LinkRig rig(Unit(0x04));
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = OrbelPackage();

    EXPECT_EQ(CallUnitAndWriteFirmware(rig.link, rig.fw, rig.report).outcome,
              SerialFlashOutcome::Flashed);

    EXPECT_EQ(rig.sim.hellos(), 1);
    EXPECT_EQ(rig.sim.flash().left(ImageBytes), rig.fw.ProgramImage);
    EXPECT_EQ(rig.sim.eeprom().at(1), char(0xE1));
    const auto told = rig.report.told();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, "PIC18F2620/4620 flashed with firmware v1.4.12 successfully.");
    EXPECT_EQ(told[0].kind, Kind::Info);
    EXPECT_EQ(rig.report.lastMessage(), "Please reset the unit... (9 seconds)");
    EXPECT_TRUE(rig.fw.isLoaded());
    EXPECT_TRUE(rig.log.records.isEmpty());
    EXPECT_EQ(rig.udp.opens, 0);
    EXPECT_TRUE(rig.udp.sent.empty());
}

TEST(CallUnitAndWriteFirmware, AnotherProductsUnitRefusesThePackageWithTheFullExplanation) {
    LinkRig rig(Unit(0x04));
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = SerialFirmware("QM571", 2);
    FillProgram(rig.fw, 0, 64);

    EXPECT_EQ(CallUnitAndWriteFirmware(rig.link, rig.fw, rig.report).outcome,
              SerialFlashOutcome::Refused);

    const auto told = rig.report.told();
    ASSERT_EQ(told.size(), 1u);
    const auto& box = told[0];
    EXPECT_EQ(box.caption, "Incorrect DFF file for connected unit.");
    EXPECT_EQ(box.kind, Kind::Error);
    EXPECT_EQ(box.text, "Connected to : \r\n"
                        "\t\tOrbel-8\r\n"
                        "\t\tPIC18F2620/4620\r\n"
                        "\r\n"
                        "Firmware file for : \r\n"
                        "\t\tQM-571\r\n"
                        "\r\n"
                        "Please obtain correct firmware for Orbel-8 with PIC18F2620/4620 chip.\r\n"
                        "\r\n"
                        "Upload aborted.");
    QThread::msleep(30);
    EXPECT_TRUE(rig.sim.frames().empty());
    // What becomes of the package is the flow's to decide (the window unloads it).
    EXPECT_TRUE(rig.fw.isLoaded());
    EXPECT_TRUE(Countdowns(rig.report).isEmpty());
}

TEST(CallUnitAndWriteFirmware, TwoLettersKIdentifyUnitFourWithAnUnknownChip) {
    bootsim::Options o = Unit(0x04);
    o.helloReplies[0] = bootsim::Now("KK");
    LinkRig rig(o);
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = SerialFirmware("TORV5", 0);
    FillProgram(rig.fw, 0, 64);

    EXPECT_EQ(CallUnitAndWriteFirmware(rig.link, rig.fw, rig.report).outcome,
              SerialFlashOutcome::Refused);
    const auto told = rig.report.told();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].text.startsWith("Connected to : \r\n\t\tTORV5\r\n\t\tUnknown Model\r\n"));
    EXPECT_TRUE(
        told[0].text.contains("Please obtain correct firmware for TORV5 with Unknown Model chip."));
}

TEST(CallUnitAndWriteFirmware, OneByteOrThreeBytesAreNoAnswerAndTheCountdownGoesOn) {
    bootsim::Options o = Unit(0x04, 3);
    o.helloReplies[0] = bootsim::Now("K");
    o.helloReplies[1] = bootsim::Now(QByteArray("\x04K\x00", 3));
    LinkRig rig(o);
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = OrbelPackage();

    EXPECT_EQ(CallUnitAndWriteFirmware(rig.link, rig.fw, rig.report).outcome,
              SerialFlashOutcome::Flashed);
    EXPECT_EQ(rig.sim.hellos(), 3);
    EXPECT_EQ(Countdowns(rig.report), CountdownFrom(9, 7));
}

TEST(CallUnitAndWriteFirmware, AnAnswerFollowedByAStrayByteAfterAQuietGapIdentifiesTheUnit) {
    // The answer comes 5 ms after the hello and a stray byte 35 ms after the answer: the quiet
    // gap after the answer ends the response, so it is two bytes and the first hello's answer.
    // On a clock 20 times slower the stray byte comes 0.2 s after that gap.
    bootsim::Options o = Unit(0x04);
    const SlowLinkClock clock(20);
    o.helloReplies[0] = {{5 * clock.factor(), QByteArray("\x04K", 2)},
                         {35 * clock.factor(), QByteArray(1, '\0')}};
    LinkRig rig(o);
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = OrbelPackage();

    const SerialLink slow{rig.spy, rig.log, clock};
    EXPECT_EQ(CallUnitAndWriteFirmware(slow, rig.fw, rig.report).outcome,
              SerialFlashOutcome::Flashed);
    EXPECT_EQ(rig.sim.hellos(), 1);
    EXPECT_EQ(rig.sim.flash().left(ImageBytes), rig.fw.ProgramImage);
}

TEST(CallUnitAndWriteFirmware, AnAnswerThatComesAfterTheWindowIsKeptAndNoFurtherHelloIsSent) {
    // The unit answers the first hello 500 ms late, when its read window has closed, and then
    // listens for frames only: a second hello would go into its frame parser.
    bootsim::Options o = Unit(0x04, 1000);
    o.helloReplies[0] = bootsim::Late(500, QByteArray("\x04K", 2));
    LinkRig rig(o);
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = OrbelPackage();

    EXPECT_EQ(CallUnitAndWriteFirmware(rig.link, rig.fw, rig.report).outcome,
              SerialFlashOutcome::Flashed);
    EXPECT_EQ(rig.sim.hellos(), 1);
    EXPECT_EQ(rig.sim.flash().left(ImageBytes), rig.fw.ProgramImage);
    EXPECT_EQ(Countdowns(rig.report), CountdownFrom(9, 9));
}

TEST(CallUnitAndWriteFirmware, AnAnswerThatStraddlesTheWindowsCloseIdentifiesTheUnitOnThatHello) {
    // The identification byte comes 10 ms before the first hello's window closes, its "K"
    // 5 ms after; the unit answers once and then takes whatever comes as a frame. On a clock
    // 16 times slower the bytes come 160 ms before and 80 ms after the close, 240 ms apart
    // against a quiet gap of 400 ms.
    const SlowLinkClock clock(16);
    TimedSerialPort port(clock.factor());
    bool answered = false;
    port.answer = [&](const QByteArray& sent) {
        std::vector<TimedSerialPort::Arrival> says;
        if (sent == QByteArray(1, Hello::Byte) && !answered)
            says = {{Link::ResponseWindowMs - 10, QByteArray(1, '\x04')},
                    {Link::ResponseWindowMs + 5, "K"}};
        else if (sent != QByteArray(1, Hello::Byte))
            says = {{0, "K"}};
        answered = true;
        return says;
    };
    LoadedFirmware fw = SerialFirmware("ORBEL", 4);
    FillProgram(fw, 0, 64);
    fakes::RecordingLog log;
    fakes::RecordingFlashReport report;

    EXPECT_EQ(CallUnitAndWriteFirmware(SerialLink{port, log, clock}, fw, report).outcome,
              SerialFlashOutcome::Flashed);
    EXPECT_EQ(port.written().count(char(0xC1)), 1);
    EXPECT_TRUE(log.records.isEmpty()) << log.records.join('\n').toStdString();
}

TEST(CallUnitAndWriteFirmware, TenSilentHellosCountDownToZeroAndSayTheUnitWasNotReset) {
    LinkRig rig(Unit(0x04, 1000));
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = OrbelPackage();

    EXPECT_EQ(CallUnitAndWriteFirmware(rig.link, rig.fw, rig.report).outcome,
              SerialFlashOutcome::NotReset);
    EXPECT_EQ(rig.sim.received(), QByteArray(10, char(0xC1)));
    EXPECT_EQ(Countdowns(rig.report), CountdownFrom(9, 0));
    const auto told = rig.report.told();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text,
              "Orbel-8 was not reset in time or connected unit is not a Orbel-8 (wrong baud rate)");
    EXPECT_EQ(told[0].kind, Kind::Info);
    EXPECT_TRUE(rig.fw.isLoaded());
}

TEST(CallUnitAndWriteFirmware,
     AnAnswerAtTheTenthHelloThenAFailedTransferShowsOnlyTheTransfersMessage) {
    bootsim::Options o = Unit(0x04, 10);
    o.frameReplies[0] = bootsim::Now("N");
    LinkRig rig(o);
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = OrbelPackage();

    EXPECT_EQ(CallUnitAndWriteFirmware(rig.link, rig.fw, rig.report).outcome,
              SerialFlashOutcome::TransferRejected);
    EXPECT_EQ(rig.sim.hellos(), 10);
    EXPECT_EQ(Countdowns(rig.report), CountdownFrom(9, 0));
    const auto told = rig.report.told();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, "Corrupted/invalid data received, please reupload the firmware.");
    EXPECT_TRUE(rig.fw.isLoaded());
}

TEST(CallUnitAndWriteFirmware, ATransferWithALoggedFailureDoesNotEndInSuccess) {
    LinkRig rig(Unit(0x04));
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = OrbelPackage();
    // The hello exchange reads the port once or twice; fail a read inside the transfer.
    rig.spy.failInputNumber = 6;

    EXPECT_EQ(CallUnitAndWriteFirmware(rig.link, rig.fw, rig.report).outcome,
              SerialFlashOutcome::TransferFailed);
    EXPECT_EQ(rig.log.records.size(), 1);
    // Only the transfer's own word on it: no success, no not-reset text.
    const auto told = rig.report.told();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, Transfer::UnconfirmedText);
}

TEST(CallUnitAndWriteFirmware, AStrayKWhileAFrameIsOnTheLineNeverPassesForTheUnitsVerdict) {
    // A prompt unit on a modelled 9600-baud line, where a flash frame takes 71 ms: a stray "K"
    // comes 30 ms into a frame, and the unit's own verdict about 75 ms after the frame began.
    // An "N" there must end in the rejection, in the middle of the image and on its last frame;
    // a "K" there, in the success.
    struct Row {
        int frame;
        const char* verdict;
        SerialFlashOutcome outcome;
    };
    for (const Row r : {Row{1, "N", SerialFlashOutcome::TransferRejected},
                        Row{2, "N", SerialFlashOutcome::TransferRejected},
                        Row{1, "K", SerialFlashOutcome::Flashed}}) {
        SCOPED_TRACE(::testing::Message() << "frame " << r.frame << " answered " << r.verdict);
        bootsim::Options o = Unit(0x04);
        o.baud = 9600;
        o.strayAtFrame[r.frame] = bootsim::Late(30, "K");
        o.frameReplies[r.frame] = bootsim::Late(3, r.verdict);
        LinkRig rig(o);
        ASSERT_TRUE(rig.ready) << rig.error.toStdString();
        rig.fw = SerialFirmware("ORBEL", 4);
        FillProgram(rig.fw, 0, 3 * 64);

        const SerialFlashResult result = CallUnitAndWriteFirmware(rig.link, rig.fw, rig.report);
        EXPECT_EQ(result.outcome, r.outcome);
        const auto told = rig.report.told();
        ASSERT_EQ(told.size(), 1u);
        if (r.outcome == SerialFlashOutcome::Flashed) {
            EXPECT_EQ(told[0].text, "PIC18F2620/4620 flashed with firmware v1.4.12 successfully.");
            EXPECT_EQ(result.flashBlocks, 3);
            EXPECT_EQ(rig.sim.flash().left(ImageBytes), rig.fw.ProgramImage);
        } else {
            EXPECT_EQ(told[0].text, Transfer::RejectedText);
            // The rejected frame is never counted as written, whenever its "N" was heard.
            EXPECT_LE(result.flashBlocks, r.frame);
        }
    }
}

TEST(CallUnitAndWriteFirmware, AnAdapterUnpluggedDuringTheHellosEndsThemAtOnceWithOneText) {
    bootsim::Options o = Unit(0x04, 1000);
    o.unplugAtHello = 2;
    LinkRig rig(o);
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = OrbelPackage();

    EXPECT_EQ(CallUnitAndWriteFirmware(rig.link, rig.fw, rig.report).outcome,
              SerialFlashOutcome::PortGone);
    EXPECT_EQ(rig.sim.hellos(), 3);
    const auto told = rig.report.told();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, Hello::PortGoneText);
    ASSERT_EQ(rig.log.records.size(), 1) << rig.log.records.join('\n').toStdString();
    EXPECT_TRUE(rig.log.records[0].startsWith("Error 68 (Device unavailable"))
        << rig.log.records[0].toStdString();
}
