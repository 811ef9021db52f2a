// The firmware transfer against the simulated unit over a pseudo-terminal.
#include "link_rig.h"
#include "serial/firmware_transfer.h"
#include "serial/packet_exchange.h"

#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

constexpr int ImageBytes = 16192;
constexpr int TopBlock = 16128;
constexpr int Blocks = ImageBytes / 64;

using Kind = fakes::RecordingFlashReport::Kind;

// What the technician was told, each told as an error with the program's caption.
QList<QString> Texts(const fakes::RecordingFlashReport& r) {
    QList<QString> out;
    for (const auto& m : r.told()) {
        EXPECT_EQ(m.kind, Kind::Error);
        EXPECT_EQ(m.caption, QStringLiteral("Quorvex"));
        out << m.text;
    }
    return out;
}

} // namespace

TEST(FlashBlockPacket, CarriesTheWordAddressHighByteFirstThenTheCountAndTheBlock) {
    LoadedFirmware fw = SerialFirmware("TORV5", 0);
    FillProgram(fw, 0, ImageBytes);
    struct Row {
        int offset;
        std::uint8_t high, low;
    };
    for (const Row& r : {Row{0, 0x00, 0x00}, Row{0x0040, 0x00, 0x20}, Row{0x0200, 0x01, 0x00},
                         Row{0x3F00, 0x1F, 0x80}}) {
        SCOPED_TRACE(r.offset);
        const QByteArray p = FlashBlockPacket(fw.ProgramImage, r.offset);
        ASSERT_EQ(p.size(), 67);
        EXPECT_EQ(std::uint8_t(p.at(0)), r.high);
        EXPECT_EQ(std::uint8_t(p.at(1)), r.low);
        EXPECT_EQ(std::uint8_t(p.at(2)), 0x40);
        EXPECT_EQ(p.mid(3), fw.ProgramImage.mid(r.offset, 64));
    }
}

TEST(FlashBlockPacket, ABlockWithOneDataByteIsNotBlankAndGoesWhole) {
    LoadedFirmware fw = SerialFirmware("TORV5", 0);
    EXPECT_TRUE(IsBlankBlock(fw.ProgramImage, 128));
    fw.ProgramImage[128 + 63] = 0x00;
    EXPECT_FALSE(IsBlankBlock(fw.ProgramImage, 128));
    const QByteArray p = FlashBlockPacket(fw.ProgramImage, 128);
    EXPECT_EQ(p.mid(3, 63), QByteArray(63, char(0xFF)));
    EXPECT_EQ(p.at(66), char(0x00));
}

TEST(EepromBytePacket, IsMarkerAddressCountValue) {
    EXPECT_EQ(EepromBytePacket(0x11, 0xA5), QByteArray("\x40\x11\x01\xA5", 4));
}

TEST(SendFirmwareSer, SendsOnlyTheNonBlankBlocksAndDrawsTheBarForEveryBlock) {
    LinkRig rig;
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = SerialFirmware("TORV5", 0);
    FillProgram(rig.fw, 0, 1024);
    rig.fw.ProgramImage[TopBlock + 5] = 0x12;

    EXPECT_TRUE(SendFirmwareSer(rig.link, rig.fw, rig.report));

    const auto frames = rig.flashFrames();
    ASSERT_EQ(frames.size(), 17u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(frames[i].address, i * 32) << "block " << i;
    EXPECT_EQ(frames[16].address, TopBlock / 2);
    for (const auto& f : frames) {
        EXPECT_TRUE(f.checksumOk);
        EXPECT_EQ(f.bytes.size(), 68);
    }
    EXPECT_TRUE(rig.eepromFrames().empty());
    EXPECT_EQ(rig.sim.flash().left(ImageBytes), rig.fw.ProgramImage);

    EXPECT_EQ(rig.report.lastMessage(), QStringLiteral("Flashing firmware..."));
    const auto steps = rig.report.progressSteps();
    ASSERT_EQ(int(steps.size()), 1 + Blocks); // nothing done yet, then once per block
    EXPECT_EQ(steps[1].done, 0);
    EXPECT_EQ(std::make_pair(steps[2].done, steps[2].total), std::make_pair(64LL, 1024LL));
    EXPECT_EQ(std::make_pair(steps[16].done, steps[16].total), std::make_pair(960LL, 1024LL));
    // Held at the total: the last block lies past the end of program data.
    EXPECT_EQ(steps.back().done, steps.back().total);
    EXPECT_TRUE(rig.report.told().empty());
    EXPECT_TRUE(rig.log.records.isEmpty());
}

TEST(SendFirmwareSer, WithoutProgramDataTheBarStillStepsAndNothingDividesByZero) {
    LinkRig rig;
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = SerialFirmware("TORV5", 0);
    SetEeprom(rig.fw, 3, 0x33);
    SetEeprom(rig.fw, 7, 0x77);
    rig.fw.ProgramEnd = 0;

    EXPECT_TRUE(SendFirmwareSer(rig.link, rig.fw, rig.report));
    EXPECT_TRUE(rig.flashFrames().empty());
    const auto eeprom = rig.eepromFrames();
    ASSERT_EQ(eeprom.size(), 2u);
    EXPECT_EQ(eeprom[0].bytes, Frame(EepromBytePacket(3, 0x33)));
    EXPECT_EQ(eeprom[1].bytes, Frame(EepromBytePacket(7, 0x77)));
    EXPECT_EQ(rig.sim.eeprom().at(7), char(0x77));
    const auto steps = rig.report.progressSteps();
    ASSERT_EQ(int(steps.size()), 1 + Blocks);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_GT(steps[i].total, 0);
        EXPECT_LE(steps[i].done, steps[i].total);
        if (i > 0) {
            EXPECT_GE(steps[i].done, steps[i - 1].done);
        }
    }
}

TEST(SendFirmwareSer, AFirstBlockRejectedEndsTheTransferWithOneMessage) {
    bootsim::Options o;
    o.frameReplies[0] = bootsim::Now("N");
    LinkRig rig(o);
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = SerialFirmware("TORV5", 0);
    FillProgram(rig.fw, 0, 256);
    SetEeprom(rig.fw, 0, 1);

    EXPECT_FALSE(SendFirmwareSer(rig.link, rig.fw, rig.report));
    EXPECT_EQ(rig.sim.frames().size(), 1u);
    EXPECT_EQ(Texts(rig.report),
              QList<QString>{"Corrupted/invalid data received, please reupload the firmware."});
    EXPECT_EQ(rig.sim.flash(), QByteArray(bootsim::Simulator::FlashBytes, char(0xFF)));
}

TEST(SendFirmwareSer, ASilentUnitInTheFlashPassIsAFlashDataError) {
    bootsim::Options o;
    o.frameReplies[1] = bootsim::Silent();
    LinkRig rig(o);
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = SerialFirmware("TORV5", 0);
    FillProgram(rig.fw, 0, 64 * 4);
    SetEeprom(rig.fw, 0, 1);

    EXPECT_FALSE(SendFirmwareSer(rig.link, rig.fw, rig.report));
    EXPECT_EQ(rig.sim.frames().size(), 2u);
    EXPECT_EQ(Texts(rig.report), QList<QString>{"Flash Data Error."});
}

TEST(SendFirmwareSer, TheEepromPassGoesOnAfterSilentBytesAndReportsEachOne) {
    bootsim::Options o;
    // frame 0 is the flash block; EEPROM bytes 1 and 3 of four draw silence
    o.frameReplies[2] = bootsim::Silent();
    o.frameReplies[4] = bootsim::Silent();
    LinkRig rig(o);
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = SerialFirmware("TORV5", 0);
    FillProgram(rig.fw, 0, 8);
    for (int a : {2, 5, 9, 255})
        SetEeprom(rig.fw, a, std::uint8_t(a ^ 0x5A));

    EXPECT_FALSE(SendFirmwareSer(rig.link, rig.fw, rig.report));
    const auto eeprom = rig.eepromFrames();
    ASSERT_EQ(eeprom.size(), 4u);
    EXPECT_EQ(eeprom[3].address, 255);
    EXPECT_EQ(Texts(rig.report), (QList<QString>{"Eeprom Data Error.", "Eeprom Data Error."}));
    const QByteArray written = rig.sim.eepromWritten();
    EXPECT_EQ(written.at(2), 1);
    EXPECT_EQ(written.at(5), 0);
    EXPECT_EQ(written.at(9), 1);
    EXPECT_EQ(written.at(255), 0);
}

TEST(SendFirmwareSer, AUnitUnpluggedDuringTheEepromPassIsToldOnceAndEndsThePass) {
    bootsim::Options o;
    o.unplugAtFrame = 3; // the third of sixteen EEPROM bytes, after the flash block
    LinkRig rig(o);
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = SerialFirmware("TORV5", 0);
    FillProgram(rig.fw, 0, 8);
    for (int a = 0; a < 16; ++a)
        SetEeprom(rig.fw, a, std::uint8_t(a));

    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(SendFirmwareSer(rig.link, rig.fw, rig.report));
    EXPECT_EQ(Texts(rig.report), QList<QString>{"Eeprom Data Error."})
        << rig.log.records.join('\n').toStdString();
    EXPECT_LT(t.elapsed(), 5000) << "no byte waits out its thirty reads";
    EXPECT_TRUE(rig.log.records.join('\n').contains("Error 68 (Device unavailable"))
        << rig.log.records.join('\n').toStdString();
}

TEST(SendFirmwareSer, RefusesEepromDataAboveAddress255BeforeWritingAnything) {
    LinkRig rig;
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = SerialFirmware("TORV5", 0);
    FillProgram(rig.fw, 0, 64);
    SetEeprom(rig.fw, 4, 0x44);
    SetEeprom(rig.fw, 0x104, 0x45); // would land on address 4 if cut to one byte

    EXPECT_FALSE(SendFirmwareSer(rig.link, rig.fw, rig.report));
    QThread::msleep(30);
    EXPECT_TRUE(rig.sim.received().isEmpty());
    const auto told = rig.report.told();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].kind, Kind::Error);
    EXPECT_TRUE(told[0].text.contains("0x104")) << told[0].text.toStdString();
    EXPECT_TRUE(told[0].text.contains("0xFF"));
}

TEST(SendFirmwareSer, AFailedStepMakesTheTransferFailEvenWhenEveryFrameWasAccepted) {
    LinkRig rig;
    ASSERT_TRUE(rig.ready) << rig.error.toStdString();
    rig.fw = SerialFirmware("TORV5", 0);
    FillProgram(rig.fw, 0, 128);
    // The read that takes what came in while the first frame went out (the one before it
    // clears stale bytes); the frame is out and its verdict is read after it.
    rig.spy.failInputNumber = 2;

    EXPECT_FALSE(SendFirmwareSer(rig.link, rig.fw, rig.report));
    EXPECT_EQ(rig.flashFrames().size(), 2u);
    EXPECT_EQ(rig.sim.flash().left(128), rig.fw.ProgramImage.left(128)); // all accepted
    ASSERT_EQ(rig.log.records.size(), 1);
    EXPECT_TRUE(rig.log.records[0].startsWith(
        "Error 57 (Device I/O error) in procedure SendPacket of Module modFW"));
    const auto told = rig.report.told();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, Transfer::UnconfirmedText);
    EXPECT_EQ(told[0].kind, Kind::Error);
}
