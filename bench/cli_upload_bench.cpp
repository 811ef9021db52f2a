// Uploads a 1 MiB image through quorvex-cli to 1, 8, 32 and 64 simulated network units, each on
// a loopback address of its own (127.0.0.2 upwards), and reports each run's wall time against
// one unit's, and the program's peak resident size.
//   cli_upload_bench
// Each unit answers every datagram 1 ms after it arrives: a LAN's round trip and the unit's own
// work. On bare loopback the transfers would only compete for the processor's cores; with the
// unit's millisecond they show what a bench of units on a network waits for.
// Exit status 1 when 64 units take more than twice as long as one, when the program's peak
// resident size at 64 units exceeds one unit's by more than 8 MiB, when a unit's file differs
// from the image, or when a record is not right.
#include "net/tftp_packets.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace quorvex;

namespace {

constexpr double GoalRatio = 2.0;
constexpr long GoalGrowthKiB = 8 * 1024;
constexpr int ImageBytes = 1 << 20;
constexpr int AnswerDelayUs = 1000;
constexpr int RunLimitMs = 300000;

QString Program() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../cli/quorvex-cli");
}

QByteArray Image() {
    QByteArray image(ImageBytes, '\0');
    for (int i = 0; i < ImageBytes; ++i)
        image[i] = char((i * 131 + i / 509) % 253);
    return image;
}

QString AddressOf(int unit) {
    return QStringLiteral("127.0.0.%1").arg(unit + 2);
}

sockaddr_in Endpoint(const QString& address, quint16 port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, address.toLatin1().constData(), &a.sin_addr);
    return a;
}

int BoundSocket(const QString& address, quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return -1;
    const sockaddr_in a = Endpoint(address, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

quint16 LocalPort(int fd) {
    sockaddr_in a{};
    socklen_t size = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    return ntohs(a.sin_port);
}

// A network unit's loader on a thread of its own: the write request at its listening port,
// the blocks at a transfer port of its own, each answered 1 ms after it arrived. Stores the
// blocks in order, as the unit's flash would.
class ThreadedUnit {
  public:
    ThreadedUnit(int listen, int transfer) : listen_(listen), transfer_(transfer) {
        file.reserve(ImageBytes);
        thread_ = std::thread([this] { serve(); });
    }
    ~ThreadedUnit() {
        finish();
        ::close(listen_);
        ::close(transfer_);
    }
    // Ends the unit's thread; then `file` may be read.
    void finish() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    QByteArray file;

  private:
    // The write request at the listening port (the reboot requests before it are not TFTP),
    // then the blocks at the transfer port. Each receive sleeps in the system until a datagram
    // comes or a slice has passed, so that the unit costs the machine no more than a real
    // unit's network would.
    void serve() {
        QElapsedTimer alive;
        alive.start();
        std::vector<char> buffer(65536);
        const timeval slice{0, 50000};
        for (const int fd : {listen_, transfer_})
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
        const auto receive = [&](int fd, sockaddr_in& from) {
            socklen_t size = sizeof from;
            return ::recvfrom(fd, buffer.data(), buffer.size(), 0,
                              reinterpret_cast<sockaddr*>(&from), &size);
        };
        const auto answer = [&](int block, const sockaddr_in& to) {
            const timespec pause{0, AnswerDelayUs * 1000L};
            nanosleep(&pause, nullptr);
            const char ack[4] = {0, char(tftp::OpAck), char(block >> 8), char(block & 0xFF)};
            ::sendto(transfer_, ack, sizeof ack, 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to);
        };
        const auto running = [&] { return !stop_ && alive.elapsed() < RunLimitMs; };
        sockaddr_in client{};
        bool requested = false;
        while (!requested && running()) {
            const ssize_t n = receive(listen_, client);
            requested = n >= 4 && buffer[0] == 0 && buffer[1] == char(tftp::OpWrq);
        }
        if (!requested)
            return;
        answer(0, client);
        int stored = 0;
        while (running()) {
            sockaddr_in from{};
            const ssize_t n = receive(transfer_, from);
            if (n < tftp::PayloadAt || buffer[0] != 0 || buffer[1] != char(tftp::OpData))
                continue;
            const int block = (std::uint8_t(buffer[2]) << 8) | std::uint8_t(buffer[3]);
            if (block == (stored + 1) % 65536) {
                file.append(buffer.data() + tftp::PayloadAt, n - tftp::PayloadAt);
                stored = block;
            }
            answer(block, from);
        }
    }

    int listen_;
    int transfer_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// `count` units on 127.0.0.2 upwards, all listening at one port (the targets share
// --tftp-port); empty when the port could not be had on every address.
std::vector<std::unique_ptr<ThreadedUnit>> StartUnits(int count, quint16& port) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::vector<int> listens;
        port = 0;
        bool all = true;
        for (int i = 0; i < count && all; ++i) {
            const int fd = BoundSocket(AddressOf(i), port);
            all = fd >= 0;
            if (all) {
                listens.push_back(fd);
                port = LocalPort(fd);
            }
        }
        std::vector<std::unique_ptr<ThreadedUnit>> units;
        for (int i = 0; all && i < count; ++i) {
            const int transfer = BoundSocket(AddressOf(i), 0);
            all = transfer >= 0;
            if (all)
                units.push_back(std::make_unique<ThreadedUnit>(listens[size_t(i)], transfer));
        }
        if (all)
            return units;
        // The units made own their sockets; the rest are closed here.
        for (size_t i = units.size(); i < listens.size(); ++i)
            ::close(listens[i]);
    }
    return {};
}

struct Figures {
    bool ok = false;
    double wallS = 0;
    double cpuS = 0; // the program's, user and system
    long peakKiB = 0;
};

// The peak resident size of process `pid` so far, in KiB; 0 once it is gone. Read from /proc
// while it runs: the kernel's usage at its end would count this bench's own memory, which the
// spawned process shared until it started the program.
long PeakKiB(pid_t pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

// quorvex-cli run with `args`, its output thrown away; its status, wall time and peak resident
// size.
Figures RunProgram(const QStringList& args) {
    std::vector<QByteArray> bytes{QFile::encodeName(Program())};
    for (const QString& a : args)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Figures f;
    if (spawned != 0)
        return f;
    int status = 0;
    // Until the program has replaced the spawned process, /proc tells the bench's own size.
    bool started = false;
    rusage usage{};
    while (wait4(pid, &status, WNOHANG, &usage) == 0) {
        if (clock.elapsed() > RunLimitMs) {
            ::kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            std::fprintf(stderr, "quorvex-cli did not finish in time\n");
            return f;
        }
        started = started || QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)) ==
                                 QFileInfo(Program()).canonicalFilePath();
        if (started)
            f.peakKiB = std::max(f.peakKiB, PeakKiB(pid));
        const timespec pause{0, 1000000L};
        nanosleep(&pause, nullptr);
    }
    f.wallS = clock.nsecsElapsed() / 1e9;
    f.cpuS = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
             double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return f;
}

// Uploads `package` to `count` units; checks every unit's file and every record.
Figures Upload(const QString& package, const QByteArray& image, int count, const QString& dir) {
    quint16 port = 0;
    auto units = StartUnits(count, port);
    if (units.empty()) {
        std::fprintf(stderr, "cannot listen on %d loopback addresses\n", count);
        return {};
    }
    const QString record = dir + QStringLiteral("/units-%1.jsonl").arg(count);
    QStringList args{QStringLiteral("upload"),      package,
                     QStringLiteral("--tftp-port"), QString::number(port),
                     QStringLiteral("--record"),    record};
    for (int i = 0; i < count; ++i)
        args << QStringLiteral("--target") << AddressOf(i);
    Figures f = RunProgram(args);
    if (!f.ok)
        std::fprintf(stderr, "quorvex-cli upload to %d units failed\n", count);
    int whole = 0;
    for (auto& u : units) {
        u->finish();
        whole += u->file == image ? 1 : 0;
    }
    if (whole != count) {
        std::fprintf(stderr, "%d units: %d of them hold the image byte for byte\n", count, whole);
        f.ok = false;
    }
    QFile lines(record);
    QStringList seen;
    if (lines.open(QIODevice::ReadOnly))
        for (const QByteArray& line : lines.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject r = QJsonDocument::fromJson(line).object();
            const bool right = r.value("outcome").toString() == QLatin1String("uploaded") &&
                               r.value("blocks").toInt() == tftp::BlockCount(image.size()) &&
                               r.value("blocks_total").toInt() == tftp::BlockCount(image.size()) &&
                               r.value("address").toString() == r.value("target").toString();
            if (right)
                seen << r.value("target").toString();
        }
    seen.sort();
    QStringList expected;
    for (int i = 0; i < count; ++i)
        expected << AddressOf(i);
    expected.sort();
    if (seen != expected) {
        std::fprintf(stderr, "%d units: %lld of the records are right\n", count,
                     qint64(seen.size()));
        f.ok = false;
    }
    return f;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!QFile::exists(Program())) {
        std::fprintf(stderr, "%s is missing: build the tree first\n", qPrintable(Program()));
        return 1;
    }
    QTemporaryDir dir;
    const QByteArray image = Image();
    const QString raw = dir.filePath(QStringLiteral("image.bin"));
    const QString package = dir.filePath(QStringLiteral("image.dff"));
    {
        QFile f(raw);
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly) || f.write(image) != image.size())
            return 1;
    }
    const Figures pack =
        RunProgram({QStringLiteral("pack"), QStringLiteral("--product"), QStringLiteral("NYX2"),
                    QStringLiteral("--chip"), QStringLiteral("8"), QStringLiteral("--version"),
                    QStringLiteral("1.0.0"), raw, package});
    if (!pack.ok) {
        std::fprintf(stderr, "pack failed\n");
        return 1;
    }

    std::printf("quorvex-cli upload, a %d KiB image (%lld blocks) to each unit, every datagram "
                "answered after %d ms\n",
                ImageBytes / 1024, qint64(tftp::BlockCount(ImageBytes)), AnswerDelayUs / 1000);
    std::printf("  units   wall s   / 1 unit   CPU s   peak resident MiB\n");
    bool met = true;
    Figures one;
    for (const int count : {1, 8, 32, 64}) {
        const Figures f = Upload(package, image, count, dir.path());
        if (count == 1)
            one = f;
        met = met && f.ok && one.ok;
        const double ratio = one.wallS > 0 ? f.wallS / one.wallS : 0;
        std::printf("  %5d  %7.2f  %9.2f  %6.2f  %18.1f%s\n", count, f.wallS, ratio, f.cpuS,
                    f.peakKiB / 1024.0, f.ok ? "" : "  FAILED");
        if (count == 64) {
            met = met && ratio <= GoalRatio && f.peakKiB - one.peakKiB <= GoalGrowthKiB;
            std::printf("  64 units / 1 unit: %.2f (goal at most %.1f); peak resident size %.1f "
                        "MiB above one unit's (goal at most %ld)\n",
                        ratio, GoalRatio, (f.peakKiB - one.peakKiB) / 1024.0, GoalGrowthKiB / 1024);
        }
    }
    std::printf("%s\n", met ? "goals met" : "GOAL MISSED");
    return met ? 0 : 1;
}
