#include "base/paced_wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cmath>

namespace quorvex {

void WaitMs(double ms) {
    // A loop of its own per wait: an inner wait cannot end an outer one early, and each
    // returns no sooner than its own time.
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(std::max(0, int(std::lround(ms))));
    loop.exec();
    LetEventsRun();
}

void LetEventsRun() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace quorvex
