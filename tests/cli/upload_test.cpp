// quorvex-cli upload as its users run it: images into tftpd-hpa and simulated units on
// loopback addresses of their own (127.0.0.2 upwards), side by side or one at a time, a unit
// named twice, a stop in the middle.
#include "cli_run.h"
#include "net/simulated_unit.h"
#include "net/tftp_packets.h"
#include "support/bounded_wait.h"
#include "support/test_files.h"
#include "support/tftpd_fixture.h"

#include <QDateTime>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

namespace quorvex {
namespace {

using quorvex::testing::Cli;
using quorvex::testing::CliProgram;
using quorvex::testing::CliRun;
using quorvex::testing::Fixture;
using quorvex::testing::FixtureBytes;
using quorvex::testing::RecordLines;
using quorvex::testing::RecordOf;
using quorvex::testing::SimulatedUnit;
using quorvex::testing::TftpdServer;

QDateTime Time(const QJsonObject& record, const char* field) {
    return QDateTime::fromString(record.value(QLatin1String(field)).toString(), Qt::ISODateWithMs);
}

// tftpd-hpa on each of `addresses`, all at one port (the targets of one run share
// --tftp-port); empty, with `why` said, when they cannot be had.
std::vector<std::unique_ptr<TftpdServer>> Servers(const QStringList& addresses, QString& why) {
    std::vector<std::unique_ptr<TftpdServer>> servers;
    for (const QString& address : addresses) {
        servers.push_back(std::make_unique<TftpdServer>());
        why = servers.back()->start(address, servers.size() > 1 ? servers.front()->port() : 0);
        if (!why.isEmpty())
            return {};
    }
    return servers;
}

TEST(CliUpload, ImageArrivesWholeInTftpd) {
    TftpdServer server;
    if (!TftpdServer::Installed())
        GTEST_SKIP() << "tftpd-hpa is not installed";
    const QString why = server.start();
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString record = dir.filePath(QStringLiteral("line3.jsonl"));
    const CliRun r = Cli({"upload", Fixture("net1000.dff"), "--target", "127.0.0.1", "--tftp-port",
                          QString::number(server.port()), "--record", record});
    EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Status: Finished.  Ready.")));
    const QList<QJsonObject> records = RecordLines(record);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].value("target").toString(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(records[0].value("address").toString(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(records[0].value("outcome").toString(), QStringLiteral("uploaded"));
    EXPECT_EQ(records[0].value("blocks").toInt(), 2);
    EXPECT_EQ(records[0].value("blocks_total").toInt(), 2);
    QFile stored(server.pathOf(QStringLiteral("NYX2")));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), FixtureBytes(QStringLiteral("net1000.bin")));
}

// A unit's words are data: the escape sequences and line break of its error packet, which
// would otherwise move the cursor and paint a "Finished" row of their own, are shown as
// escapes, in its status line and in its row.
TEST(CliUpload, AUnitsErrorTextReachesTheTerminalWithItsControlCharactersVisible) {
    SimulatedUnit unit;
    unit.onArrival = [&](const SimulatedUnit::Arrival& a) {
        if (a.bytes.startsWith(QByteArray::fromHex("0002")))
            unit.answer(tftp::Error(0, "\x1b[1A\x1b[2K127.0.0.1  Status: Finished.  Ready.\nok"));
    };
    const CliRun r = Cli({"upload", Fixture("net1000.dff"), "--target", "127.0.0.1", "--tftp-port",
                          QString::number(unit.port())},
                         60000, true);
    EXPECT_EQ(r.status, 1) << r.out.toStdString() << r.err.toStdString();
    EXPECT_FALSE(r.out.contains(QLatin1Char('\x1b'))) << r.out.toStdString();
    const QString shown =
        QStringLiteral("Status: \\x1b[1A\\x1b[2K127.0.0.1  Status: Finished.  Ready.\\nok");
    const QStringList lines = r.out.split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QStringLiteral("127.0.0.1: ") + shown)) << r.out.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("127.0.0.1  ") + shown)) << r.out.toStdString();
}

// Every target at once, each into a unit of its own (two tftpd-hpa, two simulated units that
// answer each datagram 400 ms late): every image whole, every record right, the simulated
// units' uploads overlapping by far more than a loaded machine's start-up skew, and each
// target's last progress line before its outcome. With --jobs 1 the same targets go one after
// another, in the order given.
TEST(CliUpload, TargetsSideBySideEachIntoItsOwnUnitAndOneAfterAnotherWithJobs1) {
    if (!TftpdServer::Installed())
        GTEST_SKIP() << "tftpd-hpa is not installed";
    QString why;
    const auto servers = Servers({"127.0.0.2", "127.0.0.3"}, why);
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    const quint16 port = servers.front()->port();
    const QStringList targets{"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
    const QByteArray image = FixtureBytes(QStringLiteral("net1000.bin"));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    for (const QString& jobs : {QString(), QStringLiteral("1")}) {
        SCOPED_TRACE(jobs.toStdString());
        for (const auto& server : servers)
            QFile::remove(server->pathOf(QStringLiteral("NYX2")));
        std::vector<std::unique_ptr<SimulatedUnit>> units;
        for (const QString& address : targets.mid(2)) {
            units.push_back(std::make_unique<SimulatedUnit>(QHostAddress(address), port));
            ASSERT_EQ(units.back()->port(), port) << address.toStdString();
            units.back()->answerDelayMs = 400;
        }
        const QString record = dir.filePath(QStringLiteral("run%1.jsonl").arg(jobs));
        QStringList args{"upload",      Fixture("net1000.dff"),
                         "--tftp-port", QString::number(port),
                         "--record",    record};
        for (const QString& t : targets)
            args << "--target" << t;
        if (!jobs.isEmpty())
            args << "--jobs" << jobs;
        const CliRun r = Cli(args, 60000, true);
        ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();

        for (const auto& server : servers)
            EXPECT_EQ(quorvex::testing::ReadAll(server->pathOf(QStringLiteral("NYX2"))), image);
        for (const auto& unit : units)
            EXPECT_EQ(unit->file, image);
        const QList<QJsonObject> records = RecordLines(record);
        ASSERT_EQ(records.size(), targets.size());
        for (const QString& t : targets) {
            const QJsonObject r = RecordOf(records, t);
            EXPECT_EQ(r.value("address").toString(), t);
            EXPECT_EQ(r.value("outcome").toString(), QStringLiteral("uploaded"));
            EXPECT_EQ(r.value("blocks").toInt(), 2);
        }
        const QStringList lines = r.out.split(QLatin1Char('\n'));
        for (const QString& t : targets) {
            const qsizetype full = lines.indexOf(t + QStringLiteral(": 100%"));
            const qsizetype finished =
                lines.indexOf(t + QStringLiteral(": Status: Finished.  Ready."));
            EXPECT_TRUE(full >= 0 && full < finished) << r.out.toStdString();
        }

        const QJsonObject a = RecordOf(records, targets[2]);
        const QJsonObject b = RecordOf(records, targets[3]);
        if (jobs.isEmpty()) {
            // Each took at least three answers of 400 ms; one after the other, neither would
            // start before the other had ended.
            EXPECT_LT(std::max(Time(a, "start"), Time(b, "start")),
                      std::min(Time(a, "end"), Time(b, "end")).addMSecs(-600));
        } else {
            for (int i = 1; i < records.size(); ++i) {
                EXPECT_EQ(records[i].value("target").toString(), targets[i]);
                EXPECT_GE(Time(records[i], "start"), Time(records[i - 1], "end"));
            }
        }
    }
}

// Two uploads to one unit at once would mix two images in it: a target named twice, or a name
// and the address it resolves to, is refused before anything is sent or recorded.
TEST(CliUpload, OneUnitNamedTwiceIsRefusedBeforeAnythingIsSent) {
    SimulatedUnit unit;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString record = dir.filePath(QStringLiteral("line3.jsonl"));
    const QString port = QString::number(unit.port());
    const CliRun twice = Cli({"upload", Fixture("net1000.dff"), "--target", "127.0.0.1", "--target",
                              "127.0.0.1", "--tftp-port", port, "--record", record},
                             60000, true);
    EXPECT_EQ(twice.status, 2);
    EXPECT_TRUE(twice.err.contains(QStringLiteral("quorvex-cli upload: target '127.0.0.1' is "
                                                  "named twice: two uploads to one unit at once "
                                                  "would corrupt its image")))
        << twice.err.toStdString();
    const CliRun aliased = Cli({"upload", Fixture("net1000.dff"), "--target", "127.0.0.1",
                                "--target", "localhost", "--tftp-port", port, "--record", record},
                               60000, true);
    EXPECT_EQ(aliased.status, 2);
    EXPECT_TRUE(aliased.err.contains(
        QStringLiteral("targets '127.0.0.1' and 'localhost' are one unit (127.0.0.1)")))
        << aliased.err.toStdString();
    quorvex::testing::RunEventsFor(200);
    EXPECT_TRUE(unit.arrivals.empty());
    EXPECT_FALSE(QFile::exists(record));
}

// SIGTERM while two uploads wait for their units (which stay silent, so that only the stop
// can end them before the seven-second watchdog): both stop and say so, and the target that
// --jobs 2 kept waiting (a tftpd-hpa) is never started. Table, records and status follow.
TEST(CliInterrupted, AStopReachesEveryUploadUnderWayAndTargetsNotStartedAreSentNothing) {
    if (!TftpdServer::Installed())
        GTEST_SKIP() << "tftpd-hpa is not installed";
    QString why;
    const auto servers = Servers({"127.0.0.4"}, why);
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    const quint16 port = servers.front()->port();
    std::vector<std::unique_ptr<SimulatedUnit>> units;
    for (const char* address : {"127.0.0.2", "127.0.0.3"}) {
        units.push_back(std::make_unique<SimulatedUnit>(QHostAddress(address), port));
        ASSERT_EQ(units.back()->port(), port) << address;
        units.back()->onArrival = [](const SimulatedUnit::Arrival&) {};
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString record = dir.filePath(QStringLiteral("line3.jsonl"));
    QProcess p;
    p.start(CliProgram(), {"upload", Fixture("net1000.dff"), "--target", "127.0.0.2", "--target",
                           "127.0.0.3", "--target", "127.0.0.4", "--jobs", "2", "--tftp-port",
                           QString::number(port), "--record", record});
    ASSERT_TRUE(quorvex::testing::WaitUntil(
        [&] {
            return units[0]->withOpcode(tftp::OpWrq).size() == 1 &&
                   units[1]->withOpcode(tftp::OpWrq).size() == 1;
        },
        30000));
    ::kill(pid_t(p.processId()), SIGTERM);
    ASSERT_TRUE(
        quorvex::testing::WaitUntil([&] { return p.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 143);

    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QString stopped = QStringLiteral("interrupted after 0 of 2 blocks: upload it again");
    const QString untouched =
        QStringLiteral("interrupted before the upload started: nothing was sent");
    const QStringList lines = out.split(QLatin1Char('\n'));
    const QList<QJsonObject> records = RecordLines(record);
    ASSERT_EQ(records.size(), 3);
    for (const QString target : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
        const QString text = target == QLatin1String("127.0.0.4") ? untouched : stopped;
        EXPECT_TRUE(lines.contains(target + QStringLiteral(": ") + text)) << out.toStdString();
        EXPECT_EQ(RecordOf(records, target).value("outcome").toString(),
                  QStringLiteral("interrupted"));
        EXPECT_EQ(RecordOf(records, target).value("text").toString(), text);
    }
    EXPECT_FALSE(QFile::exists(servers.front()->pathOf(QStringLiteral("NYX2"))));
}

} // namespace
} // namespace quorvex
