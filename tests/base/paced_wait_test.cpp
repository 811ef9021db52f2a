// The paced wait keeps the program's events running, keeps its own time and sleeps between.
#include "base/paced_wait.h"

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

TEST(WaitMs, AClickMadeDuringTheWaitIsHandledBeforeItReturns) {
    Button button;
    QTimer::singleShot(100,
                       [&] { QCoreApplication::postEvent(&button, new QEvent(QEvent::User)); });
    QElapsedTimer t;
    t.start();
    WaitMs(500);
    EXPECT_EQ(button.clicks, 1);
    EXPECT_GE(t.elapsed(), 500);
    EXPECT_LT(t.elapsed(), 900);
}

TEST(WaitMs, AStreamOfEventsDoesNotShortenTheWait) {
    Button button;
    QTimer pester;
    pester.setInterval(2);
    QObject::connect(&pester, &QTimer::timeout,
                     [&] { QCoreApplication::postEvent(&button, new QEvent(QEvent::User)); });
    pester.start();
    QElapsedTimer t;
    t.start();
    WaitMs(300);
    EXPECT_GE(t.elapsed(), 300);
    EXPECT_GT(button.clicks, 20);
}

TEST(WaitMs, AnInnerWaitDoesNotEndTheOuterOneEarly) {
    QElapsedTimer t;
    t.start();
    qint64 innerStart = -1;
    qint64 innerEnd = -1;
    QTimer::singleShot(50, [&] {
        innerStart = t.elapsed();
        WaitMs(100);
        innerEnd = t.elapsed();
    });
    WaitMs(400);
    const qint64 outerEnd = t.elapsed();
    ASSERT_GE(innerEnd, 0);
    EXPECT_GE(innerEnd - innerStart, 100);
    EXPECT_LT(innerEnd, 300);
    EXPECT_GE(outerEnd, 400);
}

TEST(WaitMs, AnInnerWaitThatOutlastsTheOuterOneStillGetsAllOfItsTime) {
    QElapsedTimer t;
    t.start();
    qint64 innerTook = -1;
    QTimer::singleShot(50, [&] {
        QElapsedTimer inner;
        inner.start();
        WaitMs(300);
        innerTook = inner.elapsed();
    });
    WaitMs(100);
    EXPECT_GE(innerTook, 300);
    EXPECT_GE(t.elapsed(), 350);
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

TEST(WaitMs, ANonPositiveWaitOnlyLetsEventsRun) {
    Button button;
    QCoreApplication::postEvent(&button, new QEvent(QEvent::User));
    QElapsedTimer t;
    t.start();
    WaitMs(0);
    WaitMs(-5);
    EXPECT_EQ(button.clicks, 1);
    EXPECT_LT(t.elapsed(), 50);
}
