#pragma once
// picProgress: a bar filled from the left edge to a fraction of its width.
#include "base/progress_display.h"
#include "ui/paced_draw.h"

#include <QWidget>

namespace quorvex {

class ProgressWidget : public QWidget, public ProgressDisplay {
    Q_OBJECT
  public:
    explicit ProgressWidget(QWidget* parent = nullptr);
    void show() override { QWidget::show(); }
    // Drawn at the rate a person reads; a full bar at once.
    void fill(double f) override;
    void hide() override { QWidget::hide(); }
    double fraction() const { return fraction_; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    double fraction_ = 0.0;
    PacedDraw draw_;
};

} // namespace quorvex
