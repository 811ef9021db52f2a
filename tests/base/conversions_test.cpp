#include "base/conversions.h"
#include "base/failure.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quorvex;

TEST(FileNamePart, SplitsAtTheLastBackslashOrElseTheLastSlash) {
    struct Row {
        const char* path;
        int mode;
        const char* expected;
    };
    const Row rows[] = {
        {"C:\\fw\\unit.b2.hex", 0, "unit.b2.hex"},
        {"C:\\fw\\unit.b2.hex", 1, "unit.b2"},
        {"C:\\fw\\unit.b2.hex", 2, "hex"},
        {"C:\\fw\\unit", 1, "unit"},
        {"C:\\fw\\unit", 2, ""},
        {"a/b\\c/d.x", 0, "c/d.x"},
        {"/home/fw/main.hex", 1, "main"},
        {"main.hex", 7, "main.hex"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FileNamePart(r.path, r.mode), QString(r.expected))
            << r.path << " mode " << r.mode;
}

TEST(FolderPart, KeepsTheTrailingSeparatorAndIsEmptyWithoutOne) {
    EXPECT_EQ(FolderPart("C:\\fw\\unit.hex"), "C:\\fw\\");
    EXPECT_EQ(FolderPart("/home/fw/unit.hex"), "/home/fw/");
    EXPECT_EQ(FolderPart("unit.hex"), "");
}

TEST(FileExists, IsFalseForMissingFilesFoldersAndEmptyPaths) {
    QTemporaryDir dir;
    EXPECT_FALSE(FileExists(dir.path() + "/missing"));
    EXPECT_FALSE(FileExists(dir.path()));
    EXPECT_FALSE(FileExists(""));
    QFile f(dir.path() + "/there");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_TRUE(FileExists(dir.path() + "/there"));
}

TEST(Nibbles, JoinWithinAByteAndOverflowAbove) {
    EXPECT_EQ(Nibbles2Byte(0x0F, 0x0F), 0xFF);
    EXPECT_EQ(Nibbles2Byte(0x2, 0xA), 0xA2);
    try {
        Nibbles2Byte(0, 16);
        FAIL() << "no overflow";
    } catch (const FailureError& e) {
        EXPECT_EQ(e.failure().number, FailureNo::Overflow);
    }
    EXPECT_EQ(LowNibble(0x4B), 0x0B);
    EXPECT_EQ(HighNibble(0x4B), 0x04);
}

TEST(HighByte, GivesBits8To15InRangeAndSetsTheTopBitOutside) {
    struct Row {
        std::int32_t v;
        int expected;
    };
    const Row rows[] = {{0x1234, 0x12}, {0xFFFF, 0xFF}, {-1, 0xFF},     {0x12345, 0xA3},
                        {0x1F80, 0x1F}, {0x0020, 0x00}, {-32768, 0x80}, {65536, 0x80}};
    for (const auto& r : rows)
        EXPECT_EQ(HighByte(r.v), r.expected) << r.v;
    EXPECT_EQ(LowByte(0x12345), 0x45);
    EXPECT_EQ(Bytes2Word(0x1F, 0x80), 0x1F80);
    EXPECT_EQ(Word2Long(-1), 65535);
    EXPECT_EQ(Word2Long(32767), 32767);
}

TEST(LeadingNumber, ReadsTheNumberATextStartsWith) {
    EXPECT_EQ(LeadingNumber(" 12"), 12);
    EXPECT_EQ(LeadingNumber("12abc"), 12);
    EXPECT_EQ(LeadingNumber("-3.5x"), -3.5);
    EXPECT_EQ(LeadingNumber("abc"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("1.4.12"), 1.4);
}
