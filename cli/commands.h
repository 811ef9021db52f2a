#pragma once
// The five commands of quorvex-cli, each in a file of its own, and what they share. Each
// returns the program's exit status.
#include "cli/arguments.h"
#include "cli/unit_record.h"
#include "flow/open_package.h"

#include <optional>
#include <variant>

namespace quorvex::cli {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

int RunInfo(const Arguments& a);
int RunPack(const Arguments& a);
int RunPorts(const Arguments& a);
int RunFlash(const Arguments& a);
int RunUpload(const Arguments& a);

// "quorvex-cli pack: option '--chip': ..." with the hint to the command's help, on standard
// error; returns ExitUsage.
int UsageFailure(Command command, const QString& text);

// Where "Com n" is looked up: --devices, else the system's folder.
QString DeviceFolder(const Arguments& a);

// The package of `flash` or `upload`, opened and of the command's kind, its product and
// version printed and `facts` filled for the records; else the exit status, the refusal
// printed.
std::variant<Package, int> OpenForUnits(const Arguments& a, PackageFacts& facts);

// What `flash` and `upload` do once the package is open, before the first unit: the record
// file is opened, and Ctrl-C and SIGTERM make `stop`'s request from then on. The exit status
// when the record file cannot be opened.
std::optional<int> BeginUnits(const Arguments& a, RecordFile& record, StopRequest& stop);

// What they print after the last: the table (`header`, `rows`), or with --json the records as
// one document; and the exit status: the signal's after a stop, else 0 when `allWell`.
int EndUnits(const Arguments& a, const QStringList& header, const QList<QStringList>& rows,
             const QList<UnitRecord>& records, const PackageFacts& package, bool allWell,
             const StopRequest& stop);

} // namespace quorvex::cli
