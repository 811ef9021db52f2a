// The production record's file: several units of one program appending at once while another
// program holds the file's lock.
#include "base/appended_lines.h"
#include "support/test_files.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <sys/file.h>
#include <thread>
#include <vector>

namespace quorvex {
namespace {

// Mended: the units' threads waited for a hung lock one after another, each for the whole
// wait, so that N units behind it gave up after N times the wait. Each now gives up within its
// own wait, counted from its own append, and the file takes the next line once the lock goes.
TEST(AppendedLines, UnitsBehindAHungLockEachGiveUpWithinTheirOwnWait) {
    quorvex::testing::Scratch dir;
    const QString path = dir.path(QStringLiteral("line3.jsonl"));
    constexpr int WaitMs = 1000;
    constexpr int Units = 4;
    AppendedLines lines(WaitMs);
    ASSERT_TRUE(lines.open(path).isEmpty());
    // Another program holding the lock: a file of its own, open on the same file.
    QFile other(path);
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));
    ASSERT_EQ(::flock(other.handle(), LOCK_EX | LOCK_NB), 0);

    std::vector<AppendedLines::Fate> fates(Units);
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> units;
    for (int i = 0; i < Units; ++i)
        units.emplace_back([&, i] { fates[size_t(i)] = lines.append("{}"); });
    for (std::thread& t : units)
        t.join();
    // In turn, they would take Units x WaitMs; side by side, one wait and what a loaded
    // machine adds to it.
    EXPECT_LT(clock.elapsed(), 3 * WaitMs);
    for (const AppendedLines::Fate& fate : fates) {
        EXPECT_FALSE(fate.inFile);
        EXPECT_TRUE(fate.why.contains(QStringLiteral("held the file locked")))
            << fate.why.toStdString();
    }

    ASSERT_EQ(::flock(other.handle(), LOCK_UN), 0);
    const AppendedLines::Fate written = lines.append("{\"unit\":1}");
    EXPECT_TRUE(written.inFile);
    EXPECT_TRUE(written.why.isEmpty()) << written.why.toStdString();
    EXPECT_EQ(quorvex::testing::ReadAll(path), QByteArray("{\"unit\":1}\n"));
}

} // namespace
} // namespace quorvex
