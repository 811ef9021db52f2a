#pragma once
// The five commands of quorvex-cli, each in a file of its own, and what they share. Each
// returns the program's exit status.
#include "cli/arguments.h"
#include "cli/console.h"
#include "cli/unit_record.h"
#include "flow/open_package.h"

#include <optional>

namespace quorvex::cli {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;
// Standard output or standard error could not take everything (a closed pipe, a full disk);
// the units went on and their records were written.
inline constexpr int ExitOutputLost = 6;

int RunInfo(const Arguments& a);
int RunPack(const Arguments& a);
int RunPorts(const Arguments& a);
int RunFlash(const Arguments& a);
int RunUpload(const Arguments& a);

// The command's `status` once its output has had its last flush: when some of it could not be
// written, that is told on standard error (when it takes it) and a status that says nothing
// worse, 0 or 1, becomes ExitOutputLost.
int AfterOutput(int status);

// "quorvex-cli pack: option '--chip': ..." with the hint to the command's help, on standard
// error; returns ExitUsage.
int UsageFailure(Command command, const QString& text);

// Where "Com n" is looked up: --devices, else the system's folder.
QString DeviceFolder(const Arguments& a);

// What `flash` and `upload` hold from the package's opening to the end of the last unit.
struct UnitRun {
    UnitRun() = default;
    UnitRun(const UnitRun&) = delete;
    UnitRun& operator=(const UnitRun&) = delete;
    ~UnitRun() { ForgetStopOnSignals(stop); }

    std::optional<Package> package;
    // What the records say of the package.
    PackageFacts facts;
    RecordFile record;
    // Made by Ctrl-C and SIGTERM once the units may be started.
    StopRequest stop;
};

// Everything before the first unit: with --json the lines for people go to standard error; the
// package is opened and must be of the command's kind (its product and version printed, or its
// refusal); the record file is opened; Ctrl-C and SIGTERM stop the run from then on. The exit
// status when the run cannot begin.
std::optional<int> BeginUnits(const Arguments& a, UnitRun& run);

// What they print after the last: the table (`header`, `rows`), or with --json the records as
// one document; and the exit status: the signal's when a stop cut a unit short, else 0 when
// `allWell`.
int EndUnits(const Arguments& a, const UnitRun& run, const QStringList& header,
             const QList<QStringList>& rows, const QList<UnitRecord>& records, bool allWell);

} // namespace quorvex::cli
