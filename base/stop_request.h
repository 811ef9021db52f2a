#pragma once
// A request to stop work at its next safe point (between two frames, between two datagrams),
// made from another thread or from a signal handler. The work polls it; nothing waits on it.
#include <atomic>

namespace quorvex {

class StopRequest {
  public:
    // `reason` (not 0) says who asked: quorvex-cli keeps the signal that did. The first request
    // is kept; later ones change nothing.
    void request(int reason = 1) noexcept {
        int none = 0;
        reason_.compare_exchange_strong(none, reason == 0 ? 1 : reason);
    }
    bool requested() const noexcept { return reason_.load() != 0; }
    // 0 while no stop has been asked for.
    int reason() const noexcept { return reason_.load(); }

  private:
    // Lock-free, so that a signal handler may make the request.
    static_assert(std::atomic<int>::is_always_lock_free);
    std::atomic<int> reason_{0};
};

// True when `stop` is given and has been requested.
inline bool StopAsked(const StopRequest* stop) {
    return stop && stop->requested();
}

} // namespace quorvex
