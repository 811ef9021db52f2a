#include "ui/progress_widget.h"

#include <QPainter>
#include <algorithm>

namespace quorvex {

ProgressWidget::ProgressWidget(QWidget* parent) : QWidget(parent), draw_([this] { update(); }) {
    setObjectName(QStringLiteral("picProgress"));
}

void ProgressWidget::fill(double f) {
    fraction_ = std::clamp(f, 0.0, 1.0);
    draw_.changed();
    if (fraction_ >= 1.0)
        draw_.flush();
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
