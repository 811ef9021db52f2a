#pragma once
// Units worked side by side, as `flash` and `upload` run them: each unit's work on a thread of
// its own, at most a given number at once, and the progress they draw together.
#include "base/progress_display.h"

#include <QList>
#include <QMutex>
#include <QStringList>
#include <functional>

namespace quorvex::cli {

// Runs `work(unit)` for every unit from 0 to `count` - 1, each on a thread that works no other
// unit meanwhile, at most `jobs` at once (0: all of them), started in the order the units were
// named. Returns once every unit's work has returned. A unit is never left out: should no
// thread be had at all, the units are worked here, one after another.
void RunSideBySide(int count, int jobs, const std::function<void(int unit)>& work);

// What the units side by side have drawn so far: one bar for all of them on a terminal, a line
// at each quarter of each unit elsewhere ("/dev/ttyUSB0: 25%").
class UnitBoard {
  public:
    explicit UnitBoard(const QStringList& names);

    // Safe from any thread. A unit's lines come in the order of its calls: a unit that draws
    // its last progress before it tells its outcome has its last line before that outcome.
    void progress(int unit, double fraction);
    // The bar taken away, once every unit has ended.
    void done();

  private:
    QString barText() const;

    QMutex lock_;
    QStringList names_;
    QList<int> percent_;
};

// One unit's share of the board, for work that draws through a progress display.
class UnitBar : public ProgressDisplay {
  public:
    UnitBar(UnitBoard& board, int unit) : board_(board), unit_(unit) {}
    void show() override {}
    void fill(double f) override { board_.progress(unit_, f); }
    void hide() override {}

  private:
    UnitBoard& board_;
    int unit_;
};

} // namespace quorvex::cli
