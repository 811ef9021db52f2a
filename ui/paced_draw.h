#pragma once
// Draws at the rate a person reads rather than at the rate the work reports: the first change
// is drawn at once, the changes that follow within the interval are gathered into one draw at
// its end, and a change that must be seen now (the end of the work, a failure) is drawn now.
// The work reports every step; this is the one place where steps are merged.
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <mutex>

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

// A line of text whose steps may come from a worker's thread, as fast as the work goes: the
// window's thread is woken about twice an interval at most, not once a step, and draws the
// newest step. An outcome is set on the window's thread and drawn at once, after the last step.
class PacedText {
  public:
    // `draw` runs on the thread that made this, with the text to show.
    PacedText(QString initial, std::function<void(const QString&)> draw);
    PacedText(const PacedText&) = delete;
    PacedText& operator=(const PacedText&) = delete;

    // Any thread.
    void setStep(const QString& text);
    // The window's thread: the step still waiting is drawn, then `text`.
    void setNow(const QString& text);
    // The newest text, drawn or about to be.
    QString text() const;

  private:
    // Takes the newest step, if one came since the last draw, and draws what is newest.
    void drawNewest();

    std::function<void(const QString&)> draw_;
    QObject home_;
    mutable std::mutex mutex_;
    QString shown_;      // the window's thread's own
    QString newest_;     // under the mutex
    bool fresh_ = false; // a step newer than what is shown, under the mutex
    bool awake_ = false; // the window's thread will look at the newest step, under the mutex
    PacedDraw paced_;
};

} // namespace quorvex
