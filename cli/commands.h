#pragma once
// The five commands of quorvex-cli. Each returns the program's exit status.
#include "cli/arguments.h"

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

} // namespace quorvex::cli
