#include "timed_port.h"

#include <QMetaObject>
#include <QTimer>

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
        // Busy once the reader is back in its wait, as a repaint or a box would keep it.
        QTimer::singleShot(0, &context_, [this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(stallMs * factor_));
        });
    }
    return out;
}

int TimedSerialPort::inBufferCount() {
    std::lock_guard lock(mutex_);
    return int(incoming_.size());
}

void TimedSerialPort::setReadyReadHandler(std::function<void()> handler) {
    handler_ = std::move(handler);
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
        QMetaObject::invokeMethod(
            &context_,
            [this] {
                if (handler_)
                    handler_();
            },
            Qt::QueuedConnection);
    }
}

} // namespace quorvex::testing
