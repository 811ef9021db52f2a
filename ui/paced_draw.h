#pragma once
// Draws at the rate a person reads rather than at the rate the work reports: the first change
// is drawn at once, the changes that follow within the interval are gathered into one draw at
// its end, and a change that must be seen now (the end of the work, a failure) is drawn now.
#include <QTimer>
#include <functional>

namespace quorvex {

class PacedDraw {
  public:
    static constexpr int IntervalMs = 30;

    explicit PacedDraw(std::function<void()> draw);
    PacedDraw(const PacedDraw&) = delete;
    PacedDraw& operator=(const PacedDraw&) = delete;

    // Something to draw has changed: drawn now when nothing was drawn within the interval,
    // else once when it ends.
    void changed();
    // Draws a change still waiting for the interval to end, now.
    void flush();
    bool pending() const { return pending_; }

  private:
    void drawNow();

    std::function<void()> draw_;
    QTimer interval_;
    bool pending_ = false;
};

} // namespace quorvex
