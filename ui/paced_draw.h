#pragma once
// Draws at the rate a person reads rather than at the rate the work reports: the first change
// is drawn at once, the changes that follow within the interval are gathered into one draw at
// its end, and a change that must be seen now (the end of the work, a failure) is drawn now.
// The work reports every step; this is the one place where steps are merged.
#include <QString>
#include <QTimer>
#include <functional>

namespace quorvex {

class PacedDraw {
  public:
    // About ten draws a second: a changing number read faster is a blur, and each draw takes
    // the processor from the work it shows.
    static constexpr int IntervalMs = 100;

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

// A line of text whose steps come as fast as the work goes: drawn at the rate a person reads,
// the newest step each time. An outcome is drawn at once, after the last step.
class PacedText {
  public:
    PacedText(QString initial, std::function<void(const QString&)> draw);
    PacedText(const PacedText&) = delete;
    PacedText& operator=(const PacedText&) = delete;

    void setStep(const QString& text);
    // The step still waiting is drawn, then `text`.
    void setNow(const QString& text);
    // The newest text, drawn or about to be.
    QString text() const { return newest_; }

  private:
    std::function<void(const QString&)> draw_;
    QString newest_;
    PacedDraw paced_;
};

} // namespace quorvex
