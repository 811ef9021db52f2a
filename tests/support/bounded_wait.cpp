#include "support/bounded_wait.h"

#include <QEventLoop>
#include <QTimer>

namespace quorvex::testing {

bool WaitUntil(const std::function<bool()>& done, int ms, int pollMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QTimer deadline;
    // Looking every few milliseconds is enough: the code under test reacts to its own events.
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.setSingleShot(true);
    poll.start(pollMs);
    deadline.start(ms);
    loop.exec();
    return done();
}

} // namespace quorvex::testing
