#include "cli/side_by_side.h"

#include "cli/console.h"

#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

namespace quorvex::cli {

namespace {

// The widest bar drawn unit by unit: a bar wider than the terminal wraps, and the carriage
// return that redraws it would leave its first lines behind.
constexpr int WidestBar = 79;

} // namespace

void RunSideBySide(int count, int jobs, const std::function<void(int)>& work) {
    std::atomic<int> next{0};
    const auto workUnits = [&] {
        for (int unit = next++; unit < count; unit = next++)
            work(unit);
    };
    const int threads = jobs > 0 ? std::min(jobs, count) : count;
    std::vector<std::unique_ptr<QThread>> pool;
    for (int i = 0; i < threads; ++i) {
        pool.emplace_back(QThread::create(workUnits));
        pool.back()->start();
    }
    for (auto& t : pool)
        t->wait();
    // Only when the system gave no thread: what the threads did not take is worked here.
    workUnits();
}

UnitBoard::UnitBoard(const QStringList& names) : names_(names), percent_(names.size(), -1) {}

void UnitBoard::progress(int unit, double f) {
    const int percent = int(std::floor(std::clamp(f, 0.0, 1.0) * 100));
    QMutexLocker locked(&lock_);
    const int before = percent_[unit];
    if (percent == before)
        return;
    percent_[unit] = percent;
    if (!StdoutIsTerminal()) {
        if (before < 0 || percent / 25 != before / 25)
            PrintLine(QStringLiteral("%1: %2%").arg(Visible(names_[unit])).arg(percent / 25 * 25));
        return;
    }
    ShowBar(barText());
}

QString UnitBoard::barText() const {
    QStringList parts;
    int started = 0;
    int ended = 0;
    double sum = 0;
    for (int i = 0; i < names_.size(); ++i) {
        if (percent_[i] < 0)
            continue;
        ++started;
        ended += percent_[i] == 100 ? 1 : 0;
        sum += percent_[i];
        parts << QStringLiteral("%1 %2%")
                     .arg(Visible(QFileInfo(names_[i]).fileName()))
                     .arg(percent_[i]);
    }
    const QString each = parts.join(QStringLiteral("  "));
    if (each.size() <= WidestBar)
        return each;
    // Too many units for a line of their own each: how far they are together.
    return QStringLiteral("%1 at work, %2 of %3 done  ")
               .arg(started - ended)
               .arg(ended)
               .arg(names_.size()) +
           BarText(sum / 100 / double(names_.size()));
}

void UnitBoard::done() {
    ShowBar(QString());
}

} // namespace quorvex::cli
