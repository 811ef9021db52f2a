#include "hex_records.h"
#include "package/cipher.h"
#include "package/intel_hex.h"
#include "package/package_reader.h"
#include "support/fake_bench.h"
#include "test_files.h"
#include "unwritable_places.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryFile>
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
    Reader() { FakeBench::programFolder = programFolder; }
    void SetUp() override { QDir().mkpath(programFolder); }

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

    // The temporary files of loads in the program's folder.
    QStringList TemporaryFiles() const {
        return QDir(programFolder)
            .entryList({QStringLiteral("FWValidate.*")},
                       QDir::AllEntries | QDir::Hidden | QDir::System);
    }
    // A name like the temporary file's, planted by someone else.
    QString planted() const { return programFolder + QStringLiteral("/FWValidate"); }

    // Looks for the temporary file while the body is decoded and whenever a box is shown.
    void WatchTemporaryFile() {
        window.progressBar.onFill = [this] {
            tempSeenWhileDecoding = tempSeenWhileDecoding || !TemporaryFiles().isEmpty();
        };
        prompts.onMessage = [this](const fakes::ShownMessage&) {
            tempSeenDuringBox = !TemporaryFiles().isEmpty();
        };
    }

    Scratch dir;
    QString programFolder = dir.path(QStringLiteral("program"));
    int refreshes = 0;
    int built = 0;
    bool tempSeenWhileDecoding = false;
    bool tempSeenDuringBox = false;
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
    EXPECT_TRUE(TemporaryFiles().isEmpty());
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
    EXPECT_TRUE(TemporaryFiles().isEmpty());
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
    EXPECT_TRUE(TemporaryFiles().isEmpty());
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
    EXPECT_TRUE(TemporaryFiles().isEmpty());
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
    WatchTemporaryFile();
    EXPECT_FALSE(Load(Serial(Lines({Data(0x3F3E, Bytes({1, 2, 3, 4})), EndRecord()}))));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, AddressMessage(0x3F3E));
    EXPECT_TRUE(prompts.messages[0].text.contains("0x1F9F"));
    EXPECT_EQ(prompts.messages[0].icon, Icon::Error);
    EXPECT_TRUE(tempSeenWhileDecoding) << "the body is decoded beside the program";
    EXPECT_FALSE(tempSeenDuringBox) << "and gone before the technician reads the box";
    EXPECT_TRUE(TemporaryFiles().isEmpty());
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
    EXPECT_TRUE(TemporaryFiles().isEmpty());
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
    EXPECT_TRUE(TemporaryFiles().isEmpty());
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
    EXPECT_TRUE(TemporaryFiles().isEmpty());
    EXPECT_EQ(log.records.size(), GetParam().logged ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReaderAccess,
    ::testing::Values(
        AccessRow{"missing", "Unable to access the DFF file. File not found", true},
        AccessRow{"short", "Unable to access the DFF file. Input past end of file", true},
        AccessRow{"folder", "Unable to access the DFF file. Path/File access error", true}),
    [](const auto& info) { return std::string(info.param.what); });

// The system's temporary folder, for as long as this lives: a folder of the test's own, so
// that whatever a load leaves there can be seen.
class OwnSystemTemp {
  public:
    OwnSystemTemp() : saved_(qgetenv("TMPDIR")) { qputenv("TMPDIR", QFile::encodeName(path())); }
    ~OwnSystemTemp() {
        if (saved_.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", saved_);
    }
    QString path() const { return dir_.folder(); }
    // Every file and folder in it, at any depth.
    QStringList contents() const {
        QStringList out;
        QDirIterator it(path(),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            out << it.next();
        return out;
    }

  private:
    Scratch dir_;
    QByteArray saved_;
};

// Whether the program's folder can take the file is found out by making it there: a missing
// folder, one on a read-only file system, one whose bits say read-only (which root may still
// write). Each load succeeds and leaves nothing behind.
class ReaderFolders : public Reader, public ::testing::WithParamInterface<const char*> {};

TEST_P(ReaderFolders, LoadAndLeaveNoTemporaryFile) {
    OwnSystemTemp systemTemp;
    const std::string kind = GetParam();
    bool madeHere = false;
    if (kind == "missing") {
        programFolder = dir.path("no such folder");
    } else if (kind == "read-only file system") {
#if defined(Q_OS_LINUX)
        programFolder = QStringLiteral("/proc/self");
#else
        GTEST_SKIP() << "no read-only file system to hand";
#endif
    } else {
        ASSERT_TRUE(
            QFile::setPermissions(programFolder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        madeHere = QTemporaryFile(programFolder + "/probe").open();
    }
    FakeBench::programFolder = programFolder;
    const QByteArray image = Pattern(3000, 5);
    const QString network = Build(Header("NYX2", 2, 10, 8, 3), image);
    const QString serial = Serial(Lines({Data(0x3F3E, Bytes({1, 2, 3, 4})), EndRecord()}));

    ASSERT_TRUE(Load(network));
    EXPECT_EQ(fw.ProgramImage, image);
    // Where the body goes is seen while it is decoded.
    QStringList seen;
    window.progressBar.onFill = [&] {
        if (seen.isEmpty())
            seen = systemTemp.contents() + TemporaryFiles();
    };
    EXPECT_FALSE(Load(serial));
    ASSERT_FALSE(seen.isEmpty());
    if (madeHere) {
        EXPECT_TRUE(seen.last().startsWith("FWValidate.")) << seen.join(' ').toStdString();
    } else {
        ASSERT_EQ(seen.size(), 2) << seen.join(' ').toStdString(); // private folder and file
        EXPECT_TRUE(QFileInfo(seen[0]).fileName().startsWith("quorvex-"));
        EXPECT_TRUE(QFileInfo(seen[1]).fileName().startsWith("FWValidate."));
    }

    EXPECT_TRUE(systemTemp.contents().isEmpty()) << systemTemp.contents().join(' ').toStdString();
    EXPECT_TRUE(TemporaryFiles().isEmpty());
    EXPECT_TRUE(log.records.isEmpty()) << log.records.join('\n').toStdString();
    QFile::setPermissions(dir.path("program"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ReaderFolders,
                         ::testing::Values("missing", "read-only file system", "read-only bits"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// Two copies of the program in one folder: the second loads its package while the first is
// still decoding its own. They once shared one file, and the first got the second's bytes.
TEST_F(Reader, TwoLoadsAtOnceInOneFolderEachGetTheirOwnImage) {
    const QByteArray first = Pattern(4 * 1024 * 1024, 1);
    const QByteArray second = Pattern(5000, 2);
    const QString firstPackage = Build(Header("NYX2", 2, 10, 8, 3), first);
    const QString secondPackage = Build(Header("VESKAR2", 1, 2, 8, 3), second);
    fakes::FakeBench other(programFolder);
    int filesDuringSecond = 0;
    other.prompts.onQuestion = [&](const fakes::ShownMessage&) {
        filesDuringSecond = int(TemporaryFiles().size());
    };
    bool secondLoaded = false;
    // Runs at the first pass of window events, which is inside the first decode.
    QTimer::singleShot(0, [&] { secondLoaded = LoadDFFFile(other.load(), secondPackage, {}); });

    ASSERT_TRUE(Load(firstPackage));
    ASSERT_TRUE(secondLoaded);
    EXPECT_EQ(filesDuringSecond, 1) << "the first load's file was not there during the second";
    EXPECT_EQ(other.fw.ProgramImage, second);
    EXPECT_EQ(fw.ProgramImage.size(), first.size());
    EXPECT_TRUE(fw.ProgramImage == first);
    EXPECT_TRUE(TemporaryFiles().isEmpty());
    EXPECT_TRUE(log.records.isEmpty()) << log.records.join('\n').toStdString();
    EXPECT_TRUE(other.log.records.isEmpty()) << other.log.records.join('\n').toStdString();
}

// Someone else's link or folder under a name a load tries is never opened, written through or
// removed; the load takes another name.
TEST_F(Reader, PlantedLinksAndFoldersNamedLikeTheTemporaryFileAreNeitherFollowedNorFatal) {
    const QString victim = dir.path("victim");
    WriteAll(victim, "keep me");
    const QString link = programFolder + "/FWValidate.link";
    const QString folder = programFolder + "/FWValidate.folder";
    ASSERT_TRUE(QFile::link(victim, link));
    ASSERT_TRUE(QDir().mkpath(folder));
    {
        QStringList names{"FWValidate.link", "FWValidate.folder", "FWValidate.mine"};
        TemporaryBody body(programFolder, [&] { return names.takeFirst(); });
        ASSERT_TRUE(body.isOpen());
        EXPECT_EQ(body.path(), programFolder + "/FWValidate.mine");
        EXPECT_EQ(body.file().write("decoded"), 7);
    }
    {
        OwnSystemTemp systemTemp;
        TemporaryBody body(programFolder, [] { return QStringLiteral("FWValidate.link"); });
        ASSERT_TRUE(body.isOpen()) << "every name taken here: a private folder takes it";
        EXPECT_TRUE(body.path().startsWith(systemTemp.path() + "/quorvex-"));
    }
    EXPECT_FALSE(QFile::exists(programFolder + "/FWValidate.mine"));

    // Whole loads, with the fixed name of old planted as a link and then as a folder.
    ASSERT_TRUE(QFile::link(victim, planted()));
    const QByteArray image = Pattern(2000, 4);
    ASSERT_TRUE(Load(Build(Header("NYX2", 2, 10, 8, 3), image)));
    EXPECT_EQ(fw.ProgramImage, image);
    ASSERT_TRUE(QFile::remove(planted()));
    ASSERT_TRUE(QDir().mkpath(planted()));
    ASSERT_TRUE(Load(Serial(Lines({Data(0, Bytes({1, 2})), EndRecord()}))));
    EXPECT_TRUE(prompts.messages.empty());

    EXPECT_EQ(ReadAll(victim), QByteArray("keep me"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(QFileInfo(planted()).isDir());
    EXPECT_EQ(TemporaryFiles(), QStringList({"FWValidate.folder", "FWValidate.link"}));
}

// A package is measured before a byte of its body is decoded: one whose unit could never take
// it is refused with its size and the limit, before the question and without a file.
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
    EXPECT_TRUE(TemporaryFiles().isEmpty());
}

#if defined(QUORVEX_HAS_UNWRITABLE_PLACES)
// A disk that fills while the body is decoded: the load ends with a message that says so, not
// with "Invalid DFF file", and the part that was written goes.
TEST_F(Reader, ADiskFullWhileDecodingEndsTheLoadWithAMessageAndLeavesNoFile) {
    const QString package = Build(Header("NYX2", 2, 10, 8, 3), Pattern(1024 * 1024));
    WatchTemporaryFile();
    bool loaded = true;
    {
        FileSizeLimit limit(256 * 1024);
        ASSERT_TRUE(limit.active());
        loaded = Load(package);
    }
    EXPECT_FALSE(loaded);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.startsWith("Unable to decode the DFF file. "))
        << prompts.messages[0].text.toStdString();
    EXPECT_FALSE(tempSeenDuringBox);
    EXPECT_TRUE(TemporaryFiles().isEmpty());
    ASSERT_EQ(log.records.size(), 1);
    EXPECT_TRUE(log.records[0].contains("in procedure DecMD5 of Module modMD5Shell"));
    EXPECT_FALSE(fw.isLoaded());
}
#endif

#if defined(Q_OS_LINUX) && !defined(QUORVEX_ADDRESS_SANITIZER)
// Memory that runs out in the middle of a load ends that load with a message; the program
// goes on, and the decoded body is gone. (The address sanitizer needs the address space this
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
    EXPECT_TRUE(TemporaryFiles().isEmpty());
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
    EXPECT_TRUE(TemporaryFiles().isEmpty());
}
