#pragma once
// Ways to make a package write fail on this machine, where tests may run as root (which
// ignores file permissions). Both are POSIX-only; elsewhere the tests that need them skip.
#include <QString>

#if defined(Q_OS_UNIX)
#include <QFile>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#define QUORVEX_HAS_UNWRITABLE_PLACES 1
#endif

// The address sanitizer reserves more address space than any limit below would leave it.
#if defined(__SANITIZE_ADDRESS__)
#define QUORVEX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVEX_ADDRESS_SANITIZER 1
#endif
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

// While alive, the process can map at most `extra` bytes more than it has mapped now: a large
// allocation fails as it does when memory runs out.
class AddressSpaceLimit {
  public:
    explicit AddressSpaceLimit(rlim_t extra) {
        getrlimit(RLIMIT_AS, &saved_);
        const rlim_t now = MappedNow();
        rlimit limited = saved_;
        limited.rlim_cur = now + extra;
        active_ = now > 0 && setrlimit(RLIMIT_AS, &limited) == 0;
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &saved_); }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;
    bool active() const { return active_; }

  private:
    // The first figure of /proc/self/statm: pages of address space in use; 0 when unknown.
    static rlim_t MappedNow() {
        QFile statm(QStringLiteral("/proc/self/statm"));
        if (!statm.open(QIODevice::ReadOnly))
            return 0;
        return rlim_t(statm.readLine().split(' ').value(0).toULongLong()) *
               rlim_t(sysconf(_SC_PAGESIZE));
    }

    rlimit saved_{};
    bool active_ = false;
};
#endif

} // namespace quorvex::testing
