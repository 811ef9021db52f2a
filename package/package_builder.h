#pragma once
// The maker's "Continue": asks for a firmware file, fills a package header from the maker
// panel, asks where to save and has the cipher write the package.
#include "base/file_dialogs.h"
#include "base/loaded_firmware.h"
#include "flow/session.h"

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

enum class BuildOutcome {
    Refused,   // a box holds what no header can carry; nothing was asked, the panel stays open
    Cancelled, // a dialog was cancelled; nothing was written
    Failed,    // the package could not be written; the maker was told why
    Written,   // the package is complete and the window was closed
};

// The box that keeps `choice` from becoming a header, with what it accepts; none when every
// box reads.
std::optional<QString> RefusalOf(const MakerChoice& choice);

// The header of a choice that RefusalOf accepts.
DFFHeader HeaderOf(const MakerChoice& choice);

// "main v01.2.3": the input's name without folder and extension, then the boxes as typed.
QString ProposedPackageName(const QString& inputPath, const std::array<QString, 3>& versions);

// The whole build, run when "Continue" is pressed. `hidePanel` closes the maker panel, as its
// "Cancel" does.
BuildOutcome cmdMakeDFF_Click(Session& s, FileDialogBackend& dialogs, const MakerChoice& choice,
                              const std::function<void()>& hidePanel);

} // namespace quorvex
