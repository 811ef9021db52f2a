// A simulated network unit: takes TFTP write requests on a loopback port, as a unit's loader
// does, and keeps each upload in a folder.
//   netsim --port N --into DIR
// Answers at once; prints a line per upload; Ctrl-C or SIGTERM stops it. Other datagrams (the
// reboot requests that come first) are noted and left unanswered.
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int BlockSize = 512;
// A client silent this long has given up on the upload.
constexpr int SilenceMs = 7000;

volatile std::sig_atomic_t stopping = 0;

void Stop(int) {
    stopping = 1;
}

int Usage() {
    std::fprintf(stderr, "usage: netsim --port N --into DIR\n");
    return 2;
}

int LoopbackSocket(int port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(std::uint16_t(port));
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        std::perror("netsim: bind");
        std::exit(1);
    }
    return fd;
}

void Send(int fd, const sockaddr_in& to, const std::string& packet) {
    (void)!::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                    sizeof to);
}

std::string Ack(unsigned block) {
    return std::string{0, 4, char(block >> 8), char(block & 0xFF)};
}

// One upload on a transfer socket of its own, as TFTP asks.
void Receive(const sockaddr_in& client, const std::string& name, const std::string& folder) {
    const int fd = LoopbackSocket(0);
    // The name is the unit's product code; only its last part is taken, inside the folder.
    const std::string base = name.substr(name.find_last_of('/') + 1);
    const std::string path = folder + "/" + (base.empty() ? "upload" : base);
    const int out =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (out < 0) {
        std::fprintf(stderr, "netsim: %s: %s\n", path.c_str(), std::strerror(errno));
        ::close(fd);
        return;
    }
    Send(fd, client, Ack(0));
    unsigned expected = 1;
    long total = 0;
    bool whole = false;
    char buf[4 + BlockSize + 1];
    while (!stopping && !whole) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, SilenceMs) <= 0)
            break;
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 4 || buf[1] != 3)
            continue;
        const unsigned block = (unsigned(std::uint8_t(buf[2])) << 8) | std::uint8_t(buf[3]);
        if (block == (expected & 0xFFFF)) {
            total += long(n - 4);
            if (::write(out, buf + 4, std::size_t(n - 4)) != n - 4)
                break;
            whole = n - 4 < BlockSize;
            ++expected;
        }
        Send(fd, from, Ack(block));
    }
    ::close(out);
    ::close(fd);
    std::printf("netsim: %s %s: %ld bytes in %u blocks\n", whole ? "received" : "incomplete",
                path.c_str(), total, expected - 1);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    int port = 0;
    std::string folder;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--port"))
            port = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--into"))
            folder = argv[i + 1];
        else
            return Usage();
    }
    if (argc % 2 == 0 || port <= 0 || port > 65535 || folder.empty())
        return Usage();
    struct sigaction stop {};
    stop.sa_handler = Stop;
    ::sigaction(SIGINT, &stop, nullptr);
    ::sigaction(SIGTERM, &stop, nullptr);

    const int fd = LoopbackSocket(port);
    std::printf("netsim: a network unit on 127.0.0.1 port %d\n", port);
    std::fflush(stdout);
    char buf[1024];
    while (!stopping) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(fd, buf, sizeof buf - 1, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0)
            continue; // a signal: the loop looks at `stopping`
        buf[n] = 0;
        if (n > 2 && buf[0] == 0 && buf[1] == 2)
            Receive(from, std::string(buf + 2), folder);
        else
            std::printf("netsim: a datagram of %zd bytes (a reboot request)\n", n);
        std::fflush(stdout);
    }
    ::close(fd);
    return 0;
}
