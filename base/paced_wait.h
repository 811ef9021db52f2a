#pragma once

namespace quorvex {

// Pauses the caller for `ms` milliseconds while the window's events keep running. The thread
// sleeps between events; a wait started inside another keeps its own time.
void WaitMs(double ms);

// Lets the window's pending events run once.
void LetEventsRun();

} // namespace quorvex
