#pragma once
// The maker's "Continue": checks the panel's boxes, asks for a firmware file and where to save
// the package, and has the builder write it.
#include "base/file_dialogs.h"
#include "base/prompts.h"
#include "flow/window_port.h"
#include "package/package_builder.h"

#include <functional>

namespace quorvex {

enum class BuildOutcome {
    Refused,   // a box holds what no header can carry; nothing was asked, the panel stays open
    Cancelled, // a dialog was cancelled; nothing was written
    Failed,    // the package could not be written; the maker was told why
    Written,   // the package is complete and the window was closed
};

// Run when "Continue" is pressed. `hidePanel` closes the maker panel, as its "Cancel" does.
BuildOutcome BuildPackageFromPanel(ErrorSink& log, Prompts& prompts, WindowPort& window,
                                   FileDialogBackend& dialogs, const MakerChoice& choice,
                                   const std::function<void()>& hidePanel);

} // namespace quorvex
