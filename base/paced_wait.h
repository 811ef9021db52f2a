#pragma once
#include <functional>

namespace quorvex {

// Pauses the calling thread for `ms` milliseconds. The thread sleeps and runs nothing else
// meanwhile: work that waits this way runs on a thread of its own, never on the window's.
void WaitMs(double ms);

// Long work that still runs on a front end's own thread (a package's decode) calls this between
// its steps. What happens there is the front end's to say: the window draws and answers, the
// command line does nothing. Nothing below the front ends runs events itself.
void LetEventsRun();
// Installed by the front end before such work; an empty pass does nothing.
void SetEventPass(std::function<void()> pass);

} // namespace quorvex
