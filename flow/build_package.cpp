#include "flow/build_package.h"

#include "flow/fraction_progress.h"
#include "package/package_builder.h"

namespace quorvex {

std::optional<QString> BuildPackage(const QString& input, const QString& target,
                                    const DFFHeader& header, Report& report, ErrorSink& log) {
    FractionProgress progress(report);
    return WritePackage(input, target, header, &progress, log);
}

} // namespace quorvex
