#include "base/paced_wait.h"
#include "package/cipher.h"
#include "package/intel_hex.h"
#include "package/package_reader.h"
#include "package/unwritable_places.h"
#include "support/fake_bench.h"
#include "support/hex_records.h"
#include "support/test_files.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

const QString Question = QStringLiteral("Loading firmware file for the following product: \r\n\r\n"
                                        "%1\r\nVersion: %2\r\n\r\nDo you want to continue?");

class Reader : public ::testing::Test, protected fakes::FakeBench {
  protected:
    bool Load(const QString& path) {
        return LoadDFFFile(load(), path, [this] { ++refreshes; });
    }

    static DFFHeader Header(const char* code, int major, int minor, int chip, int revision) {
        return DFFHeader::Of(QString::fromLatin1(code), major, minor, chip, revision);
    }

    QString Build(const DFFHeader& h, const QByteArray& body, KeyParts parts = KeyParts::Three) {
        const QString source = dir.path(QStringLiteral("body%1").arg(++built));
        const QString target = dir.path(QStringLiteral("p%1.dff").arg(built));
        WriteAll(source, body);
        EXPECT_TRUE(EncMD5(source, target, PackageKey(h, parts), h, nullptr, log));
        return target;
    }
    QString Serial(const QByteArray& body) { return Build(Header("TORV5", 1, 4, 0, 12), body); }

    Scratch dir;
    int refreshes = 0;
    int built = 0;
};

int FlashBlocksToSend(const QByteArray& image) {
    int blocks = 0;
    for (int at = 0; at < image.size(); at += 64)
        if (image.mid(at, 64) != QByteArray(std::min<qsizetype>(64, image.size() - at), char(0xFF)))
            ++blocks;
    return blocks;
}

} // namespace

TEST_F(Reader, AnEmptyPathGivesFalseAndTouchesNothing) {
    EXPECT_FALSE(Load(QString()));
    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(window.statusHistory.isEmpty());
    EXPECT_EQ(refreshes, 0);
}

TEST_F(Reader, ASerialPackagePreparesTheSerialPanelAsksAndLoads) {
    const QString package = Serial(Lines({Data(0, Bytes({1, 2, 3, 4, 5, 6, 7, 8})), EndRecord()}));
    ASSERT_TRUE(Load(package));
    EXPECT_TRUE(window.serialPanel);
    EXPECT_FALSE(window.ethPanel);
    EXPECT_EQ(port.text, QStringLiteral("9600,n,8,1"));
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(socket.closes, 0);
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0].text, Question.arg("TORV5", "1.4.12"));
    EXPECT_EQ(prompts.questions[0].caption, QStringLiteral("Quorvex"));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(fw.ProgramEnd, 8);
    EXPECT_EQ(fw.ProgramImage.size(), ProgramImageSize);
    EXPECT_EQ(window.progressBar.shows, 1);
    EXPECT_EQ(window.progressBar.hides, 1);
    EXPECT_TRUE(log.records.isEmpty()) << log.records.join('\n').toStdString();
}

TEST_F(Reader, ANetworkPackagePreparesTheEthernetPanelAndTakesTheBodyAsTheImage) {
    fw.EepromImage = "kept";
    fw.ConfigImage = "also";
    fw.ProgramEnd = 77;
    const QByteArray image = Pattern(1000, 3);
    ASSERT_TRUE(Load(Build(Header("NYX2", 2, 10, 8, 3), image)));
    EXPECT_TRUE(window.ethPanel);
    EXPECT_FALSE(window.serialPanel);
    EXPECT_EQ(window.statusText, QStringLiteral("Status: Ready."));
    EXPECT_EQ(refreshes, 0);
    EXPECT_EQ(port.text, QStringLiteral("1200,n,8,1"));
    EXPECT_EQ(prompts.questions.at(0).text, Question.arg("LanSignalViewer2", "2.10.3"));
    EXPECT_EQ(fw.ProgramImage, image);
    EXPECT_EQ(fw.EepromImage, QByteArray("kept"));
    EXPECT_EQ(fw.ConfigImage, QByteArray("also"));
    EXPECT_EQ(fw.ProgramEnd, 77);
}

TEST_F(Reader, APackageWithTheTwoPartKeyLoadsWhateverItsThirdNumber) {
    const QByteArray image = Pattern(40);
    ASSERT_TRUE(Load(Build(Header("VESKAR2", 2, 10, 8, 99), image, KeyParts::Two)));
    EXPECT_EQ(fw.ProgramImage, image);
    EXPECT_TRUE(log.records.isEmpty());
}

TEST_F(Reader, DecliningKeepsTheDeclinedHeaderAndTheImagesAndDecodesNothing) {
    fw.ProgramImage = "old image";
    prompts.answers = {false};
    EXPECT_FALSE(Load(Build(Header("BRIX12", 3, 1, 1, 2), Lines({EndRecord()}))));
    EXPECT_EQ(fw.Header.trimmedCode(), QStringLiteral("BRIX12"));
    EXPECT_EQ(fw.Header.versionText(), QStringLiteral("3.1.2"));
    EXPECT_EQ(fw.ProgramImage, QByteArray("old image"));
    EXPECT_EQ(port.text, QStringLiteral("4800,n,8,1")) << "the window was prepared before asking";
    EXPECT_EQ(window.progressBar.shows, 0);
}

TEST_F(Reader, AWrongKeyIsRefusedWithTheProductsName) {
    QByteArray package = ReadAll(Serial(Lines({EndRecord()})));
    package[11] = 13; // the revision no longer matches the key the package was built with
    WriteAll(dir.path("changed.dff"), package);
    EXPECT_FALSE(Load(dir.path("changed.dff")));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              QStringLiteral(
                  "Invalid DFF file.  Please obtain the latest TORV5 software and DFF files."));
    EXPECT_EQ(prompts.messages[0].icon, Icon::Error);
}

TEST_F(Reader, AnUnknownProductIsNotJudgedHereAndKeepsThePortSettings) {
    ASSERT_TRUE(Load(Build(Header("ZZZ", 1, 0, 5, 0), Lines({EndRecord()}))));
    EXPECT_EQ(prompts.questions.at(0).text, Question.arg("", "1.0.0"));
    EXPECT_EQ(port.text, QStringLiteral("1200,n,8,1"));
    EXPECT_EQ(refreshes, 1);
}

TEST_F(Reader, APortThatRefusesItsSettingsIsLoggedAndTheLoadGoesOn) {
    port.rejectSettings = true;
    ASSERT_TRUE(Load(Serial(Lines({EndRecord()}))));
    ASSERT_EQ(log.records.size(), 1);
    EXPECT_TRUE(log.records[0].startsWith(
        "Error 8015 (Unable to set comm state) in procedure LoadDFFFile of Module modFW on line "));
}

TEST_F(Reader, DataPastTheProgramMemoryShowsTheAddressBox) {
    EXPECT_FALSE(Load(Serial(Lines({Data(0x3F3E, Bytes({1, 2, 3, 4})), EndRecord()}))));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, AddressMessage(0x3F3E));
    EXPECT_TRUE(prompts.messages[0].text.contains("0x1F9F"));
    EXPECT_EQ(prompts.messages[0].icon, Icon::Error);
}

// Mended: the body had no check value and record checksums were ignored, so a damaged
// package loaded as damaged firmware.
TEST_F(Reader, ADamagedRecordEndsTheLoadNamingItsLine) {
    QByteArray bad = Data(0x10, Bytes({1, 2, 3}));
    bad[bad.size() - 1] = bad.at(bad.size() - 1) == '0' ? '1' : '0';
    EXPECT_FALSE(Load(Serial(Lines({Data(0, Bytes({9})), bad, EndRecord()}))));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, DamagedRecordMessage(2));
    EXPECT_TRUE(prompts.messages[0].text.contains("damaged"));
    EXPECT_TRUE(prompts.messages[0].text.contains("line 2"));
}

// Mended: a body whose lines end in LF alone read as one line and never loaded.
TEST_F(Reader, ABodyWithLineFeedEndingsLoads) {
    ASSERT_TRUE(Load(Serial(Lines({Data(0x20, Bytes({7, 8})), EndRecord()}, "\n"))));
    EXPECT_EQ(fw.ProgramEnd, 0x22);
    EXPECT_EQ(fw.ProgramImage.mid(0x20, 2), Bytes({7, 8}));
}

TEST_F(Reader, ABodyWithoutAnEndRecordFailsSilently) {
    EXPECT_FALSE(Load(Serial(Lines({Data(0, Bytes({1}))}))));
    EXPECT_TRUE(prompts.messages.empty());
}

// Mended: an unreadable or short package went on with the previous package's header and
// asked to confirm a product the chosen file does not hold.
struct AccessRow {
    const char* what;
    const char* message;
    bool logged;
};

class ReaderAccess : public Reader, public ::testing::WithParamInterface<AccessRow> {};

TEST_P(ReaderAccess, EndsTheLoadAtOnceWithTheAccessBox) {
    fw.Header = Header("ORBEL", 9, 8, 4, 7);
    const std::string what = GetParam().what;
    QString path = dir.path("missing.dff");
    if (what == "short") {
        path = dir.path("short.dff");
        WriteAll(path, QByteArray(17, 'x'));
    } else if (what == "folder") {
        path = dir.folder();
    }
    EXPECT_FALSE(Load(path));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, QString::fromLatin1(GetParam().message));
    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_EQ(fw.Header.trimmedCode(), QStringLiteral("ORBEL"));
    EXPECT_EQ(fw.Header.versionText(), QStringLiteral("9.8.7"));
    EXPECT_FALSE(window.serialPanel || window.ethPanel);
    EXPECT_EQ(refreshes, 0);
    EXPECT_EQ(log.records.size(), GetParam().logged ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReaderAccess,
    ::testing::Values(
        AccessRow{"missing", "Unable to access the DFF file. File not found", true},
        AccessRow{"short", "Unable to access the DFF file. Input past end of file", true},
        AccessRow{"folder", "Unable to access the DFF file. Path/File access error", true}),
    [](const auto& info) { return std::string(info.param.what); });

// A second load while the first is still decoding its own package (the window runs events
// during a decode). Loads once shared one file, and the first got the second's bytes.
TEST_F(Reader, TwoLoadsAtOnceEachGetTheirOwnImage) {
    const QByteArray first = Pattern(4 * 1024 * 1024, 1);
    const QByteArray second = Pattern(5000, 2);
    const QString firstPackage = Build(Header("NYX2", 2, 10, 8, 3), first);
    const QString secondPackage = Build(Header("VESKAR2", 1, 2, 8, 3), second);
    fakes::FakeBench other;
    bool secondLoaded = false;
    // As the window's bar does while a click's decode holds its thread.
    window.progressBar.onFill = [] { QCoreApplication::processEvents(); };
    // Runs at the first pass of window events, which is inside the first decode.
    QTimer::singleShot(0, [&] { secondLoaded = LoadDFFFile(other.load(), secondPackage, {}); });

    ASSERT_TRUE(Load(firstPackage));
    ASSERT_TRUE(secondLoaded);
    EXPECT_EQ(other.fw.ProgramImage, second);
    EXPECT_EQ(fw.ProgramImage.size(), first.size());
    EXPECT_TRUE(fw.ProgramImage == first);
    EXPECT_TRUE(log.records.isEmpty()) << log.records.join('\n').toStdString();
    EXPECT_TRUE(other.log.records.isEmpty()) << other.log.records.join('\n').toStdString();
}

// A package is measured before a byte of its body is decoded: one whose unit could never take
// it is refused with its size and the limit, before the question.
TEST_F(Reader, APackageTooLargeForItsUnitIsRefusedBeforeItsBodyIsRead) {
    struct Row {
        DFFHeader header;
        qint64 packageSize;
        const char* message; // none: within the limit, so the question is asked
    };
    const Row rows[] = {
        {Header("NYX2", 2, 10, 8, 3), 40 * 1024 * 1024,
         "The firmware in this DFF file is 41943002 bytes long; a network unit takes at most "
         "33553919 bytes.  Unable to load the DFF file."},
        {Header("NYX2", 2, 10, 8, 3), 33553919 + 38, nullptr},
        {Header("TORV5", 1, 4, 0, 12), 8 * 1024 * 1024 + 39,
         "The firmware in this DFF file is 8388609 bytes long; a serial unit's firmware file has "
         "at most 8388608 bytes.  Unable to load the DFF file."},
        {Header("TORV5", 1, 4, 0, 12), 8 * 1024 * 1024 + 38, nullptr},
    };
    prompts.defaultAnswer = false;
    for (const Row& row : rows) {
        prompts.messages.clear();
        prompts.questions.clear();
        // Sparse: only the header is on the disk.
        const QString path = dir.path(QStringLiteral("large%1.dff").arg(row.packageSize));
        WriteAll(path, row.header.toBytes());
        ASSERT_TRUE(QFile::resize(path, row.packageSize));

        EXPECT_FALSE(Load(path));
        if (row.message) {
            ASSERT_EQ(prompts.messages.size(), 1u);
            EXPECT_EQ(prompts.messages[0].text, QString::fromLatin1(row.message));
            EXPECT_EQ(prompts.messages[0].icon, Icon::Error);
            EXPECT_TRUE(prompts.questions.empty());
        } else {
            EXPECT_TRUE(prompts.messages.empty());
            EXPECT_EQ(prompts.questions.size(), 1u);
        }
    }
    EXPECT_EQ(window.progressBar.shows, 0);
}

#if defined(Q_OS_LINUX) && !defined(QUORVEX_ADDRESS_SANITIZER)
// Memory that runs out in the middle of a load ends that load with a message; the program
// goes on. (The address sanitizer needs the address space this
// takes away.)
TEST_F(Reader, MemoryRunningOutEndsTheLoadNotTheProgram) {
    const QString package = Build(Header("NYX2", 2, 10, 8, 3), Pattern(24 * 1024 * 1024));
    bool loaded = true;
    {
        AddressSpaceLimit limit(12 * 1024 * 1024);
        ASSERT_TRUE(limit.active());
        loaded = Load(package);
    }
    EXPECT_FALSE(loaded);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Not enough memory to load the DFF file.");
    ASSERT_EQ(log.records.size(), 1);
    EXPECT_TRUE(log.records[0].startsWith(
        "Error 7 (Out of memory) in procedure LoadDFFFile of Module modFW on line "));
}
#endif

// Packages made by an independent implementation load as their README says.
TEST_F(Reader, CompatibilityPackagesLoadAsDescribed) {
    ASSERT_TRUE(Load(Fixture("revector16.dff")));
    EXPECT_EQ(fw.ProgramEnd, 16);
    EXPECT_EQ(fw.ProgramImage.left(8), Bytes({0x1F, 0x30, 0x8A, 0x00, 0xA0, 0x2F, 0xFF, 0xFF}));
    EXPECT_EQ(fw.ProgramImage.mid(16184), Bytes({0x8A, 0x01, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15}));
    EXPECT_EQ(FlashBlocksToSend(fw.ProgramImage), 2);

    ASSERT_TRUE(Load(Fixture("eeprom_f0.dff")));
    EXPECT_EQ(fw.ProgramEnd, 8);
    ASSERT_EQ(fw.EepromImage.size(), 18);
    EXPECT_EQ(fw.EepromImage.mid(16), Bytes({0xA5, 0x5A}));
    EXPECT_EQ(fw.EepromPresent.count(char(1)), 2);
    EXPECT_EQ(fw.EepromPresent.mid(16), Bytes({1, 1}));
    EXPECT_EQ(FlashBlocksToSend(fw.ProgramImage), 2);

    ASSERT_TRUE(Load(Fixture("sparse17.dff")));
    EXPECT_EQ(FlashBlocksToSend(fw.ProgramImage), 17);
    EXPECT_NE(fw.ProgramImage.mid(960, 64), QByteArray(64, char(0xFF)));
    EXPECT_EQ(fw.ProgramImage.mid(1024, 64), QByteArray(64, char(0xFF)));
    EXPECT_NE(fw.ProgramImage.mid(16128, 64), QByteArray(64, char(0xFF)));

    const QByteArray net = ReadAll(Fixture("net1000.bin"));
    ASSERT_EQ(net.size(), 1000);
    ASSERT_TRUE(Load(Fixture("net1000.dff")));
    EXPECT_EQ(fw.ProgramImage, net);
    fw.ProgramImage.clear();
    ASSERT_TRUE(Load(Fixture("twopart_2.10.dff")));
    EXPECT_EQ(fw.ProgramImage, net);
    EXPECT_EQ(fw.Header.versionText(), QStringLiteral("2.10.7"));
    EXPECT_TRUE(prompts.messages.empty());

    EXPECT_FALSE(Load(Fixture("wrongkey.dff")));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              QStringLiteral(
                  "Invalid DFF file.  Please obtain the latest TORV5 software and DFF files."));

    EXPECT_FALSE(Load(Fixture("empty.dff")));
    EXPECT_EQ(prompts.messages.size(), 1u) << "no message for a body without an end record";
    EXPECT_TRUE(log.records.isEmpty()) << log.records.join('\n').toStdString();
}
