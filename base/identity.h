#pragma once
// Who the program says it is: the caption, message box captions, the log's header and records.
#include "base/version.h"

#include <QString>

namespace quorvex {

struct Identity {
    static constexpr const char* Title = "Quorvex";
    static constexpr const char* Company = "Tolvane, Inc.";
    static constexpr int Major = QUORVEX_VERSION_MAJOR;
    static constexpr int Minor = QUORVEX_VERSION_MINOR;
    static constexpr int Revision = QUORVEX_VERSION_PATCH;
};

// "1.1.0": the program's own version, as each log record carries it.
QString ProgramVersionText();
// "Tolvane, Inc. Quorvex v1.1.0": the main window's caption.
QString CaptionText();
// The application title, the caption of every message box.
QString AppTitle();

} // namespace quorvex
