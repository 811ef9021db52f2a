// The wait keeps its own time, sleeps meanwhile and runs nothing else on its thread.
#include "base/sleep.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <ctime>
#include <gtest/gtest.h>

using namespace quorvex;

namespace {

// Stands in for a button: counts the "clicks" posted to it.
class Button : public QObject {
  public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) {
            ++clicks;
            return true;
        }
        return QObject::event(e);
    }
    int clicks = 0;
};

} // namespace

TEST(WaitMs, RunsNoEventsOfItsThreadWhileItSleeps) {
    // Nothing may re-enter the caller in the middle of an exchange: a click made before or
    // during the wait is handled only once the thread is back in its own loop.
    Button button;
    QCoreApplication::postEvent(&button, new QEvent(QEvent::User));
    QTimer::singleShot(0, [&] { QCoreApplication::postEvent(&button, new QEvent(QEvent::User)); });
    QElapsedTimer t;
    t.start();
    WaitMs(200);
    EXPECT_GE(t.elapsed(), 200);
    EXPECT_EQ(button.clicks, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(button.clicks, 1);
}

TEST(WaitMs, CostsNoProcessorTimeWhileNothingHappens) {
    const std::clock_t before = std::clock();
    QElapsedTimer t;
    t.start();
    WaitMs(400);
    const double cpuMs = 1000.0 * double(std::clock() - before) / CLOCKS_PER_SEC;
    EXPECT_GE(t.elapsed(), 400);
    EXPECT_LT(cpuMs, 20.0) << "busy while waiting";
}

TEST(WaitMs, ShortWaitsKeepTheirTimeClosely) {
    // The serial link's pacing rests on 10 and 25 ms pauses.
    for (int ms : {10, 25}) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 10; ++i)
            WaitMs(ms);
        const qint64 took = t.elapsed();
        EXPECT_GE(took, 10 * ms);
        EXPECT_LT(took, 10 * ms + 100) << ms << " ms waits overshoot";
    }
}

TEST(WaitMs, ANonPositiveWaitReturnsAtOnce) {
    QElapsedTimer t;
    t.start();
    WaitMs(0);
    WaitMs(-5);
    EXPECT_LT(t.elapsed(), 50);
}
