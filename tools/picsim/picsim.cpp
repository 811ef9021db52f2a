// picsim: a PIC16F877A unit simulated by gpsim, running our bootloader, on a pseudo-terminal.
//   picsim --link PATH [--dumps DIR] [--free-running] [--bootloader HEX] [--processor NAME]
// Prints "ready PATH -> /dev/pts/N" once the link exists. SIGUSR1 presses the unit's reset
// button. SIGINT or SIGTERM stops the unit: its program memory and EEPROM are then in
// DIR/program.hex and DIR/eeprom.hex (new files), and picsim prints "stopped".
// The end of the process that started picsim stops it as SIGTERM does. Exit status 0 after a
// clean stop, 1 when the unit could not be started or gpsim failed.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How long gpsim may take to start the unit, and to write the dumps and end.
constexpr int StartMs = 20000;
constexpr int StopMs = 10000;
// The fd number the control socket has in gpsim.
constexpr int ControlFd = 3;

int Usage() {
    std::fprintf(stderr,
                 "usage: picsim --link PATH [--dumps DIR] [--free-running] [--bootloader HEX]\n"
                 "              [--processor p16f877a|p16f876a]\n");
    return 2;
}

// Script text: a quoted value; the paths come from the caller, so quotes are refused.
bool Quotable(const std::string& s) {
    return s.find('"') == std::string::npos && s.find('\n') == std::string::npos;
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/')
        return path;
    char here[4096];
    if (!getcwd(here, sizeof here))
        return path;
    return std::string(here) + "/" + path;
}

bool WriteNew(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    return ::close(fd) == 0 && ok;
}

// Reads one line from `fd` within `ms`; empty on time-out or end of file.
std::string ReadLine(int fd, int ms) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            return {};
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, int(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return {};
        char c = 0;
        const ssize_t n = ::recv(fd, &c, 1, 0);
        if (n <= 0)
            return {};
        if (c == '\n')
            return line;
        line += c;
    }
}

// Waits for the child to end within `ms`, then kills it; returns its wait status.
int Reap(pid_t child, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t r = ::waitpid(child, &status, WNOHANG);
        if (r == child)
            return status;
        if (r < 0)
            return -1;
        ::usleep(10000);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return -1;
}

void ShowLog(const std::string& log) {
    FILE* f = std::fopen(log.c_str(), "r");
    if (!f)
        return;
    char line[512];
    while (std::fgets(line, sizeof line, f))
        std::fprintf(stderr, "gpsim: %s", line);
    std::fclose(f);
}

} // namespace

int main(int argc, char** argv) {
    std::string link;
    std::string dumps;
    std::string bootloader = QUORVEX_PICSIM_BOOTLOADER;
    std::string processor = "p16f877a";
    bool realtime = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--link" && hasValue)
            link = argv[++i];
        else if (a == "--dumps" && hasValue)
            dumps = argv[++i];
        else if (a == "--bootloader" && hasValue)
            bootloader = argv[++i];
        else if (a == "--processor" && hasValue)
            processor = argv[++i];
        else if (a == "--free-running")
            realtime = false;
        else
            return Usage();
    }
    if (link.empty() || (processor != "p16f877a" && processor != "p16f876a"))
        return Usage();
    link = Absolute(link);
    bootloader = Absolute(bootloader);
    std::string programDump;
    std::string eepromDump;
    if (!dumps.empty()) {
        programDump = Absolute(dumps) + "/program.hex";
        eepromDump = Absolute(dumps) + "/eeprom.hex";
    }
    for (const std::string* s : {&link, &bootloader, &programDump, &eepromDump}) {
        if (!Quotable(*s)) {
            std::fprintf(stderr, "picsim: a path may not hold quotes or line ends\n");
            return 2;
        }
    }

    // The signals are taken in turn below, never by a handler.
    sigset_t taken;
    sigemptyset(&taken);
    for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGCHLD})
        sigaddset(&taken, s);
    sigprocmask(SIG_BLOCK, &taken, nullptr);
    // A unit outlives no caller (a test killed at its time limit, a script that ended): the
    // caller's end stops it as SIGTERM does.
    const pid_t caller = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != caller)
        return 1;

    char folderTemplate[] = "/tmp/picsim.XXXXXX";
    const char* folder = mkdtemp(folderTemplate);
    if (!folder) {
        std::perror("picsim: mkdtemp");
        return 1;
    }
    const std::string script = std::string(folder) + "/unit.stc";
    const std::string log = std::string(folder) + "/gpsim.log";
    const auto quoted = [](const std::string& s) { return "\"" + s + "\""; };
    std::string text;
    text += "processor " + processor + " unit\n";
    text += "load " + quoted(bootloader) + "\n";
    text += "frequency 20000000\n";
    text += "unit.BreakOnReset = false\n"; // a reset is the unit's, no reason to stop
    text += "module library " QUORVEX_PICSIM_MODULE "\n";
    text += "module load quorvex_bridge bridge\n";
    text += "bridge.link = " + quoted(link) + "\n";
    text += "bridge.program_dump = " + quoted(programDump) + "\n";
    text += "bridge.eeprom_dump = " + quoted(eepromDump) + "\n";
    text += "bridge.control = " + std::to_string(ControlFd) + "\n";
    if (realtime)
        text += "bridge.realtime = true\n";
    text += "node unit_tx\n";
    text += "attach unit_tx unit.portc6 bridge.from_pic\n";
    text += "node unit_rx\n";
    text += "attach unit_rx unit.portc7 bridge.to_pic\n";
    text += "run\n";
    text += "quit\n";
    int sockets[2];
    if (!WriteNew(script, text) || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets)) {
        std::perror("picsim: set-up");
        return 1;
    }
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
        // Ends with us however we end, and keeps out of the terminal's Ctrl-C: the stop goes
        // through the control socket, so that the dumps are written.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(1);
        setpgid(0, 0);
        sigprocmask(SIG_UNBLOCK, &taken, nullptr);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || in < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0)
            _exit(1);
        if (sockets[1] == ControlFd)
            fcntl(ControlFd, F_SETFD, 0); // dup2 onto itself would keep close-on-exec
        else if (dup2(sockets[1], ControlFd) < 0)
            _exit(1);
        execlp("gpsim", "gpsim", "-i", "-c", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(sockets[1]);
    const int control = sockets[0];
    if (child < 0) {
        std::perror("picsim: fork");
        return 1;
    }

    bool linked = false;
    const auto cleanUp = [&] {
        // Once the unit was ready the link is the module's; gpsim leaves it behind.
        struct stat l {};
        if (linked && ::lstat(link.c_str(), &l) == 0 && S_ISLNK(l.st_mode))
            ::unlink(link.c_str());
        ::unlink(script.c_str());
        ::unlink(log.c_str());
        ::rmdir(folder);
    };
    const std::string ready = ReadLine(control, StartMs);
    if (ready.rfind("ready ", 0) != 0) {
        std::fprintf(stderr, "picsim: the simulated unit did not start\n");
        ::kill(child, SIGKILL);
        Reap(child, StopMs);
        ShowLog(log);
        cleanUp();
        return 1;
    }
    linked = true;
    std::printf("ready %s -> %s\n", link.c_str(), ready.substr(6).c_str());
    std::fflush(stdout);

    int status = 1;
    for (;;) {
        siginfo_t info{};
        const int s = sigwaitinfo(&taken, &info);
        if (s == SIGUSR1) {
            (void)!::send(control, "R", 1, MSG_NOSIGNAL);
            continue;
        }
        if (s == SIGCHLD) {
            int st = 0;
            if (::waitpid(child, &st, WNOHANG) != child)
                continue;
            std::fprintf(stderr, "picsim: gpsim ended by itself\n");
            ShowLog(log);
            cleanUp();
            return 1;
        }
        if (s == SIGINT || s == SIGTERM)
            break;
    }
    (void)!::send(control, "Q", 1, MSG_NOSIGNAL);
    const std::string stopped = ReadLine(control, StopMs);
    const int end = Reap(child, StopMs);
    if (stopped == "stopped" && end >= 0 && WIFEXITED(end) && WEXITSTATUS(end) == 0) {
        status = 0;
        std::printf("stopped\n");
    } else {
        std::fprintf(stderr, "picsim: the unit did not stop cleanly (%s)\n", stopped.c_str());
        ShowLog(log);
    }
    ::close(control);
    cleanUp();
    return status;
}
