#include "ui/paced_draw.h"

#include <QMetaObject>

namespace quorvex {

PacedDraw::PacedDraw(std::function<void()> draw) : draw_(std::move(draw)) {
    interval_.setSingleShot(true);
    interval_.setInterval(IntervalMs);
    QObject::connect(&interval_, &QTimer::timeout, &interval_, [this] {
        if (pending_)
            drawNow();
    });
}

void PacedDraw::changed() {
    if (interval_.isActive()) {
        pending_ = true;
        return;
    }
    drawNow();
}

void PacedDraw::flush() {
    if (pending_)
        drawNow();
}

void PacedDraw::drawNow() {
    pending_ = false;
    draw_();
    // The next change waits for the end of this interval unless it must be seen at once.
    interval_.start();
}

PacedText::PacedText(QString initial, std::function<void(const QString&)> draw)
    : draw_(std::move(draw)), shown_(initial), newest_(std::move(initial)),
      paced_([this] { drawNewest(); }) {}

void PacedText::setStep(const QString& text) {
    {
        std::lock_guard lock(mutex_);
        newest_ = text;
        fresh_ = true;
        // Until its next draw the window's thread takes whatever is newest by then.
        if (std::exchange(awake_, true))
            return;
    }
    QMetaObject::invokeMethod(
        &home_, [this] { paced_.changed(); }, Qt::QueuedConnection);
}

void PacedText::setNow(const QString& text) {
    // The last step goes up before the outcome replaces it, so none is skipped.
    QString step;
    bool stepWaiting = false;
    {
        std::lock_guard lock(mutex_);
        stepWaiting = std::exchange(fresh_, false);
        if (stepWaiting)
            step = newest_;
        newest_ = text;
    }
    if (stepWaiting)
        draw_(step);
    shown_ = text;
    draw_(shown_);
}

QString PacedText::text() const {
    std::lock_guard lock(mutex_);
    return newest_;
}

void PacedText::drawNewest() {
    {
        std::lock_guard lock(mutex_);
        awake_ = false;
        if (fresh_) {
            fresh_ = false;
            shown_ = newest_;
        }
    }
    draw_(shown_);
}

} // namespace quorvex
