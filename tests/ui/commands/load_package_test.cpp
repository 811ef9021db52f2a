// A package loaded through the window's main button, against fakes: what the header
// prepares, what is asked and told, and what the window keeps.
#include "net/tftp_packets.h"
#include "package/cipher.h"
#include "package/intel_hex.h"
#include "package/package_reader.h"
#include "package/unwritable_places.h"
#include "support/bounded_wait.h"
#include "support/fake_bench.h"
#include "support/hex_records.h"
#include "support/test_files.h"
#include "ui/commands/update_command.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

const QString Question = QStringLiteral("Loading firmware file for the following product: \r\n\r\n"
                                        "%1\r\nVersion: %2\r\n\r\nDo you want to continue?");

// The load as the window's main button runs it, with no package loaded: the dialog picks
// `path`, and the click's work is waited for.
class Reader : public ::testing::Test, protected fakes::FakeBench {
  protected:
    bool Load(const QString& path) {
        fw.releaseImages();
        dialogs.choose(path);
        command.LoadOrFlash();
        EXPECT_TRUE(WaitUntil([&] { return !worker.busy(); }, 60000));
        return fw.isLoaded();
    }
    // The port list was scanned again this many times.
    int refreshes() const {
        return int(window.captions.count("Scanning available COM ports, please wait..."));
    }

    static DFFHeader Header(const char* code, int major, int minor, int chip, int revision) {
        return DFFHeader::Of(QString::fromLatin1(code), major, minor, chip, revision);
    }

    QString Build(const DFFHeader& h, const QByteArray& body, KeyParts parts = KeyParts::Three) {
        const QString source = dir.path(QStringLiteral("body%1").arg(++built));
        const QString target = dir.path(QStringLiteral("p%1.dff").arg(built));
        WriteAll(source, body);
        EXPECT_TRUE(EncodeFile(source, target, PackageKey(h, parts), h, nullptr, log));
        return target;
    }
    QString Serial(const QByteArray& body) { return Build(Header("TORV5", 1, 4, 0, 12), body); }

    Scratch dir;
    int built = 0;
    fakes::ScriptedDialogs dialogs;
    WorkThread worker;
    StopRequest stop;
    UpdateCommand command{side(), UploadLine{socket, tftp::DefaultServerPort}, dialogs, worker,
                          stop};
};

int FlashBlocksToSend(const QByteArray& image) {
    int blocks = 0;
    for (int at = 0; at < image.size(); at += 64)
        if (image.mid(at, 64) != QByteArray(std::min<qsizetype>(64, image.size() - at), char(0xFF)))
            ++blocks;
    return blocks;
}

} // namespace

TEST_F(Reader, ACancelledDialogGivesFalseAndTouchesNothing) {
    dialogs.cancel();
    command.LoadOrFlash();
    EXPECT_FALSE(worker.busy());
    EXPECT_FALSE(fw.isLoaded());
    EXPECT_EQ(window.caption, "Browse for DFF file");
    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(window.statusHistory.isEmpty());
    EXPECT_EQ(refreshes(), 0);
}

TEST_F(Reader, ASerialPackagePreparesTheSerialPanelAsksAndLoads) {
    const QString package = Serial(Lines({Data(0, Bytes({1, 2, 3, 4, 5, 6, 7, 8})), EndRecord()}));
    ASSERT_TRUE(Load(package));
    EXPECT_TRUE(window.serialPanel);
    EXPECT_FALSE(window.ethPanel);
    EXPECT_EQ(port.text, QStringLiteral("9600,n,8,1"));
    EXPECT_EQ(refreshes(), 1);
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
    const QByteArray image = Pattern(1000, 3);
    ASSERT_TRUE(Load(Build(Header("NYX2", 2, 10, 8, 3), image)));
    EXPECT_TRUE(window.ethPanel);
    EXPECT_FALSE(window.serialPanel);
    EXPECT_EQ(window.statusText, QStringLiteral("Status: Ready."));
    EXPECT_EQ(refreshes(), 0);
    EXPECT_EQ(port.text, QStringLiteral("1200,n,8,1"));
    EXPECT_EQ(prompts.questions.at(0).text, Question.arg("LanSignalViewer2", "2.10.3"));
    EXPECT_EQ(fw.ProgramImage, image);
    EXPECT_EQ(fw.Header.trimmedCode(), QStringLiteral("NYX2"));
    EXPECT_TRUE(fw.EepromImage.isEmpty());
    EXPECT_EQ(window.caption, "Upload firmware ver. 2.10.3 to LanSignalViewer2");
    EXPECT_EQ(window.enableCalls, std::vector<bool>({false, true}))
        << "locked once, given back once";
}

TEST_F(Reader, APackageWithTheTwoPartKeyLoadsWhateverItsThirdNumber) {
    const QByteArray image = Pattern(40);
    ASSERT_TRUE(Load(Build(Header("VESKAR2", 2, 10, 8, 99), image, KeyParts::Two)));
    EXPECT_EQ(fw.ProgramImage, image);
    EXPECT_TRUE(log.records.isEmpty());
}

TEST_F(Reader, DecliningDecodesNothingAndLeavesTheWindowReadyForAnother) {
    prompts.answers = {false};
    EXPECT_FALSE(Load(Build(Header("BRIX12", 3, 1, 1, 2), Lines({EndRecord()}))));
    EXPECT_EQ(port.text, QStringLiteral("4800,n,8,1")) << "the window was prepared before asking";
    EXPECT_EQ(window.progressBar.shows, 0);
    EXPECT_EQ(window.caption, "Unable to load. Click to try again.");
    EXPECT_FALSE(window.serialPanel || window.ethPanel);
    EXPECT_TRUE(window.controlsEnabled);
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
    EXPECT_EQ(refreshes(), 1);
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

// The window's dialog only gives files that are there; the header step refuses the rest itself.
TEST_P(ReaderAccess, TheHeaderStepRefusesWithTheAccessText) {
    const std::string what = GetParam().what;
    QString path = dir.path("missing.dff");
    if (what == "short") {
        path = dir.path("short.dff");
        WriteAll(path, QByteArray(17, 'x'));
    } else if (what == "folder") {
        path = dir.folder();
    }
    const auto head = OpenPackageHeader(path, log);
    const auto* refusal = std::get_if<PackageRefusal>(&head);
    ASSERT_NE(refusal, nullptr);
    EXPECT_EQ(refusal->message, QString::fromLatin1(GetParam().message));
    EXPECT_FALSE(refusal->header);
    EXPECT_EQ(log.records.size(), GetParam().logged ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReaderAccess,
    ::testing::Values(
        AccessRow{"missing", "Unable to access the DFF file. File not found", true},
        AccessRow{"short", "Unable to access the DFF file. Input past end of file", true},
        AccessRow{"folder", "Unable to access the DFF file. Path/File access error", true}),
    [](const auto& info) { return std::string(info.param.what); });

// The click returns with the window locked while the worker waits on the question; the
// decode follows on the worker once the question is answered.
TEST_F(Reader, TheClickReturnsBeforeTheQuestionAndTheDecode) {
    const QByteArray image = Pattern(4 * 1024 * 1024, 1);
    dialogs.choose(Build(Header("NYX2", 2, 10, 8, 3), image));
    command.LoadOrFlash();
    EXPECT_TRUE(worker.busy());
    EXPECT_FALSE(window.controlsEnabled);
    EXPECT_EQ(window.caption, "Verifying DFF...");
    ASSERT_TRUE(WaitUntil([&] { return !worker.busy(); }, 60000));
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_TRUE(fw.ProgramImage == image);
    EXPECT_TRUE(window.controlsEnabled);
    EXPECT_FALSE(window.progressBar.visible);
    EXPECT_TRUE(log.records.isEmpty()) << log.records.join('\n').toStdString();
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
// goes on. (The address sanitizer needs the address space this takes away.) Opened here on
// the test's own thread: a worker's heap may hold address space reserved before the limit.
TEST_F(Reader, MemoryRunningOutEndsTheLoadNotTheProgram) {
    const QString body = dir.path(QStringLiteral("big.bin"));
    {
        QFile out(body);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        for (int mib = 0; mib < 24; ++mib)
            ASSERT_EQ(out.write(Pattern(1024 * 1024, mib)), 1024 * 1024);
    }
    const DFFHeader header = Header("NYX2", 2, 10, 8, 3);
    const QString package = dir.path(QStringLiteral("big.dff"));
    ASSERT_TRUE(EncodeFile(body, package, PackageKey(header), header, nullptr, log));
    fakes::ConfirmingReport yes;
    OpenOutcome opened = Declined{};
    {
        AddressSpaceLimit limit(12 * 1024 * 1024);
        ASSERT_TRUE(limit.active());
        // The heap may hold freed room of its own, which no limit takes away: taken here,
        // all but a few megabytes for the small allocations of a load.
        std::vector<QByteArray> taken;
        try {
            for (;;)
                taken.emplace_back(1024 * 1024, Qt::Uninitialized);
        } catch (const std::bad_alloc&) {
        }
        taken.resize(taken.size() > 4 ? taken.size() - 4 : 0);
        opened = OpenPackage(package, yes, log);
    }
    const auto* refusal = std::get_if<PackageRefusal>(&opened);
    ASSERT_NE(refusal, nullptr) << log.records.join('\n').toStdString();
    EXPECT_EQ(refusal->message, "Not enough memory to load the DFF file.");
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
