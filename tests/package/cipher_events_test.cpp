#include "package/cipher.h"
#include "support/fakes.h"
#include "support/test_files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTimer>
#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::testing;

// A long decode runs inside a window handler; the window must still answer its events.
TEST(CipherEvents, ATenMillisecondTimerKeepsFiringDuringALongDecode) {
    Scratch dir;
    fakes::RecordingLog log;
    DFFHeader header;
    header.VerMajor = 1;
    const QString key = PackageKey(header);
    WriteAll(dir.path("body.bin"), Pattern(32 * 1024 * 1024));
    ASSERT_TRUE(EncMD5(dir.path("body.bin"), dir.path("p.dff"), key, header, nullptr, log));

    // The window's bar lets its events run at each fill while a click's decode holds its thread.
    fakes::FakeProgress bar;
    bar.onFill = [] { QCoreApplication::processEvents(); };
    QElapsedTimer clock;
    std::vector<qint64> ticks;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] { ticks.push_back(clock.elapsed()); });
    timer.start();
    clock.start();
    ASSERT_TRUE(DecMD5(dir.path("p.dff"), dir.path("out.bin"), key, &bar, log));
    const qint64 finished = clock.elapsed();
    timer.stop();

    ASSERT_GE(ticks.size(), 5u) << "the decode took " << finished << " ms: too short to judge";
    qint64 worst = ticks.front();
    for (size_t i = 1; i < ticks.size(); ++i)
        worst = std::max(worst, ticks[i] - ticks[i - 1]);
    worst = std::max(worst, finished - ticks.back());
    EXPECT_LE(worst, 50) << ticks.size() << " ticks over " << finished << " ms";
}
