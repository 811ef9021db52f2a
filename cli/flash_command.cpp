// quorvex-cli flash: the serial units on the given ports flashed side by side, each on a thread
// of its own (at most --jobs at once), then a table of their outcomes.
#include "base/catalogue.h"
#include "base/conversions.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/flash_unit.h"
#include "cli/printed_report.h"
#include "cli/side_by_side.h"
#include "serial/flashing_sequence.h"
#include "serial/qt_serial_port.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSysInfo>
#include <cmath>
#include <memory>
#include <vector>

namespace quorvex::cli {

namespace {

// A unit's lines, under its port's name.
class PrintedUnitReport : public PrintedReport {
  public:
    PrintedUnitReport(const QString& name, int index, int attempts, UnitBoard& board)
        : PrintedReport(unitBar_, name), unitBar_(board, index), attempts_(attempts) {}
    void stage(const QString& text) override {
        // The countdown is one stage, however many seconds it counts: a log of a long run
        // gets one line of it per unit.
        const bool countdown = IsCountdown(text);
        if (text == last_ || (countdown && countedDown_))
            return;
        last_ = text;
        countedDown_ = countedDown_ || countdown;
        PrintedReport::stage(text);
    }

  private:
    bool IsCountdown(const QString& text) const {
        for (int attempt = 0; attempt <= attempts_; ++attempt)
            if (text == CountdownText(attempt, attempts_))
                return true;
        return false;
    }

    // Made after the base, which only keeps a reference to it until then.
    UnitBar unitBar_;
    int attempts_;
    QString last_;
    bool countedDown_ = false;
};

// What a flash run is given, the same for every unit.
struct FlashRun {
    const LoadedFirmware& firmware;
    // The frames a whole flash writes, as every record counts them.
    TransferCount toWrite;
    const PackageFacts& package;
    int attempts;
    RecordFile& record;
    const StopRequest& stop;
    QString host;
};

// One unit, worked on a thread of its own: its serial port is made, used and closed there, and
// the flashing sequence's waits sleep on that port. Its record is written as soon as it ends.
class FlashedUnit {
  public:
    // The device behind the port and its adapter's number are read before the unit starts: an
    // adapter that goes during the flash is still named in the record.
    FlashedUnit(const FlashRun& run, PortChoice port, int index, UnitBoard& board)
        : run_(run), port_(std::move(port)), log_(port_.given),
          report_(port_.given, index, run.attempts, board) {
        const QString device = QFileInfo(port_.device).canonicalFilePath();
        record.resolved = device.isEmpty() ? port_.device : device;
        if (!port_.device.isEmpty())
            record.adapterSerial = AdapterSerialNumber(port_.device);
    }
    FlashOutcome outcome;
    UnitRecord record;
    bool recorded = false;

    void flash() {
        record.start = QDateTime::currentDateTimeUtc();
        outcome = FlashUnit(run_.firmware, port_, run_.attempts, log_, report_, &run_.stop);
        record.end = QDateTime::currentDateTimeUtc();
        const SerialUnitOutcome& unit = outcome.unit;
        record.host = run_.host;
        record.given = port_.given;
        record.identification = unit.identification;
        record.outcome = OutcomeWord(unit);
        record.text = outcome.result;
        record.blocks = unit.flashBlocks;
        record.blocksTotal = run_.toWrite.flashBlocks;
        record.eepromBytes = unit.eepromBytes;
        record.eepromBytesTotal = run_.toWrite.eepromBytes;
        recorded = run_.record.append(record, run_.package);
    }

  private:
    const FlashRun& run_;
    PortChoice port_;
    StderrLog log_;
    PrintedUnitReport report_;
};

QString UnitFoundText(const SerialUnitOutcome& o) {
    if (!o.identification)
        return QStringLiteral("no");
    const int id = *o.identification;
    const QString code = UnitIdToCode(HighNibble(id));
    return QStringLiteral("%1 (%2)").arg(
        code.isEmpty() ? QStringLiteral("unit id %1").arg(int(HighNibble(id))) : code,
        ChipModelName(LowNibble(id)));
}

} // namespace

int RunFlash(const Arguments& a) {
    UnitRun run;
    if (const auto failed = BeginUnits(a, run))
        return *failed;
    const int attempts = std::max(1, int(std::lround(a.waitSeconds.value_or(10.0))));
    const FlashRun flash{run.package->firmware(),
                         FramesToSend(run.package->firmware()),
                         run.facts,
                         attempts,
                         run.record,
                         run.stop,
                         QSysInfo::machineHostName()};
    UnitBoard board(a.ports);
    std::vector<std::unique_ptr<FlashedUnit>> units;
    for (int i = 0; i < a.ports.size(); ++i)
        units.push_back(std::make_unique<FlashedUnit>(
            flash, ResolvePort(a.ports[i], DeviceFolder(a)), i, board));
    RunSideBySide(int(units.size()), a.jobs, [&units](int i) { units[size_t(i)]->flash(); });
    board.done();

    QList<QStringList> rows;
    QList<UnitRecord> records;
    bool all = true;
    for (int i = 0; i < a.ports.size(); ++i) {
        const FlashedUnit& u = *units[size_t(i)];
        const SerialUnitOutcome& o = u.outcome.unit;
        all = all && o.end == SerialUnitEnd::Flashed && u.recorded;
        rows << QStringList{a.ports[i], UnitFoundText(o),
                            o.identification ? QString::number(o.flashBlocks) : QStringLiteral("-"),
                            LinesOf(u.outcome.result).join(QLatin1Char(' '))};
        records << u.record;
    }
    return EndUnits(a, run,
                    {QStringLiteral("PORT"), QStringLiteral("UNIT FOUND"),
                     QStringLiteral("BLOCKS WRITTEN"), QStringLiteral("RESULT")},
                    rows, records, all);
}

} // namespace quorvex::cli
