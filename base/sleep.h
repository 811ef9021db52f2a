#pragma once
// A plain sleep of the calling thread, for the pauses of the serial link.

namespace quorvex {

// Pauses the calling thread for `ms` milliseconds. The thread sleeps and runs nothing else
// meanwhile: work that waits this way runs on a thread of its own, never on the window's.
void WaitMs(double ms);

} // namespace quorvex
