#include "ui/contrast.h"

#include <QEvent>
#include <QLabel>
#include <QPalette>
#include <algorithm>
#include <cmath>

namespace quorvex {

namespace {

double Linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c) {
    const QColor rgb = c.toRgb();
    return 0.2126 * Linear(rgb.redF()) + 0.7152 * Linear(rgb.greenF()) +
           0.0722 * Linear(rgb.blueF());
}

// Copies enabled text's colour into the disabled group whenever the label's palette changes.
class FullContrast : public QObject {
  public:
    using QObject::QObject;
    static void Apply(QWidget* w) {
        const QColor enabled = w->palette().color(QPalette::Active, QPalette::WindowText);
        if (w->palette().color(QPalette::Disabled, QPalette::WindowText) == enabled)
            return;
        // Only this one role is the label's own: every other follows the window's palette.
        QPalette own;
        own.setColor(QPalette::Disabled, QPalette::WindowText, enabled);
        w->setPalette(own);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::PaletteChange)
            Apply(static_cast<QWidget*>(watched));
        return QObject::eventFilter(watched, e);
    }
};

} // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& background, const QColor& preferred, const QColor& fallback,
                  double least) {
    const double mine = ContrastRatio(preferred, background);
    if (mine >= least)
        return preferred;
    return ContrastRatio(fallback, background) > mine ? fallback : preferred;
}

void KeepFullContrastWhenDisabled(QLabel* label) {
    label->installEventFilter(new FullContrast(label));
    FullContrast::Apply(label);
}

} // namespace quorvex
