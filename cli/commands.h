#pragma once
// The five commands of quorvex-cli, each in a file of its own, and what they share. Each
// returns the program's exit status.
#include "cli/arguments.h"
#include "flow/open_package.h"

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
// version printed; else the exit status, the refusal printed.
std::variant<Package, int> OpenForUnits(const Arguments& a);

} // namespace quorvex::cli
