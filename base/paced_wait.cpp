#include "base/paced_wait.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace quorvex {

namespace {

std::function<void()>& EventPass() {
    static std::function<void()> pass;
    return pass;
}

} // namespace

void WaitMs(double ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(std::llround(ms * 1000.0)));
}

void LetEventsRun() {
    if (const auto& pass = EventPass())
        pass();
}

void SetEventPass(std::function<void()> pass) {
    EventPass() = std::move(pass);
}

} // namespace quorvex
