#include "base/sleep.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace quorvex {

void WaitMs(double ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(std::llround(ms * 1000.0)));
}

} // namespace quorvex
