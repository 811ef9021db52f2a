#pragma once
// What every fuzz target shares: a Qt application for the timers and event passes the code
// under test runs, and a way to stop at a broken promise so that libFuzzer keeps the input.
#include <cstdio>
#include <cstdlib>

namespace quorvex::fuzz {

// Makes the QCoreApplication, once; call from LLVMFuzzerInitialize.
void StartApplication(int* argc, char*** argv);

} // namespace quorvex::fuzz

// Like assert, but also in optimised builds, and saying which promise broke.
#define FUZZ_EXPECT(condition)                                                                     \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition);           \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
