#pragma once
// Runs test code as a user that permissions apply to. The tests run as root, for whom no mode
// bits and no read-only folder are a barrier, so a check that a refusal is handled runs in a
// child that has given up root (the user "nobody"); run by another user, the child keeps
// that user's identity.
#include <functional>
#include <sys/types.h>

namespace quorvex::testing {

struct UserIds {
    uid_t uid;
    gid_t gid;
};

// Who the child runs as: nobody when the tests run as root, else the current user.
UserIds UnprivilegedIds();

// Gives up root for `ids` (no supplementary groups). Only async-signal-safe calls, so that it
// may run between fork and exec (QProcess::setChildProcessModifier). False when it failed.
bool DropTo(const UserIds& ids);

// Runs `body` in a forked child as UnprivilegedIds(); returns its result (0 to 255), or -1 when
// the child could not drop root, failed otherwise or did not end within `timeoutMs` (then it
// is killed).
int RunUnprivileged(const std::function<int()>& body, int timeoutMs = 20000);

} // namespace quorvex::testing
