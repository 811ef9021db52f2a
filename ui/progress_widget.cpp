#include "ui/progress_widget.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPainter>
#include <algorithm>

namespace quorvex {

// Drawn now, not at the next paint: a transfer holds the thread between event passes.
ProgressWidget::ProgressWidget(QWidget* parent) : QWidget(parent), draw_([this] { repaint(); }) {
    setObjectName(QStringLiteral("picProgress"));
}

void ProgressWidget::fill(double f) {
    fraction_ = std::clamp(f, 0.0, 1.0);
    draw_.changed();
    if (fraction_ >= 1.0)
        draw_.flush();
    if (held_ > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void ProgressWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    const int filled = int(r.width() * fraction_ + 0.5);
    p.fillRect(QRect(r.left(), r.top(), filled, r.height()), palette().color(QPalette::Highlight));
    p.fillRect(QRect(r.left() + filled, r.top(), r.width() - filled, r.height()),
               palette().color(QPalette::Base));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(r.adjusted(0, 0, -1, -1));
}

} // namespace quorvex
