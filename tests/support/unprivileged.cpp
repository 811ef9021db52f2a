#include "support/unprivileged.h"

#include <QDeadlineTimer>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvex::testing {

UserIds UnprivilegedIds() {
    if (::geteuid() != 0)
        return {::geteuid(), ::getegid()};
    if (const passwd* nobody = ::getpwnam("nobody"))
        return {nobody->pw_uid, nobody->pw_gid};
    return {65534, 65534};
}

bool DropTo(const UserIds& ids) {
    if (::geteuid() != 0)
        return ::geteuid() == ids.uid;
    return ::setgroups(0, nullptr) == 0 && ::setgid(ids.gid) == 0 && ::setuid(ids.uid) == 0 &&
           ::setuid(0) != 0; // root is gone for good
}

int RunUnprivileged(const std::function<int()>& body, int timeoutMs) {
    const UserIds ids = UnprivilegedIds();
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        int result = 255;
        if (DropTo(ids)) {
            try {
                result = body();
            } catch (...) {
                result = 254;
            }
        }
        ::_exit(result);
    }
    QDeadlineTimer deadline(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        if (done < 0 && errno != EINTR)
            return -1;
        if (deadline.hasExpired()) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        QThread::msleep(5);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) >= 254)
        return -1;
    return WEXITSTATUS(status);
}

} // namespace quorvex::testing
