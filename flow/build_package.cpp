#include "flow/build_package.h"

#include "package/package_builder.h"

namespace quorvex {

std::optional<QString> BuildPackage(const QString& input, const QString& target,
                                    const DFFHeader& header, Report& report, ErrorSink& log) {
    // The builder counts bytes of the firmware file, as the report takes them.
    const auto progress = [&report](qint64 done, qint64 total) { report.progress(done, total); };
    return WritePackage(input, target, header, progress, log);
}

} // namespace quorvex
