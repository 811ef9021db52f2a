#include "ui/paced_draw.h"

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
    : draw_(std::move(draw)), newest_(std::move(initial)), paced_([this] { draw_(newest_); }) {}

void PacedText::setStep(const QString& text) {
    newest_ = text;
    paced_.changed();
}

void PacedText::setNow(const QString& text) {
    // The last step goes up before the outcome replaces it, so none is skipped.
    paced_.flush();
    newest_ = text;
    draw_(newest_);
}

} // namespace quorvex
