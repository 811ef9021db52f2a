// quorvex-cli flash: the serial units on the given ports flashed side by side, each on a thread
// of its own, then a table of their outcomes.
#include "base/catalogue.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/flash_unit.h"
#include "cli/printed_report.h"
#include "cli/table.h"

#include <QFileInfo>
#include <QMutex>
#include <QThread>
#include <cmath>
#include <memory>
#include <vector>

namespace quorvex::cli {

namespace {

// What the units flashed side by side have drawn so far: one bar for all of them on a
// terminal, a line at each quarter of each unit elsewhere.
class FlashBoard {
  public:
    explicit FlashBoard(const QStringList& names) : names_(names), percent_(names.size(), -1) {}

    void progress(int unit, double f) {
        const int percent = int(std::floor(std::clamp(f, 0.0, 1.0) * 100));
        QMutexLocker locked(&lock_);
        if (percent == percent_[unit])
            return;
        const int before = percent_[unit];
        percent_[unit] = percent;
        if (!StdoutIsTerminal()) {
            if (before < 0 || percent / 25 != before / 25)
                PrintLine(
                    QStringLiteral("%1: %2%").arg(Visible(names_[unit])).arg(percent / 25 * 25));
            return;
        }
        QStringList parts;
        for (int i = 0; i < names_.size(); ++i)
            if (percent_[i] >= 0)
                parts << QStringLiteral("%1 %2%")
                             .arg(Visible(QFileInfo(names_[i]).fileName()))
                             .arg(percent_[i]);
        ShowBar(parts.join(QStringLiteral("  ")));
    }
    void done() { ShowBar(QString()); }

  private:
    QMutex lock_;
    QStringList names_;
    QList<int> percent_;
};

class PrintedUnitEvents : public UnitEvents {
  public:
    PrintedUnitEvents(const QString& name, int index, FlashBoard& board)
        : name_(Visible(name)), index_(index), board_(board) {}
    void stage(const QString& text) override {
        if (text == last_)
            return;
        last_ = text;
        PrintLine(name_ + QStringLiteral(": ") + Visible(text));
    }
    void progress(double fraction) override { board_.progress(index_, fraction); }
    void told(const QString& text, bool) override {
        // One print for the whole box, so that another unit's lines cannot come between.
        QStringList lines;
        for (const QString& line : LinesOf(text))
            lines << name_ + QStringLiteral(": ") + Visible(line);
        PrintLine(lines.join(QLatin1Char('\n')));
    }

  private:
    QString name_;
    int index_;
    FlashBoard& board_;
    QString last_;
};

// One unit, on a thread of its own: its serial port is made, used and closed there, and the
// flashing sequence's waits sleep on that port.
class UnitThread : public QThread {
  public:
    UnitThread(const LoadedFirmware& fw, PortChoice port, int attempts, int index,
               FlashBoard& board)
        : fw_(fw), port_(std::move(port)), attempts_(attempts), log_(port_.given),
          events_(port_.given, index, board) {}
    FlashOutcome outcome;

  protected:
    void run() override { outcome = FlashUnit(fw_, port_, attempts_, log_, events_); }

  private:
    const LoadedFirmware& fw_;
    PortChoice port_;
    int attempts_;
    StderrLog log_;
    PrintedUnitEvents events_;
};

QString UnitFoundText(const FlashOutcome& o) {
    if (!o.unitFound)
        return QStringLiteral("no");
    if (!o.identification)
        return QStringLiteral("yes");
    const int id = *o.identification;
    const QString code = UnitIdToCode(id >> 4);
    return QStringLiteral("%1 (%2)").arg(code.isEmpty() ? QStringLiteral("unit id %1").arg(id >> 4)
                                                        : code,
                                         ChipModelName(id & 0x0F));
}

} // namespace

int RunFlash(const Arguments& a) {
    auto opened = OpenForUnits(a);
    if (const int* refused = std::get_if<int>(&opened))
        return *refused;
    const Package& package = std::get<Package>(opened);
    const int attempts = std::max(1, int(std::lround(a.waitSeconds.value_or(10.0))));
    FlashBoard board(a.ports);
    std::vector<std::unique_ptr<UnitThread>> units;
    for (int i = 0; i < a.ports.size(); ++i)
        units.push_back(std::make_unique<UnitThread>(
            package.firmware(), ResolvePort(a.ports[i], DeviceFolder(a)), attempts, i, board));
    for (auto& u : units)
        u->start();
    for (auto& u : units)
        u->wait();
    board.done();

    QList<QStringList> rows;
    bool all = true;
    for (int i = 0; i < a.ports.size(); ++i) {
        const FlashOutcome& o = units[size_t(i)]->outcome;
        all = all && o.flashed;
        rows << QStringList{a.ports[i], UnitFoundText(o),
                            o.unitFound ? QString::number(o.flashBlocks) : QStringLiteral("-"),
                            LinesOf(o.result).join(QLatin1Char(' '))};
    }
    PrintRaw(QStringLiteral("\n") +
             FormatTable({QStringLiteral("PORT"), QStringLiteral("UNIT FOUND"),
                          QStringLiteral("BLOCKS WRITTEN"), QStringLiteral("RESULT")},
                         rows));
    return all ? ExitOk : ExitFailed;
}

} // namespace quorvex::cli
