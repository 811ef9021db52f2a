// quorvex-cli run as a program: packages built and read back, refusals, units flashed side by
// side over pseudo-terminals. Uploads are in upload_test.cpp.
#include "bootsim/simulator.h"
#include "cli_run.h"
#include "package/intel_hex.h"
#include "support/bounded_wait.h"
#include "support/test_files.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace quorvex {
namespace {

using quorvex::testing::Cli;
using quorvex::testing::CliProgram;
using quorvex::testing::CliRun;
using quorvex::testing::Fixture;
using quorvex::testing::FixtureBytes;
using quorvex::testing::RecordLines;
using quorvex::testing::RecordOf;

QJsonArray InfoJson(const QStringList& packages, int* status = nullptr) {
    const CliRun r = Cli(QStringList{QStringLiteral("info"), QStringLiteral("--json")} + packages);
    if (status)
        *status = r.status;
    return QJsonDocument::fromJson(r.out.toUtf8()).array();
}

TEST(CliPack, PackedPackageReadsBackWithItsHeaderAndContents) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString serial = dir.filePath(QStringLiteral("main v1.4.12.dff"));
    const QString network = dir.filePath(QStringLiteral("nyx.dff"));
    CliRun r = Cli({"pack", "--product", "TORV5", "--chip", "0", "--version", "1.4.12",
                    Fixture("revector16.hex"), serial});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    // The chip by its model name, in any case.
    r = Cli({"pack", "--product", "NYX2", "--chip", "pic18f67j60", "--version=2.10.3",
             Fixture("net1000.bin"), network});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    // Nothing but the two packages: the temporary files they were built in are gone.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);

    int status = -1;
    const QJsonArray info = InfoJson({serial, network}, &status);
    ASSERT_EQ(info.size(), 2);
    EXPECT_EQ(status, 0);
    const QJsonObject s = info[0].toObject();
    EXPECT_EQ(s["productCode"].toString(), "TORV5");
    EXPECT_EQ(s["chipId"].toInt(), 0);
    EXPECT_EQ(s["version"].toString(), "1.4.12");
    EXPECT_EQ(s["key"].toString(), "three-part");
    EXPECT_EQ(s["flashBlocks"].toInt(), 2);
    EXPECT_EQ(s["programEnd"].toInt(), 16);
    const QJsonObject n = info[1].toObject();
    EXPECT_EQ(n["kind"].toString(), "network");
    EXPECT_EQ(n["productName"].toString(), "LanSignalViewer2");
    EXPECT_EQ(n["imageSize"].toInt(), 1000);
    EXPECT_EQ(n["tftpBlocks"].toInt(), 2);
}

TEST(CliPack, RefusedVersionAndBadArgumentsLeaveNoPackage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString out = dir.filePath(QStringLiteral("p.dff"));
    CliRun r = Cli({"pack", "--product", "TORV5", "--chip", "0", "--version", "1.300.0",
                    Fixture("revector16.hex"), out});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral(
        "The minor version box holds \"300\". It accepts a whole number from 0 to 255.")))
        << r.err.toStdString();

    r = Cli({"pack", "--product", "TORV5", "--chip", "0", "--version", "1.4.12", "--colour", "red",
             Fixture("revector16.hex"), out});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("'--colour'"))) << r.err.toStdString();

    r = Cli({"pack", "--product", "TORV5", "--chip", "42", "--version", "1.4.12",
             Fixture("revector16.hex"), out});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("'--chip'"))) << r.err.toStdString();

    r = Cli({"upload", Fixture("net1000.dff"), "--target", "127.0.0.1", "--tftp-port", "70000"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("'--tftp-port'"))) << r.err.toStdString();

    // An input that cannot be read fails the build; no part of a package is left.
    r = Cli({"pack", "--product", "TORV5", "--chip", "0", "--version", "1.4.12",
             dir.filePath(QStringLiteral("missing.hex")), out});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// How far the process has read `path`: the offset of its open file, or -1 while it has none.
qint64 ReadOffset(qint64 pid, const QString& path) {
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    const QStringList fds = QDir(proc + QStringLiteral("fd"))
                                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& fd : fds) {
        if (QFile::symLinkTarget(proc + QStringLiteral("fd/") + fd) != path)
            continue;
        QFile info(proc + QStringLiteral("fdinfo/") + fd);
        if (!info.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("pos:"))
                return line.mid(4).trimmed().toLongLong();
    }
    return -1;
}

// The process's state letter from /proc ('T' when stopped); 0 when it is gone.
char ProcessState(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() ? line[close + 2] : 0;
}

struct Interrupted {
    bool midway = false; // caught between a quarter and the end of `reading`
    QProcess::ExitStatus exit = QProcess::NormalExit;
    int code = -1; // the exit status, or the signal that ended it
};

// Runs quorvex-cli in `work`, with the system's temporary folder at `tmp`; stops it once it has
// read a quarter of `reading`, sends it `signal` and lets it end.
Interrupted InterruptMidway(const QStringList& args, const QString& reading, int signal,
                            const QString& work, const QString& tmp) {
    Interrupted out;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), tmp);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(work);
    p.start(CliProgram(), args);
    if (!p.waitForStarted(10000))
        return out;
    const qint64 pid = p.processId();
    const qint64 size = QFileInfo(reading).size();
    const QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired() && !p.waitForFinished(1)) {
        const qint64 at = ReadOffset(pid, reading);
        if (at < size / 4)
            continue;
        ::kill(pid_t(pid), SIGSTOP);
        const QDeadlineTimer stopping(10000);
        while (!stopping.hasExpired() && ProcessState(pid) != 'T')
            QThread::msleep(1);
        const qint64 stoppedAt = ReadOffset(pid, reading);
        out.midway = ProcessState(pid) == 'T' && stoppedAt >= size / 4 && stoppedAt < size;
        ::kill(pid_t(pid), signal);
        ::kill(pid_t(pid), SIGCONT);
        break;
    }
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished(5000);
        out.midway = false;
        return out;
    }
    out.exit = p.exitStatus();
    out.code = p.exitCode();
    return out;
}

// Every file and folder under `path`, at any depth, hidden ones included.
QStringList Contents(const QString& path) {
    QStringList out;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QFileInfo(it.next()).fileName();
    out.sort();
    return out;
}

std::string Join(const QStringList& names) {
    return names.join(QStringLiteral(", ")).toStdString();
}

// Mended: killed while it decoded, `info` left the plain body and its folder in the system's
// temporary folder (and SIGINT or SIGTERM did the same). Now nothing is left whichever way the
// load ends, and Ctrl-C and SIGTERM end it as they end any program (130, 143 in a shell).
TEST(CliInterrupted, ALoadEndedWhileItDecodesLeavesNoFileAndNoFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString image = dir.filePath(QStringLiteral("image.bin"));
    const QString package = dir.filePath(QStringLiteral("big.dff"));
    // About the largest image a network unit takes, so that decoding lasts.
    quorvex::testing::WriteAll(image, quorvex::testing::Pattern(32000000));
    const CliRun made =
        Cli({"pack", "--product", "NYX2", "--chip", "8", "--version", "1.2.3", image, package});
    ASSERT_EQ(made.status, 0) << made.err.toStdString();

    for (const int signal : {SIGKILL, SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        QTemporaryDir work;
        QTemporaryDir tmp;
        ASSERT_TRUE(work.isValid() && tmp.isValid());
        const Interrupted ended =
            InterruptMidway({"info", package}, package, signal, work.path(), tmp.path());
        ASSERT_TRUE(ended.midway) << "not caught while decoding";
        EXPECT_EQ(ended.exit, QProcess::CrashExit);
        EXPECT_EQ(ended.code, signal) << "ended by another signal or an exit";
        EXPECT_TRUE(Contents(tmp.path()).isEmpty()) << Join(Contents(tmp.path()));
        EXPECT_TRUE(Contents(work.path()).isEmpty()) << Join(Contents(work.path()));
        EXPECT_EQ(Join(Contents(dir.path())), "big.dff, image.bin");
    }
}

// Mended: killed mid-build, `pack` left its part beside OUTPUT, and the window's maker mode
// deleted an old package before writing the new one. Now a build that fails or is ended leaves
// the old package whole and loadable and nothing beside it.
TEST(CliInterrupted, ABuildThatFailsOrIsEndedLeavesTheOldPackageAndNothingBesideIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString image = dir.filePath(QStringLiteral("image.bin"));
    const QString output = dir.filePath(QStringLiteral("nyx2 v1.2.3.dff"));
    const QStringList pack{"pack",      "--product", "NYX2", "--chip", "8",
                           "--version", "1.2.3",     image,  output};
    quorvex::testing::WriteAll(image, quorvex::testing::Pattern(1000, 4));
    const CliRun made = Cli(pack);
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    const QByteArray old = quorvex::testing::ReadAll(output);
    quorvex::testing::WriteAll(image, quorvex::testing::Pattern(32 * 1024 * 1024, 5));
    const std::string both = "image.bin, nyx2 v1.2.3.dff";

    for (const int signal : {SIGKILL, SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const Interrupted ended = InterruptMidway(pack, image, signal, dir.path(), dir.path());
        ASSERT_TRUE(ended.midway) << "not caught while encoding";
        EXPECT_EQ(ended.exit, QProcess::CrashExit);
        EXPECT_EQ(ended.code, signal);
        EXPECT_EQ(Join(Contents(dir.path())), both);
        EXPECT_TRUE(quorvex::testing::ReadAll(output) == old);
    }

    // A disk that fills up midway.
    QProcess limited;
    limited.setChildProcessModifier([] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit r{};
        getrlimit(RLIMIT_FSIZE, &r);
        r.rlim_cur = 64 * 1024;
        setrlimit(RLIMIT_FSIZE, &r);
    });
    limited.start(CliProgram(), pack);
    ASSERT_TRUE(limited.waitForFinished(60000));
    EXPECT_EQ(limited.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(limited.exitCode(), 1);
    EXPECT_TRUE(
        QString::fromLocal8Bit(limited.readAllStandardError())
            .contains(QStringLiteral("The package %1 was not written: Path/File access error")
                          .arg(output)));
    EXPECT_EQ(Join(Contents(dir.path())), both);
    EXPECT_TRUE(quorvex::testing::ReadAll(output) == old);
    const QJsonArray info = InfoJson({output});
    ASSERT_EQ(info.size(), 1);
    EXPECT_TRUE(info[0].toObject()["valid"].toBool());
    EXPECT_EQ(info[0].toObject()["imageSize"].toInt(), 1000);
}

TEST(CliInfo, EveryFixtureAsItsReadmeSaysInJsonAndStatus) {
    const QStringList names{"revector16.dff",   "eeprom_f0.dff", "sparse17.dff", "net1000.dff",
                            "twopart_2.10.dff", "wrongkey.dff",  "empty.dff"};
    QStringList paths;
    for (const QString& n : names)
        paths << Fixture(n);
    int status = -1;
    const QJsonArray info = InfoJson(paths, &status);
    ASSERT_EQ(info.size(), names.size());
    // The first package that fails decides: wrongkey's key does not fit.
    EXPECT_EQ(status, 4);

    const auto at = [&](int i) { return info[i].toObject(); };
    EXPECT_EQ(at(0)["flashBlocks"].toInt(), 2);
    EXPECT_EQ(at(0)["programEnd"].toInt(), 16);
    EXPECT_EQ(at(0)["eepromBytes"].toInt(), 0);
    EXPECT_EQ(at(1)["flashBlocks"].toInt(), 2);
    EXPECT_EQ(at(1)["eepromBytes"].toInt(), 2);
    EXPECT_EQ(at(1)["programEnd"].toInt(), 8);
    EXPECT_EQ(at(2)["flashBlocks"].toInt(), 17);
    for (int i : {0, 1, 2}) {
        EXPECT_EQ(at(i)["productCode"].toString(), "TORV5");
        EXPECT_EQ(at(i)["version"].toString(), "1.4.12");
        EXPECT_EQ(at(i)["key"].toString(), "three-part");
        EXPECT_TRUE(at(i)["valid"].toBool());
    }
    EXPECT_EQ(at(3)["productCode"].toString(), "NYX2");
    EXPECT_EQ(at(3)["imageSize"].toInt(), 1000);
    EXPECT_EQ(at(3)["tftpBlocks"].toInt(), 2);
    EXPECT_EQ(at(3)["key"].toString(), "three-part");
    EXPECT_EQ(at(4)["productCode"].toString(), "VESKAR2");
    EXPECT_EQ(at(4)["version"].toString(), "2.10.7");
    EXPECT_EQ(at(4)["key"].toString(), "two-part");
    EXPECT_EQ(at(4)["imageSize"].toInt(), 1000);
    EXPECT_EQ(at(5)["status"].toInt(), 4);
    EXPECT_FALSE(at(5)["valid"].toBool());
    EXPECT_EQ(at(5)["reason"].toString(),
              "Invalid DFF file.  Please obtain the latest TORV5 software and DFF files.");
    EXPECT_EQ(at(6)["status"].toInt(), 5);
    EXPECT_EQ(at(6)["version"].toString(), "1.0.0");
    // Its key fits; what fails is the body, which holds no end-of-file record.
    EXPECT_EQ(at(6)["key"].toString(), "three-part");
    EXPECT_TRUE(at(5)["key"].isNull());

    // Alone, each failing package gives its own status; the plain table names the reason.
    const CliRun damaged = Cli({"info", Fixture("empty.dff")});
    EXPECT_EQ(damaged.status, 5);
    const CliRun unreadable = Cli({"info", Fixture("no-such-package.dff")});
    EXPECT_EQ(unreadable.status, 3);
    const CliRun wrong = Cli({"info", Fixture("wrongkey.dff")});
    EXPECT_EQ(wrong.status, 4);
    EXPECT_TRUE(wrong.out.contains(QStringLiteral("Invalid DFF file."))) << wrong.out.toStdString();
}

// What a TORV5 package holds once loaded (re-vectored): the unit's memory must end up so.
QByteArray ExpectedImage(const QString& hexName) {
    return ReadIntelHex(FixtureBytes(hexName)).program;
}

TEST(CliFlash, UnitsSideBySideEachWithItsOwnOutcome) {
    bootsim::Options healthy;
    healthy.identification = 0x40; // TORV5 on a PIC16F876A/877A
    bootsim::Options rejecting = healthy;
    rejecting.frameReplies[2] = bootsim::Now("N");
    bootsim::Options silentOptions = healthy;
    silentOptions.answerHellosFrom = 1000;
    bootsim::Simulator good(healthy);
    bootsim::Simulator bad(rejecting);
    bootsim::Simulator silent(silentOptions);
    QString why;
    ASSERT_TRUE(good.start(&why)) << why.toStdString();
    ASSERT_TRUE(bad.start(&why)) << why.toStdString();
    ASSERT_TRUE(silent.start(&why)) << why.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A link to a device is opened as the device; a missing device fails only its own unit.
    const QString link = dir.filePath(QStringLiteral("unit-a"));
    ASSERT_TRUE(QFile::link(good.slavePath(), link));
    const QString missing = dir.filePath(QStringLiteral("ttyUSB7"));
    // "Com 1" is the first device of the folder, as the window numbers its ports.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("dev")));
    ASSERT_TRUE(QFile::link(bad.slavePath(), dir.filePath(QStringLiteral("dev/ttyUSB0"))));

    const QString record = dir.filePath(QStringLiteral("line3.jsonl"));
    // "COM0" is no port of the window's numbering: it fails on its own, not on "Com 1".
    const CliRun r =
        Cli({"flash", Fixture("sparse17.dff"), "--port", link, "--port", "Com 1", "--port", missing,
             "--port", silent.slavePath(), "--port", "COM0", "--devices",
             dir.filePath(QStringLiteral("dev")), "--wait", "3", "--record", record});
    EXPECT_EQ(r.status, 1) << r.out.toStdString() << r.err.toStdString();

    const QByteArray image = ExpectedImage(QStringLiteral("sparse17.hex"));
    ASSERT_EQ(image.size(), ProgramImageSize);
    const QByteArray memory = good.flash().left(ProgramImageSize);
    for (int i = 0; i < ProgramImageSize; ++i)
        if (memory.at(i) != image.at(i)) {
            ADD_FAILURE() << "unit memory differs from the image first at byte " << i << ": "
                          << int(std::uint8_t(memory.at(i))) << " for "
                          << int(std::uint8_t(image.at(i)));
            break;
        }

    const QStringList lines = r.out.split(QLatin1Char('\n'));
    const auto summaryOf = [&](const QString& port) {
        for (const QString& l : lines)
            if (l.startsWith(port + QLatin1Char(' ')))
                return l;
        return QString();
    };
    // Port, the unit that answered, the blocks it accepted, the window's text for the outcome.
    const auto row = [&](const QString& port, const QString& rest) {
        const QRegularExpression pattern(QRegularExpression::escape(port) + QStringLiteral("\\s+") +
                                         rest);
        EXPECT_TRUE(pattern.match(summaryOf(port)).hasMatch())
            << pattern.pattern().toStdString() << "\n"
            << r.out.toStdString();
    };
    row(link, QStringLiteral("TORV5 \\(PIC16F876A/877A\\)\\s+17\\s+PIC16F876A/877A flashed "
                             "with firmware v1\\.4\\.12 successfully\\.$"));
    row(QStringLiteral("Com 1"),
        QStringLiteral("TORV5 \\(PIC16F876A/877A\\)\\s+2\\s+Corrupted/invalid data received, "
                       "please reupload the firmware\\.$"));
    EXPECT_TRUE(summaryOf(missing).contains(
        QStringLiteral("Unable to connect on select COM port.  The port may be in use.")))
        << r.out.toStdString();
    // --wait 3: three hellos, one per second of the countdown, then the window's notice.
    row(silent.slavePath(),
        QStringLiteral("no\\s+-\\s+TORV5 was not reset in time or connected unit is not a "
                       "TORV5 \\(wrong baud rate\\)$"));
    EXPECT_EQ(silent.hellos(), 3);
    // The failing unit got its first two blocks and no more after the rejected third.
    EXPECT_EQ(bad.frames().size(), 3u);
    // The error record of the missing port names it, on standard error.
    EXPECT_TRUE(r.err.contains(missing + QStringLiteral(": Error 8002"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("COM0 names no port"))) << r.err.toStdString();

    // Each outcome has its word in the record; a unit that was never reached still counts
    // what the package would have written.
    const QList<QJsonObject> records = RecordLines(record);
    ASSERT_EQ(records.size(), 5);
    const auto outcome = [&](const QString& port) {
        return RecordOf(records, port).value("outcome").toString();
    };
    EXPECT_EQ(outcome(link), QStringLiteral("flashed"));
    EXPECT_EQ(outcome(QStringLiteral("Com 1")), QStringLiteral("rejected"));
    EXPECT_EQ(outcome(missing), QStringLiteral("error"));
    EXPECT_EQ(outcome(silent.slavePath()), QStringLiteral("no-answer"));
    EXPECT_EQ(outcome(QStringLiteral("COM0")), QStringLiteral("error"));
    EXPECT_EQ(RecordOf(records, missing).value("blocks_total").toInt(), 17);
    EXPECT_EQ(RecordOf(records, QStringLiteral("Com 1")).value("device").toString(),
              bad.slavePath());
}

// A production line reads back which unit got which package and how it ended: from the record
// file, line by line, and from standard output as one document, which holds nothing else.
TEST(CliRecord, TwoUnitsOneFailingLeaveTwoRecordLinesThatTheJsonDocumentRepeats) {
    bootsim::Options healthy;
    healthy.identification = 0x40;
    bootsim::Options rejecting = healthy;
    rejecting.frameReplies[2] = bootsim::Now("N");
    bootsim::Simulator good(healthy);
    bootsim::Simulator bad(rejecting);
    QString why;
    ASSERT_TRUE(good.start(&why)) << why.toStdString();
    ASSERT_TRUE(bad.start(&why)) << why.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A line left torn by a writer that died (a full disk, a crash) is the last thing in the
    // file: the records that follow still start lines of their own.
    const QString record = dir.filePath(QStringLiteral("line3.jsonl"));
    {
        QFile torn(record);
        ASSERT_TRUE(torn.open(QIODevice::WriteOnly));
        torn.write("{\"start\":\"2026-12-");
    }

    const CliRun r = Cli({"flash", Fixture("sparse17.dff"), "--port", good.slavePath(), "--port",
                          bad.slavePath(), "--wait", "3", "--record", record, "--json"});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    QJsonParseError error{};
    const QJsonArray printed = QJsonDocument::fromJson(r.out.toUtf8(), &error).array();
    EXPECT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
    ASSERT_EQ(printed.size(), 2);

    bool whole = false;
    const QList<QJsonObject> lines = RecordLines(record, &whole);
    EXPECT_TRUE(whole);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].isEmpty()); // the torn line, left as it was
    const QJsonObject flashed = RecordOf(lines, good.slavePath());
    const QJsonObject rejected = RecordOf(lines, bad.slavePath());
    EXPECT_EQ(flashed, RecordOf({printed[0].toObject(), printed[1].toObject()}, good.slavePath()));
    EXPECT_EQ(rejected, RecordOf({printed[0].toObject(), printed[1].toObject()}, bad.slavePath()));

    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(FixtureBytes(QStringLiteral("sparse17.dff")),
                                                     QCryptographicHash::Sha256)
                                .toHex());
    for (const QJsonObject& unit : {flashed, rejected}) {
        EXPECT_EQ(unit.value("sha256").toString(), digest);
        EXPECT_EQ(unit.value("package").toString(), QStringLiteral("sparse17.dff"));
        EXPECT_EQ(unit.value("product").toString(), QStringLiteral("TORV5"));
        EXPECT_EQ(unit.value("version").toString(), QStringLiteral("1.4.12"));
        EXPECT_EQ(unit.value("host").toString(), QSysInfo::machineHostName());
        EXPECT_EQ(unit.value("identification").toInt(), 0x40);
        EXPECT_EQ(unit.value("chip").toString(), QStringLiteral("PIC16F876A/877A"));
        EXPECT_EQ(unit.value("blocks_total").toInt(), 17);
        const QDateTime start = QDateTime::fromString(unit.value("start").toString(), Qt::ISODate);
        const QDateTime end = QDateTime::fromString(unit.value("end").toString(), Qt::ISODate);
        EXPECT_EQ(start.timeSpec(), Qt::UTC);
        EXPECT_EQ(start.msecsTo(end), unit.value("duration_ms").toInteger());
    }
    EXPECT_EQ(flashed.value("outcome").toString(), QStringLiteral("flashed"));
    EXPECT_EQ(flashed.value("blocks").toInt(), 17);
    EXPECT_EQ(flashed.value("text").toString(),
              QStringLiteral("PIC16F876A/877A flashed with firmware v1.4.12 successfully."));
    EXPECT_EQ(rejected.value("outcome").toString(), QStringLiteral("rejected"));
    EXPECT_EQ(rejected.value("blocks").toInt(), 2);
    EXPECT_EQ(rejected.value("device").toString(), bad.slavePath());
}

// Two simulated units and a folder for the record of a flash of both. The run calls its units
// for 30 seconds, so a silent second unit holds it until the test ends it.
struct FlashOfTwo {
    FlashOfTwo(const bootsim::Options& first, const bootsim::Options& second)
        : a(first), b(second) {
        ready = a.start(&error) && b.start(&error) && dir.isValid();
    }
    bool start(QProcess& p) {
        p.start(CliProgram(), {"flash", Fixture("sparse17.dff"), "--port", a.slavePath(), "--port",
                               b.slavePath(), "--wait", "30", "--record", record});
        return p.waitForStarted(10000);
    }
    bootsim::Simulator a;
    bootsim::Simulator b;
    QTemporaryDir dir;
    const QString record = dir.filePath(QStringLiteral("line3.jsonl"));
    QString error;
    bool ready = false;
};

bootsim::Options SilentUnit() {
    bootsim::Options o;
    o.answerHellosFrom = 1000;
    return o;
}

// A unit's record is on the disk, whole, once its line is seen: a program killed right after
// leaves that line complete and nothing else.
TEST(CliRecord, ARecordSeenOnDiskIsWholeWhenTheProgramIsKilledRightAfter) {
    bootsim::Options wrongUnit;
    wrongUnit.identification = 0x04; // an ORBEL answers a TORV5 package: refused at once
    FlashOfTwo run(wrongUnit, SilentUnit());
    ASSERT_TRUE(run.ready) << run.error.toStdString();

    QProcess p;
    ASSERT_TRUE(run.start(p));
    const bool seen =
        quorvex::testing::WaitUntil([&] { return QFileInfo(run.record).size() > 0; }, 30000, 1);
    p.kill();
    ASSERT_TRUE(p.waitForFinished(10000));
    ASSERT_TRUE(seen);

    bool whole = false;
    const QList<QJsonObject> lines = RecordLines(run.record, &whole);
    EXPECT_TRUE(whole);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].value("port").toString(), run.a.slavePath());
    EXPECT_EQ(lines[0].value("outcome").toString(), QStringLiteral("refused"));
    EXPECT_EQ(lines[0].value("text").toString(),
              QStringLiteral("Incorrect DFF file for connected unit."));
    EXPECT_EQ(
        QDir(run.dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList{QStringLiteral("line3.jsonl")});
}

// Ctrl-C or a hang-up (an ssh connection dropped) in the middle of a flash: every unit stops
// at a frame, says what state it was left in, the table and the records are still written, and
// the shell sees the signal's status. A hang-up that comes again does not cut the stop short.
TEST(CliInterrupted, CtrlCOrAHangUpMidFlashStopsEachUnitAtAFrameAndTellsAndRecordsHowFarItGot) {
    for (const int signal : {SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        bootsim::Options slow;
        slow.identification = 0x40;
        slow.turnaroundMs = 150; // 17 frames take seconds: the signal comes well before the end
        FlashOfTwo run(slow, SilentUnit());
        ASSERT_TRUE(run.ready) << run.error.toStdString();
        const bootsim::Simulator& unit = run.a;
        const bootsim::Simulator& silent = run.b;
        const QString& record = run.record;

        QProcess p;
        ASSERT_TRUE(run.start(p));
        ASSERT_TRUE(
            quorvex::testing::WaitUntil([&] { return unit.frames().size() >= 2; }, 30000, 2));
        ::kill(pid_t(p.processId()), signal);
        if (signal == SIGHUP)
            ::kill(pid_t(p.processId()), signal);
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 128 + signal);

        const int written = int(unit.frames().size());
        EXPECT_LT(written, 17);
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        const QString stopped =
            QStringLiteral("interrupted after %1 of 17 blocks: flash it again").arg(written);
        const QString untouched =
            QStringLiteral("interrupted before the unit answered: nothing was written");
        const QStringList lines = out.split(QLatin1Char('\n'));
        EXPECT_TRUE(lines.contains(unit.slavePath() + QStringLiteral(": ") + stopped))
            << out.toStdString();
        EXPECT_TRUE(lines.contains(silent.slavePath() + QStringLiteral(": ") + untouched))
            << out.toStdString();
        // The summary table still follows, a row per port.
        EXPECT_TRUE(
            out.contains(QRegularExpression(QRegularExpression::escape(unit.slavePath()) +
                                            QStringLiteral("\\s+TORV5.*\\s+%1\\s+").arg(written) +
                                            QRegularExpression::escape(stopped))))
            << out.toStdString();
        // The silent unit was called no longer than it took to notice.
        EXPECT_LT(silent.hellos(), 10);

        const QList<QJsonObject> records = RecordLines(record);
        ASSERT_EQ(records.size(), 2);
        EXPECT_EQ(RecordOf(records, unit.slavePath()).value("outcome").toString(),
                  QStringLiteral("interrupted"));
        EXPECT_EQ(RecordOf(records, unit.slavePath()).value("blocks").toInt(), written);
        EXPECT_EQ(RecordOf(records, unit.slavePath()).value("text").toString(), stopped);
        EXPECT_EQ(RecordOf(records, silent.slavePath()).value("outcome").toString(),
                  QStringLiteral("interrupted"));
    }
}

// Mended: `| head -n 2` killed the program with SIGPIPE at its third line, leaving both units
// half flashed and no record; output to a full disk was lost and the status said 0. Output
// that cannot be written now ends nothing: the units finish, every record is written, and the
// status (6) and one line on standard error say what was lost.
TEST(CliOutputLost, AClosedPipeOrAFullDiskLeavesTheUnitsFlashedTheRecordsWrittenAndStatus6) {
    bootsim::Options healthy;
    healthy.identification = 0x40;
    FlashOfTwo run(healthy, healthy);
    ASSERT_TRUE(run.ready) << run.error.toStdString();
    const QString cli = CliProgram();
    QProcess piped;
    piped.start(QStringLiteral("bash"),
                {"-c", "set -o pipefail; \"$0\" \"$@\" | head -n 2; exit \"${PIPESTATUS[0]}\"", cli,
                 "flash", Fixture("sparse17.dff"), "--port", run.a.slavePath(), "--port",
                 run.b.slavePath(), "--wait", "3", "--record", run.record});
    ASSERT_TRUE(piped.waitForFinished(60000));
    const QString shown = QString::fromLocal8Bit(piped.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(piped.readAllStandardError());
    EXPECT_EQ(piped.exitCode(), 6) << shown.toStdString() << err.toStdString();
    EXPECT_EQ(shown.count(QLatin1Char('\n')), 2) << shown.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral(
        "quorvex-cli: the output could not all be written (standard output: Broken pipe)")))
        << err.toStdString();
    const QList<QJsonObject> records = RecordLines(run.record);
    ASSERT_EQ(records.size(), 2);
    for (const bootsim::Simulator* unit : {&run.a, &run.b}) {
        EXPECT_EQ(RecordOf(records, unit->slavePath()).value("outcome").toString(),
                  QStringLiteral("flashed"));
        EXPECT_EQ(unit->frames().size(), 17u);
    }

    const auto toFullDisk = [&](const QStringList& args) {
        QProcess p;
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
        p.start(cli, args);
        CliRun r;
        if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit)
            r.status = p.exitCode();
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    };
    const QString full = QStringLiteral("(standard output: No space left on device)");
    for (const QStringList& info : {QStringList{"info", Fixture("sparse17.dff")},
                                    QStringList{"info", "--json", Fixture("sparse17.dff")}}) {
        const CliRun r = toFullDisk(info);
        EXPECT_EQ(r.status, 6) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(full)) << r.err.toStdString();
    }
    // The lines for people still reach standard error; the program's own texts in them keep
    // their layout (the refusal's tabs), while what they quote stays escaped.
    bootsim::Options orbel;
    orbel.identification = 0x04; // an ORBEL answers a TORV5 package: refused at once
    bootsim::Simulator wrong(orbel);
    ASSERT_TRUE(wrong.start(&run.error)) << run.error.toStdString();
    const QString record = run.dir.filePath(QStringLiteral("unit.jsonl"));
    const CliRun json = toFullDisk({"flash", Fixture("sparse17.dff"), "--port", wrong.slavePath(),
                                    "--wait", "3", "--record", record, "--json"});
    EXPECT_EQ(json.status, 6) << json.err.toStdString();
    EXPECT_TRUE(json.err.contains(full)) << json.err.toStdString();
    EXPECT_TRUE(json.err.contains(wrong.slavePath() + QStringLiteral(": \t\tOrbel-8\n")))
        << json.err.toStdString();
    EXPECT_FALSE(json.err.contains(QStringLiteral("\\t"))) << json.err.toStdString();
    const QList<QJsonObject> refused = RecordLines(record);
    ASSERT_EQ(refused.size(), 1);
    EXPECT_EQ(refused[0].value("outcome").toString(), QStringLiteral("refused"));
}

} // namespace
} // namespace quorvex
