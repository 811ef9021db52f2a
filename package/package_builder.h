#pragma once
// What maker mode builds: a package header from the maker panel's boxes, checked first, and
// the package written from a firmware file.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "package/cipher.h"

#include <QString>
#include <array>
#include <functional>
#include <optional>

namespace quorvex {

// What the maker panel shows when "Continue" is pressed, as texts.
struct MakerChoice {
    QString productCode;             // the unit list's text
    QString chipEntry;               // the chip list's text, "model [id]"
    std::array<QString, 3> versions; // major, minor, revision boxes, hidden ones included
};

// The box that keeps `choice` from becoming a header, with what it accepts; none when every
// box reads.
std::optional<QString> RefusalOf(const MakerChoice& choice);

// The header of a choice that RefusalOf accepts.
DFFHeader HeaderOf(const MakerChoice& choice);

// "main v01.2.3": the input's name without folder and extension, then the boxes as typed.
QString ProposedPackageName(const QString& inputPath, const std::array<QString, 3>& versions);

// Writes the package for `input` to `target`, replacing an older one in one step once the new
// one is complete. None when it is; else the text that tells why it was not written, and the
// target is as it was, with no part of the new package beside it. The window's maker mode and
// quorvex-cli pack both build through this.
std::optional<QString> WritePackage(const QString& input, const QString& target,
                                    const DFFHeader& header, const ByteProgress& progress,
                                    ErrorSink& log);

} // namespace quorvex
