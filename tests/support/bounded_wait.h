#pragma once
// A wait for the tests that keeps events flowing and always ends: every loop that waits on
// the network or a serial peer goes through it.
#include <functional>

namespace quorvex::testing {

// Runs events until `done` holds or `ms` pass; returns whether it held. The thread sleeps
// between events and looks at `done` every `pollMs`, so little time spent here is charged to
// the code under test.
bool WaitUntil(const std::function<bool()>& done, int ms, int pollMs = 2);

// Runs events for `ms`.
inline void RunEventsFor(int ms) {
    WaitUntil([] { return false; }, ms);
}

} // namespace quorvex::testing
