#pragma once

namespace quorvex {

// The progress bar: shown, filled from the left edge to a fraction of its width, hidden.
class ProgressDisplay {
  public:
    virtual ~ProgressDisplay() = default;
    virtual void show() = 0;
    // f between 0 and 1; values outside are clamped by the display.
    virtual void fill(double f) = 0;
    virtual void hide() = 0;
};

} // namespace quorvex
