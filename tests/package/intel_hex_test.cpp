#include "package/intel_hex.h"
#include "support/hex_records.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

QByteArray Sixteen() {
    QByteArray b;
    for (int i = 0; i < 16; ++i)
        b.append(char(0x10 + i));
    return b;
}

QByteArray Erased(int n) {
    return QByteArray(n, char(0xFF));
}

} // namespace

TEST(IntelHex, ASixteenByteRecordAtZeroIsReVectoredBehindTheBootloaderJump) {
    const HexImages r = ReadIntelHex(Lines({Data(0, Sixteen()), EndRecord()}));
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.message.isEmpty());
    ASSERT_EQ(r.program.size(), ProgramImageSize);
    EXPECT_EQ(r.program.left(8), Bytes({0x1F, 0x30, 0x8A, 0x00, 0xA0, 0x2F, 0xFF, 0xFF}));
    EXPECT_EQ(r.program.mid(8, 8), Sixteen().mid(8));
    EXPECT_EQ(r.program.mid(16, 16184 - 16), Erased(16184 - 16));
    EXPECT_EQ(r.program.mid(16184), Bytes({0x8A, 0x01, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15}));
    EXPECT_EQ(r.programEnd, 16);
    EXPECT_EQ(r.eeprom, QByteArray(1, '\0'));
    EXPECT_EQ(r.eepromPresent, QByteArray(1, '\0'));
    EXPECT_EQ(r.config, QByteArray(1, '\0'));
}

TEST(IntelHex, AnEndRecordAloneGivesAnErasedImageWithOnlyTheJumps) {
    const HexImages r = ReadIntelHex(Lines({EndRecord()}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.programEnd, 0);
    EXPECT_EQ(r.program.left(8), Bytes({0x1F, 0x30, 0x8A, 0x00, 0xA0, 0x2F, 0xFF, 0xFF}));
    EXPECT_EQ(r.program.mid(8, 16184 - 8), Erased(16184 - 8));
    EXPECT_EQ(r.program.mid(16184), Bytes({0x8A, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(IntelHex, EepromRecordsGrowTheImageAndMarkOnlyTheBytesWritten) {
    const HexImages r =
        ReadIntelHex(Lines({Upper(0x00F0), Data(0x0010, Bytes({0xA5, 0x5A})), EndRecord()}));
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.eeprom.size(), 18);
    EXPECT_EQ(r.eeprom.mid(16), Bytes({0xA5, 0x5A}));
    EXPECT_EQ(r.eeprom.left(16), QByteArray(16, '\0'));
    QByteArray present(18, '\0');
    present[16] = present[17] = 1;
    EXPECT_EQ(r.eepromPresent, present);
    EXPECT_EQ(r.programEnd, 0) << "EEPROM records are no program records";
}

TEST(IntelHex, ConfigurationRecordsGrowTheImageToTheirLastByte) {
    QByteArray fourteen;
    for (int i = 0; i < 14; ++i)
        fourteen.append(char(0xC0 + i));
    HexImages r = ReadIntelHex(Lines({Upper(0x0030), Data(0, fourteen), EndRecord()}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.config, fourteen);

    r = ReadIntelHex(Lines({Upper(0x0030), Data(5, Bytes({0x3C})), EndRecord()}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.config, Bytes({0, 0, 0, 0, 0, 0x3C}));
}

TEST(IntelHex, AnUnknownUpperAddressKeepsTheRegionAndABodyStartsInProgram) {
    const HexImages r = ReadIntelHex(
        Lines({Data(0x20, Bytes({1})), Upper(0x00F0), Upper(0x0001), Data(0x02, Bytes({2})),
               Upper(0x0000), Data(0x21, Bytes({3})), EndRecord()}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.program.mid(0x20, 2), Bytes({1, 3}));
    EXPECT_EQ(r.eeprom, Bytes({0, 0, 2}));
    EXPECT_EQ(r.programEnd, 0x22);
}

TEST(IntelHex, ProgramEndComesFromTheLastProgramRecordInFileOrder) {
    HexImages r = ReadIntelHex(Lines({Data(0, Sixteen()), Data(0x100, Sixteen().left(8)),
                                      Upper(0x00F0), Data(0x40, Bytes({9})), EndRecord()}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.programEnd, 0x108);
    r = ReadIntelHex(Lines({Data(0x100, Sixteen().left(8)), Data(0, Sixteen()), EndRecord()}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.programEnd, 0x10);
}

TEST(IntelHex, DataPastTheProgramMemoryNamesTheWordAddress) {
    HexImages r = ReadIntelHex(Lines({Data(0x3F3E, Bytes({1, 2, 3, 4})), EndRecord()}));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, QStringLiteral("Address '0x1F9F' is invalid for this processor.  Unable "
                                        "to load the DFF file.  Please contact Tolvane."));

    r = ReadIntelHex(Lines({Data(16190, Bytes({1, 2})), EndRecord()}));
    EXPECT_TRUE(r.ok) << "the last two bytes fit (and the jump then overwrites them)";
    EXPECT_EQ(r.programEnd, 16192);

    r = ReadIntelHex(Lines({Data(0x4200, Bytes({1, 2})), EndRecord()}));
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.message.isEmpty());
    EXPECT_EQ(r.programEnd, 0) << "an ignored record is not remembered";
    EXPECT_EQ(r.program.mid(8, 16184 - 8), Erased(16184 - 8));
}

TEST(IntelHex, WordAddressesRoundHalvesToEven) {
    EXPECT_TRUE(AddressMessage(16190).contains("'0x1F9F'"));
    EXPECT_TRUE(AddressMessage(16191).contains("'0x1FA0'"));
    EXPECT_TRUE(AddressMessage(16189).contains("'0x1F9E'"));
    EXPECT_TRUE(AddressMessage(16187).contains("'0x1F9E'"));
    EXPECT_TRUE(AddressMessage(1).contains("'0x0'"));
}

TEST(IntelHex, EveryLineEndingReadsTheSame) {
    const QByteArray crlf = Lines({Data(0x30, Sixteen()), Data(0x40, Sixteen()), EndRecord()});
    for (const QByteArray& ending : {QByteArray("\n"), QByteArray("\r"), QByteArray("\r\n")}) {
        QByteArray body = crlf;
        body.replace("\r\n", ending);
        const HexImages r = ReadIntelHex(body);
        EXPECT_TRUE(r.ok) << ending.toHex().constData();
        EXPECT_EQ(r.program, ReadIntelHex(crlf).program);
        EXPECT_EQ(r.programEnd, 0x50);
    }
    // Mixed endings, blank lines and an end record without an ending at all.
    const QByteArray mixed =
        Data(0x30, Sixteen()) + "\n\r\n\r" + Data(0x40, Sixteen()) + "\r\n\n" + EndRecord();
    const HexImages r = ReadIntelHex(mixed);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.program, ReadIntelHex(crlf).program);
    EXPECT_EQ(r.programEnd, 0x50) << "blank lines are no records";
}

TEST(IntelHex, BlanksAroundARecordAndBlankOnlyLinesAreNoDamage) {
    const QByteArray body = Lines(
        {Data(0x30, Sixteen()) + "  \t", "   ", " " + Data(0x40, Sixteen()), EndRecord() + " "});
    const HexImages r = ReadIntelHex(body);
    EXPECT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_EQ(r.program.mid(0x40, 16), Sixteen());
    EXPECT_EQ(r.programEnd, 0x50);
}

TEST(IntelHex, LowerCaseDigitsAndOtherRecordTypesAreAccepted) {
    const HexImages r = ReadIntelHex(
        Lines({Data(0x10, Bytes({0xAB, 0xCD})).toLower(), HexRecord(3, 0, Bytes({0, 0, 0, 0})),
               HexRecord(5, 0, Bytes({0, 0, 0, 0})), EndRecord()}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.program.mid(0x10, 2), Bytes({0xAB, 0xCD}));
}

TEST(IntelHex, ABodyWithoutAnEndRecordFailsWithoutAMessage) {
    for (const QByteArray& body :
         {QByteArray(), QByteArray("\r\n\r\n"), Lines({Data(0, Sixteen())})}) {
        const HexImages r = ReadIntelHex(body);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.message.isEmpty());
    }
}

TEST(IntelHex, WhatFollowsTheEndRecordIsNotRead) {
    const HexImages r = ReadIntelHex(Lines({EndRecord(), "garbage", Data(0x20, Bytes({1}))}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(uchar(r.program.at(0x20)), 0xFF);
}

struct DamagedRow {
    const char* what;
    QByteArray line;
};

class IntelHexDamaged : public ::testing::TestWithParam<DamagedRow> {};

TEST_P(IntelHexDamaged, StopsTheReadingAndNamesTheLine) {
    const QByteArray body = Lines({Data(0, Sixteen()), "", GetParam().line, EndRecord()}, "\n");
    const HexImages r = ReadIntelHex(body);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, QStringLiteral("The firmware file is damaged: line 3 is not a valid Intel "
                                        "HEX record.  Unable to load the DFF file.  Please contact "
                                        "Tolvane."));
}

QByteArray WithChar(QByteArray line, int at, char c) {
    line[at] = c;
    return line;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, IntelHexDamaged,
    ::testing::Values(DamagedRow{"checksum", WithChar(Data(0x20, Bytes({1, 2})), 14, '0')},
                      DamagedRow{"data byte changed", WithChar(Data(0x20, Bytes({1, 2})), 10, '9')},
                      DamagedRow{"non-hex digit", WithChar(Data(0x20, Bytes({1, 2})), 11, 'G')},
                      DamagedRow{"no start colon", WithChar(Data(0x20, Bytes({1, 2})), 0, ';')},
                      DamagedRow{"count says more", QByteArray(":0300200001020000")},
                      DamagedRow{"count says less", QByteArray(":0100200001020000")},
                      DamagedRow{"cut short", QByteArray(":02002000")},
                      DamagedRow{"space inside", QByteArray(":02002000 0102DB")},
                      DamagedRow{"trailing text", Data(0x20, Bytes({1, 2})) + "X"},
                      DamagedRow{"upper address without two bytes", HexRecord(4, 0, Bytes({0xF0}))},
                      DamagedRow{"overlong", ':' + QByteArray(4000, '0')}),
    [](const auto& info) {
        std::string n = info.param.what;
        for (char& c : n)
            if (!isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return n;
    });

TEST(IntelHex, LineNumbersHoldWhenACrLfIsSplitAcrossReadChunks) {
    // One LF, then CR LF pairs: a CR falls on the last byte of the first 64 KiB chunk.
    QByteArray body = "\n" + QByteArray("\r\n").repeated(40000);
    body += "bad\r\n";
    ASSERT_EQ(body.at(65535), '\r');
    const HexImages r = ReadIntelHex(body);
    EXPECT_TRUE(r.message.contains("line 40002 ")) << r.message.toStdString();
}

TEST(IntelHex, ALargeBodyIsReadAcrossChunks) {
    QByteArray body;
    for (int pass = 0; pass < 2; ++pass)
        for (int a = 0; a < 0x3F00; a += 16)
            body += Data(a, pass == 0 ? Erased(16) : Sixteen()) + "\r\n";
    body += EndRecord() + "\r\n";
    ASSERT_GT(body.size(), 64 * 1024);
    const HexImages r = ReadIntelHex(body);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.programEnd, 0x3F00);
    for (int a = 16; a < 0x3F00; a += 16)
        ASSERT_EQ(r.program.mid(a, 16), Sixteen()) << a;
}
