#pragma once
// quorvex-cli's exit statuses for a package that does not load: one for each way the package
// reader says it failed, so that a script can tell a missing file from a wrong key or damage.
#include "package/package_reader.h"

namespace quorvex::cli {

enum class LoadStatus {
    Unreadable = 3, // not there, not readable, or shorter than its header
    WrongKey = 4,   // no key opens it
    Damaged = 5,    // its firmware is damaged, too large, or holds what no unit can take
};

inline LoadStatus StatusOf(LoadFault fault) {
    switch (fault) {
    case LoadFault::Unreadable:
        break;
    case LoadFault::WrongKey:
        return LoadStatus::WrongKey;
    case LoadFault::Damaged:
        return LoadStatus::Damaged;
    }
    return LoadStatus::Unreadable;
}

} // namespace quorvex::cli
