#pragma once
// The cipher tells how far a decode is as a fraction of its file; a use case passes that on to
// its report as done of total.
#include "base/progress_display.h"
#include "flow/report.h"

#include <QtGlobal>
#include <algorithm>

namespace quorvex {

class FractionProgress : public ProgressDisplay {
  public:
    // Finer than any bar is drawn.
    static constexpr qint64 Steps = 10000;

    explicit FractionProgress(Report& report) : report_(report) {}
    // The front end shows its bar with the first report and takes it away once the use case
    // has returned.
    void show() override {}
    void fill(double f) override {
        report_.progress(qRound64(std::clamp(f, 0.0, 1.0) * double(Steps)), Steps);
    }
    void hide() override {}

  private:
    Report& report_;
};

} // namespace quorvex
