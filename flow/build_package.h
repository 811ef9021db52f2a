#pragma once
// Building a package, as maker mode and quorvex-cli both do it.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "flow/report.h"

#include <QString>
#include <optional>

namespace quorvex {

// Writes the package of `input` under `header` to `target`: beside it first, taking its name
// only when complete. None when it is written; else the text that tells why not, the target
// as it was and nothing beside it. The encoding's progress goes to `report`.
std::optional<QString> BuildPackage(const QString& input, const QString& target,
                                    const DFFHeader& header, Report& report, ErrorSink& log);

} // namespace quorvex
