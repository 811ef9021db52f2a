#include "package/cipher.h"
#include "support/fakes.h"
#include "support/test_files.h"

#include <QFileInfo>
#include <QtEndian>
#include <gtest/gtest.h>
#include <limits>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

DFFHeader Header(const char* code, int major, int minor, int chip, int revision) {
    return DFFHeader::Of(QString::fromLatin1(code), major, minor, chip, revision);
}

QByteArray Mask(const QString& key, std::int64_t counter) {
    return DigestBlock((key + QLatin1Char('?') + QString::number(counter)).toLatin1());
}

class Cipher : public ::testing::Test {
  protected:
    // Encodes `body` with a fixed seed and returns the package path.
    QString Encode(const QByteArray& body, const QString& key, std::int32_t seed,
                   const QString& name = QStringLiteral("p.dff")) {
        WriteAll(dir.path(QStringLiteral("body.bin")), body);
        const QString target = dir.path(name);
        EXPECT_TRUE(EncodeFile(dir.path(QStringLiteral("body.bin")), target, key, header, nullptr,
                               log, nullptr, seed));
        return target;
    }

    Scratch dir;
    fakes::RecordingLog log;
    DFFHeader header = Header("TORV5", 1, 4, 0, 12);
    const QString key = PackageKey(header);
};

} // namespace

TEST(PackageKeyText, IsThePrefixAndTheVersionInThreeOrTwoParts) {
    const DFFHeader h = Header("NYX2", 2, 10, 8, 3);
    EXPECT_EQ(PackageKey(h), QStringLiteral("quorvex2.10.3"));
    EXPECT_EQ(PackageKey(h, KeyParts::Two), QStringLiteral("quorvex2.10"));
    EXPECT_EQ(PackageKey(Header("X", 255, 255, 0, 255)), QStringLiteral("quorvex255.255.255"));
    EXPECT_EQ(PackageKey(Header("X", 0, 0, 0, 0)), QStringLiteral("quorvex0.0.0"));
}

TEST(CipherHelpers, DigestIsMd5AndXorNeedsEqualLengths) {
    EXPECT_EQ(DigestBlock("").toHex(), QByteArray("d41d8cd98f00b204e9800998ecf8427e"));
    EXPECT_EQ(DigestBlock("abc").toHex(), QByteArray("900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_EQ(XorText("\x0f\xf0", "\xff\xff"), QByteArray("\xf0\x0f"));
    EXPECT_TRUE(XorText("abc", "ab").isEmpty());
    EXPECT_TRUE(XorText("", "").isEmpty());
}

TEST(CipherHelpers, CounterTextsStayInsideTheSigned32BitRange) {
    EXPECT_EQ(CounterText(-1), QByteArray("-1"));
    EXPECT_EQ(CounterText(0), QByteArray("0"));
    EXPECT_EQ(CounterText(2147483647), QByteArray("2147483647"));
    EXPECT_EQ(CounterText(-2147483648LL), QByteArray("-2147483648"));
    EXPECT_FALSE(CounterText(2147483648LL));
    EXPECT_FALSE(CounterText(-2147483649LL));
    EXPECT_EQ(BlockCounter(0, 0), -1);
    EXPECT_EQ(BlockCounter(0, 1), 0);
    EXPECT_EQ(BlockCounter(std::numeric_limits<std::int32_t>::min(), 0), 2147483647);
    EXPECT_FALSE(BlockCounter(std::numeric_limits<std::int32_t>::min(), 1));
    EXPECT_EQ(BlockCounter(2147483646, 0), -2147483647);
}

TEST_F(Cipher, RoundTripGivesBackTheInputForEveryBlockBoundary) {
    for (int size : {0, 1, 15, 16, 17, 31, 32, 33, 1000, 70000}) {
        const QByteArray body = Pattern(size, size);
        const QString package = Encode(body, key, 12345);
        EXPECT_EQ(QFileInfo(package).size(), size + 38) << size;
        ASSERT_TRUE(DecodeFile(package, dir.path("out.bin"), key, nullptr, log)) << size;
        EXPECT_EQ(ReadAll(dir.path("out.bin")), body) << size;
    }
    EXPECT_TRUE(log.records.isEmpty());
}

TEST_F(Cipher, EmptyInputGivesAPreambleOnlyPackageThatDecodesToAnEmptyFile) {
    const QString package = Encode({}, key, 5);
    const QByteArray bytes = ReadAll(package);
    ASSERT_EQ(bytes.size(), 38);
    EXPECT_EQ(bytes.left(18), header.toBytes());
    EXPECT_EQ(qFromLittleEndian<std::int32_t>(bytes.constData() + 18), 5);
    EXPECT_EQ(bytes.mid(22), Mask(key, 5));
    WriteAll(dir.path("out.bin"), "stale");
    EXPECT_TRUE(DecodeFile(package, dir.path("out.bin"), key, nullptr, log));
    EXPECT_EQ(ReadAll(dir.path("out.bin")), QByteArray());
}

TEST_F(Cipher, SeventeenBytesUseTwoCountersStartingAtNotSeed) {
    const std::int32_t seed = 1011;
    const QByteArray body = Pattern(17);
    const QByteArray bytes = ReadAll(Encode(body, key, seed));
    ASSERT_EQ(bytes.size(), 38 + 17);
    EXPECT_EQ(bytes.mid(38, 16), XorText(body.left(16), Mask(key, -seed - 1)));
    EXPECT_EQ(bytes.at(54), char(body.at(16) ^ Mask(key, -seed).at(0)));
}

TEST_F(Cipher, SeedZeroChecksWithZeroAndScramblesWithMinusOneThenZero) {
    const QByteArray body = Pattern(20);
    const QByteArray bytes = ReadAll(Encode(body, key, 0));
    EXPECT_EQ(bytes.mid(18, 4), QByteArray(4, '\0'));
    EXPECT_EQ(bytes.mid(22, 16), DigestBlock((key + "?0").toLatin1()));
    EXPECT_EQ(bytes.mid(38, 16), XorText(body.left(16), DigestBlock((key + "?-1").toLatin1())));
    EXPECT_EQ(bytes.mid(54), XorText(body.mid(16), DigestBlock((key + "?0").toLatin1()).left(4)));
}

TEST_F(Cipher, WrongKeyLeavesATargetDecodedAMomentBeforeUntouched) {
    const QByteArray body = Pattern(100);
    const QString package = Encode(body, key, 77);
    const QString target = dir.path("out.bin");
    ASSERT_TRUE(DecodeFile(package, target, key, nullptr, log));
    const QDateTime written = QFileInfo(target).lastModified();
    EXPECT_FALSE(DecodeFile(package, target, QStringLiteral("quorvex1.4.13"), nullptr, log));
    EXPECT_FALSE(DecodeFile(package, target, QStringLiteral("quorvex1.4"), nullptr, log));
    EXPECT_EQ(ReadAll(target), body);
    EXPECT_EQ(QFileInfo(target).lastModified(), written);
    EXPECT_TRUE(log.records.isEmpty()) << "a refused key is no failure";
}

TEST_F(Cipher, AChangedSeedFailsTheKeyCheckWhileAChangedBodyByteChangesOnlyThatByte) {
    const QByteArray body = Pattern(64);
    const QByteArray package = ReadAll(Encode(body, key, 4242));
    const QString target = dir.path("out.bin");

    QByteArray seedChanged = package;
    seedChanged[20] = char(seedChanged.at(20) ^ 0x01);
    WriteAll(dir.path("seed.dff"), seedChanged);
    WriteAll(target, "before");
    EXPECT_FALSE(DecodeFile(dir.path("seed.dff"), target, key, nullptr, log));
    EXPECT_EQ(ReadAll(target), QByteArray("before"));

    QByteArray bodyChanged = package;
    bodyChanged[40] = char(bodyChanged.at(40) ^ 0x5A);
    WriteAll(dir.path("body.dff"), bodyChanged);
    ASSERT_TRUE(DecodeFile(dir.path("body.dff"), target, key, nullptr, log));
    QByteArray expected = body;
    expected[2] = char(expected.at(2) ^ 0x5A);
    EXPECT_EQ(ReadAll(target), expected);
}

TEST_F(Cipher, APackageShorterThanItsPreambleFailsTheKeyCheckQuietly) {
    const QByteArray package = ReadAll(Encode(Pattern(10), key, 1));
    WriteAll(dir.path("short.dff"), package.left(37));
    WriteAll(dir.path("out.bin"), "kept");
    EXPECT_FALSE(DecodeFile(dir.path("short.dff"), dir.path("out.bin"), key, nullptr, log));
    EXPECT_EQ(ReadAll(dir.path("out.bin")), QByteArray("kept"));
    EXPECT_TRUE(log.records.isEmpty());
}

TEST_F(Cipher, BothKeysOfA2_10_3PackageDecodeWhatTheyWereBuiltWith) {
    header = Header("NYX2", 2, 10, 8, 3);
    const QByteArray body = Pattern(50);
    const QString three = Encode(body, PackageKey(header), 9, "three.dff");
    const QString two = Encode(body, PackageKey(header, KeyParts::Two), 9, "two.dff");
    EXPECT_TRUE(DecodeFile(three, dir.path("a"), QStringLiteral("quorvex2.10.3"), nullptr, log));
    EXPECT_FALSE(DecodeFile(three, dir.path("b"), QStringLiteral("quorvex2.10"), nullptr, log));
    EXPECT_TRUE(DecodeFile(two, dir.path("c"), QStringLiteral("quorvex2.10"), nullptr, log));
    EXPECT_FALSE(DecodeFile(two, dir.path("d"), QStringLiteral("quorvex2.10.3"), nullptr, log));
    EXPECT_EQ(ReadAll(dir.path("a")), body);
    EXPECT_EQ(ReadAll(dir.path("c")), body);
    EXPECT_FALSE(QFile::exists(dir.path("b")));
}

TEST_F(Cipher, ACounterThatWouldPassThe32BitRangeFailsTheDecodeAndWritesNothing) {
    const std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
    // One block: its counter is exactly the largest 32-bit number, which is fine.
    const QString package = Encode(Pattern(16), key, lowest);
    ASSERT_TRUE(DecodeFile(package, dir.path("one.bin"), key, nullptr, log));
    EXPECT_EQ(ReadAll(dir.path("one.bin")), Pattern(16));
    // A package read from disk with one byte more needs a counter past it.
    QByteArray longer = ReadAll(package);
    longer.append('x');
    WriteAll(dir.path("longer.dff"), longer);
    WriteAll(dir.path("out.bin"), "kept");
    EXPECT_FALSE(DecodeFile(dir.path("longer.dff"), dir.path("out.bin"), key, nullptr, log));
    EXPECT_EQ(ReadAll(dir.path("out.bin")), QByteArray("kept"));
    ASSERT_EQ(log.records.size(), 1);
    EXPECT_TRUE(log.records.at(0).startsWith(
        "Error 6 (Overflow) in procedure DecMD5 of Module modMD5Shell on line "));
}

TEST_F(Cipher, EncodingRefusesASeedWhoseCountersWouldOverflow) {
    WriteAll(dir.path("body.bin"), Pattern(17));
    Failure why;
    EXPECT_FALSE(EncodeFile(dir.path("body.bin"), dir.path("p.dff"), key, header, nullptr, log,
                            &why, std::numeric_limits<std::int32_t>::min()));
    EXPECT_EQ(why.number, FailureNo::Overflow);
    EXPECT_TRUE(ReadAll(dir.path("p.dff")).isEmpty());
}

TEST_F(Cipher, FileFailuresAreLoggedWithTheirNumberAndGiveFalse) {
    Failure why;
    EXPECT_FALSE(
        EncodeFile(dir.path("missing.bin"), dir.path("p.dff"), key, header, nullptr, log, &why));
    EXPECT_EQ(why.number, FailureNo::FileNotFound);
    EXPECT_EQ(why.description, QStringLiteral("File not found"));
    EXPECT_FALSE(DecodeFile(dir.path("missing.dff"), dir.path("out.bin"), key, nullptr, log));

    ASSERT_EQ(log.records.size(), 2);
    EXPECT_TRUE(log.records.at(0).startsWith(
        "Error 53 (File not found) in procedure EncMD5 of Module modMD5Shell on line "));
    EXPECT_TRUE(log.records.at(1).startsWith(
        "Error 53 (File not found) in procedure DecMD5 of Module modMD5Shell on line "));
}

TEST_F(Cipher, AFullDiskIsReportedAsSuch) {
    // /dev/full refuses every write as a full disk does; it is only written to, never removed.
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full here";
    WriteAll(dir.path("in.bin"), Pattern(64 * 1024));
    Failure why;
    EXPECT_FALSE(EncodeFile(dir.path("in.bin"), QStringLiteral("/dev/full"), key, header, nullptr,
                            log, &why));
    EXPECT_EQ(why.number, FailureNo::DiskFull);
    EXPECT_EQ(why.description, QStringLiteral("Disk full"));
    ASSERT_EQ(log.records.size(), 1);
    EXPECT_TRUE(log.records.at(0).startsWith("Error 61 (Disk full) in procedure EncMD5"));
}

TEST_F(Cipher, DrawnSeedsLieInTheirRangeAndDiffer) {
    WriteAll(dir.path("body.bin"), Pattern(3));
    QSet<std::int32_t> seeds;
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(EncodeFile(dir.path("body.bin"), dir.path("p.dff"), key, header, nullptr, log));
        const QByteArray bytes = ReadAll(dir.path("p.dff"));
        const auto seed = qFromLittleEndian<std::int32_t>(bytes.constData() + 18);
        EXPECT_GE(seed, 0);
        EXPECT_LT(seed, SeedLimit);
        seeds.insert(seed);
        ASSERT_TRUE(DecodeFile(dir.path("p.dff"), dir.path("out.bin"), key, nullptr, log));
        EXPECT_EQ(ReadAll(dir.path("out.bin")), Pattern(3));
    }
    EXPECT_GT(seeds.size(), 1);
}

TEST_F(Cipher, ProgressIsShownFilledToTheEndAndHidden) {
    const QString package = Encode(Pattern(1000), key, 8);
    fakes::FakeProgress progress;
    ASSERT_TRUE(DecodeFile(package, dir.path("out.bin"), key, &progress, log));
    EXPECT_EQ(progress.shows, 1);
    EXPECT_EQ(progress.hides, 1);
    ASSERT_FALSE(progress.fills.empty());
    EXPECT_DOUBLE_EQ(progress.fills.back(), 1.0);

    fakes::FakeProgress refused;
    EXPECT_FALSE(DecodeFile(package, dir.path("out.bin"), "quorvex9.9.9", &refused, log));
    EXPECT_EQ(refused.shows, 0) << "nothing to show for a wrong key";
}

// The fixtures come from an independent implementation: rebuilding each from its body and
// seed must give the very same bytes, and decoding must give the body back.
struct FixtureRow {
    const char* package;
    const char* body;
    const char* code;
    int major, minor, chip, revision;
    std::int32_t seed;
    const char* key;
};

class CipherFixture : public ::testing::TestWithParam<FixtureRow> {};

TEST_P(CipherFixture, IsRebuiltByteForByteAndDecodesToItsBody) {
    const FixtureRow row = GetParam();
    Scratch dir;
    fakes::RecordingLog log;
    const QString body = *row.body ? Fixture(row.body) : dir.path("empty.bin");
    if (!*row.body)
        WriteAll(body, {});
    const QByteArray expected = ReadAll(Fixture(row.package));
    ASSERT_FALSE(expected.isEmpty()) << "fixture missing: " << row.package;

    const DFFHeader h = Header(row.code, row.major, row.minor, row.chip, row.revision);
    ASSERT_TRUE(EncodeFile(body, dir.path("rebuilt.dff"), QString::fromLatin1(row.key), h, nullptr,
                           log, nullptr, row.seed));
    EXPECT_EQ(ReadAll(dir.path("rebuilt.dff")), expected);

    ASSERT_TRUE(DecodeFile(Fixture(row.package), dir.path("decoded"), QString::fromLatin1(row.key),
                           nullptr, log));
    EXPECT_EQ(ReadAll(dir.path("decoded")), ReadAll(body));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, CipherFixture,
    ::testing::Values(
        FixtureRow{"revector16.dff", "revector16.hex", "TORV5", 1, 4, 0, 12, 1011, "quorvex1.4.12"},
        FixtureRow{"eeprom_f0.dff", "eeprom_f0.hex", "TORV5", 1, 4, 0, 12, 1013, "quorvex1.4.12"},
        FixtureRow{"sparse17.dff", "sparse17.hex", "TORV5", 1, 4, 0, 12, 1028, "quorvex1.4.12"},
        FixtureRow{"net1000.dff", "net1000.bin", "NYX2", 2, 10, 8, 3, 0, "quorvex2.10.3"},
        FixtureRow{"twopart_2.10.dff", "net1000.bin", "VESKAR2", 2, 10, 8, 7, 777, "quorvex2.10"},
        FixtureRow{"wrongkey.dff", "revector16.hex", "TORV5", 1, 4, 0, 12, 4242, "quorvex1.4.13"},
        FixtureRow{"empty.dff", "", "TORV5", 1, 0, 0, 0, 99, "quorvex1.0.0"}),
    [](const auto& info) {
        std::string name = info.param.package;
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });
