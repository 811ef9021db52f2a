// bootsim: a simulated unit on a pseudo-terminal, for trying the updater by hand.
//   bootsim --unit 0 --chip 4 [--hello-from N] [--baud B] [--turnaround MS] [--link PATH]
// Prints the terminal's path (and links PATH to it), answers until interrupted, then tells
// what it was sent.
#include "bootsim/simulator.h"

#include <QFile>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvex::bootsim;

namespace {

int Usage() {
    std::fprintf(
        stderr, "usage: bootsim --unit ID --chip ID [--hello-from N] [--baud B] [--turnaround MS] "
                "[--link PATH]\n"
                "  ID 0..15; the unit answers hellos from the N-th on (default 1), at once unless\n"
                "  --turnaround says otherwise; --baud makes every byte take its time on a line\n"
                "  of that rate, both ways\n");
    return 2;
}

bool ParseNibble(const char* text, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 0);
    if (!end || *end || v < 0 || v > 15)
        return false;
    out = int(v);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int unit = -1;
    int chip = -1;
    Options options;
    const char* link = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--unit") && hasValue) {
            if (!ParseNibble(argv[++i], unit))
                return Usage();
        } else if (!std::strcmp(argv[i], "--chip") && hasValue) {
            if (!ParseNibble(argv[++i], chip))
                return Usage();
        } else if (!std::strcmp(argv[i], "--hello-from") && hasValue) {
            options.answerHellosFrom = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--baud") && hasValue) {
            options.baud = std::max(0, std::atoi(argv[++i]));
        } else if (!std::strcmp(argv[i], "--turnaround") && hasValue) {
            options.turnaroundMs = std::max(0, std::atoi(argv[++i]));
        } else if (!std::strcmp(argv[i], "--link") && hasValue) {
            link = argv[++i];
        } else {
            return Usage();
        }
    }
    if (unit < 0 || chip < 0)
        return Usage();
    options.identification = std::uint8_t(unit * 16 + chip);

    // Signals are taken by sigwait below, not by a handler that could interrupt the simulator.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    Simulator sim(options);
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "bootsim: %s\n", qPrintable(error));
        return 1;
    }
    const QByteArray path = sim.slavePath().toLocal8Bit();
    if (link) {
        // Only a link of our own is ever replaced: the path may name a real device.
        struct stat existing {};
        if (::lstat(link, &existing) == 0 && !S_ISLNK(existing.st_mode)) {
            std::fprintf(stderr, "bootsim: %s exists and is not a link; choose another path\n",
                         link);
            return 1;
        }
        ::unlink(link);
        if (::symlink(path.constData(), link) != 0) {
            std::perror("bootsim: symlink");
            return 1;
        }
    }
    std::printf("%s\n", path.constData());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    sim.stop();
    if (link)
        ::unlink(link);

    int flash = 0;
    int eeprom = 0;
    for (const FrameRecord& f : sim.frames())
        (f.eeprom ? eeprom : flash)++;
    std::printf("hellos %d, flash frames %d, eeprom frames %d\n", sim.hellos(), flash, eeprom);
    return 0;
}
