#include "timed_port.h"

#include <algorithm>
#include <utility>

namespace quorvex::testing {

TimedSerialPort::TimedSerialPort(int factor) : factor_(factor), thread_([this] { deliver(); }) {}

TimedSerialPort::~TimedSerialPort() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void TimedSerialPort::output(const QByteArray& bytes) {
    unsent_ += bytes;
    std::lock_guard lock(mutex_);
    written_ += bytes;
}

void TimedSerialPort::schedule(const std::vector<Arrival>& arrivals, Clock::time_point from) {
    {
        std::lock_guard lock(mutex_);
        for (const Arrival& a : arrivals)
            due_.emplace(from + std::chrono::milliseconds(a.afterMs * factor_), a.bytes);
    }
    wake_.notify_all();
}

void TimedSerialPort::drain() {
    schedule(std::exchange(duringSend, {}), Clock::now());
    std::this_thread::sleep_for(std::chrono::milliseconds(lineMs * factor_));
    const QByteArray sent = std::exchange(unsent_, QByteArray());
    if (answer)
        schedule(answer(sent), Clock::now());
}

QByteArray TimedSerialPort::input() {
    QByteArray out;
    {
        std::lock_guard lock(mutex_);
        out = std::exchange(incoming_, QByteArray());
    }
    if (!out.isEmpty() && stallMs > 0 && !stalled_) {
        stalled_ = true;
        stallDue_ = true;
    }
    return out;
}

bool TimedSerialPort::waitForReadyRead(int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(std::max(0, ms));
    if (std::exchange(stallDue_, false))
        std::this_thread::sleep_for(std::chrono::milliseconds(stallMs * factor_));
    std::unique_lock lock(mutex_);
    arrived_.wait_until(lock, until, [this] { return !incoming_.isEmpty() || stopping_; });
    return !incoming_.isEmpty();
}

int TimedSerialPort::inBufferCount() {
    std::lock_guard lock(mutex_);
    return int(incoming_.size());
}

QByteArray TimedSerialPort::written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

void TimedSerialPort::deliver() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (due_.empty()) {
            wake_.wait(lock);
            continue;
        }
        const auto next = due_.begin()->first;
        if (Clock::now() < next) {
            wake_.wait_until(lock, next);
            continue;
        }
        incoming_ += due_.begin()->second;
        due_.erase(due_.begin());
        arrived_.notify_all();
    }
}

} // namespace quorvex::testing
