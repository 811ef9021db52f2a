#pragma once
// Ways to make a package write fail on this machine, where tests may run as root (which
// ignores file permissions). Both are POSIX-only; elsewhere the tests that need them skip.
#include <QString>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <sys/resource.h>
#define QUORVEX_HAS_UNWRITABLE_PLACES 1
#endif

namespace quorvex::testing {

#if defined(QUORVEX_HAS_UNWRITABLE_PLACES)
// While alive, files of this process cannot grow past `bytes`: a write beyond fails as it would
// on a full disk, after the bytes that still fit were written.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return active_; }

  private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
    bool active_ = false;
};

// A regular file that nobody, root included, can delete; a builder that reaches it fails
// before it writes anything.
inline QString UndeletableFile() {
#if defined(Q_OS_LINUX)
    return QStringLiteral("/proc/self/status");
#else
    return {};
#endif
}
#endif

} // namespace quorvex::testing
