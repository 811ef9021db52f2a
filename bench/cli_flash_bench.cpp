// Flashes simulated units through quorvex-cli, one alone and then four at once, and reports
// the wall time of each run and the processor time the program took per unit.
//   cli_flash_bench
// Exit status 1 when four units take more than 1.15 times as long as one, when the program
// takes 10% or more of one core per unit, or when a unit's memory differs from the image.
#include "bootsim/simulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <vector>

using namespace quorvex;

namespace {

constexpr double GoalRatio = 1.15;
constexpr double GoalCpuSharePerUnit = 0.10;
constexpr int ImageBytes = 16192;
constexpr std::uint8_t TorvIdentification = 0x40; // TORV5 on a PIC16F876A/877A

QString Program() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../cli/quorvex-cli");
}

// Intel HEX text for an image with no blank block, so that every block is a frame.
QByteArray FullImageHex() {
    QByteArray text;
    for (int address = 0; address < ImageBytes; address += 16) {
        QByteArray record;
        record.append(char(16));
        record.append(char(address >> 8));
        record.append(char(address & 0xFF));
        record.append(char(0));
        for (int i = 0; i < 16; ++i)
            record.append(char((address + i * 7) % 251));
        std::uint8_t sum = 0;
        for (char c : record)
            sum = std::uint8_t(sum + std::uint8_t(c));
        record.append(char(std::uint8_t(0x100 - sum)));
        text += ':' + record.toHex().toUpper() + "\r\n";
    }
    text += ":00000001FF\r\n";
    return text;
}

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Figures {
    bool ok = false;
    double wallS = 0;
    double cpuS = 0;
};

Figures Flash(const QString& package, int units) {
    std::vector<std::unique_ptr<bootsim::Simulator>> sims;
    QStringList args{QStringLiteral("flash"), package};
    for (int i = 0; i < units; ++i) {
        bootsim::Options options;
        options.identification = TorvIdentification;
        sims.push_back(std::make_unique<bootsim::Simulator>(options));
        QString why;
        if (!sims.back()->start(&why)) {
            std::fprintf(stderr, "simulator: %s\n", qPrintable(why));
            return {};
        }
        args << QStringLiteral("--port") << sims.back()->slavePath();
    }
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double cpuBefore = ChildCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    p.start(Program(), args);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        std::fprintf(stderr, "quorvex-cli did not finish in time\n");
        return {};
    }
    Figures f;
    f.wallS = clock.nsecsElapsed() / 1e9;
    f.cpuS = ChildCpuSeconds() - cpuBefore;
    f.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!f.ok)
        std::fprintf(stderr, "%s", p.readAllStandardOutput().constData());
    for (const auto& sim : sims) {
        const QByteArray memory = sim->flash().left(ImageBytes);
        // Every block but the top one holds the image as written; re-vectoring changes the
        // first 8 and the last 8 bytes.
        for (int a = 8; a < ImageBytes - 8 && f.ok; ++a)
            if (std::uint8_t(memory.at(a)) != (a % 16 * 7 + (a - a % 16)) % 251)
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
    const QString hex = dir.filePath(QStringLiteral("full.hex"));
    const QString package = dir.filePath(QStringLiteral("full.dff"));
    {
        QFile f(hex);
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly) || f.write(FullImageHex()) < 0)
            return 1;
    }
    QProcess pack;
    pack.start(Program(), {QStringLiteral("pack"), QStringLiteral("--product"),
                           QStringLiteral("TORV5"), QStringLiteral("--chip"), QStringLiteral("0"),
                           QStringLiteral("--version"), QStringLiteral("1.0.0"), hex, package});
    if (!pack.waitForFinished(30000) || pack.exitCode() != 0) {
        std::fprintf(stderr, "pack failed\n");
        return 1;
    }

    const Figures one = Flash(package, 1);
    const Figures four = Flash(package, 4);
    if (!one.ok || !four.ok) {
        std::fprintf(stderr, "a flash failed or a unit's memory differs from the image\n");
        return 1;
    }
    const double ratio = four.wallS / one.wallS;
    const double shareOne = one.cpuS / one.wallS;
    const double shareFour = four.cpuS / four.wallS / 4;
    std::printf("quorvex-cli flash, %d frames per unit (every block of the image)\n",
                (ImageBytes + 63) / 64);
    std::printf("  1 unit : %6.2f s wall, %5.2f s CPU, %4.1f%% of one core per unit\n", one.wallS,
                one.cpuS, shareOne * 100);
    std::printf("  4 units: %6.2f s wall, %5.2f s CPU, %4.1f%% of one core per unit\n", four.wallS,
                four.cpuS, shareFour * 100);
    std::printf("  4 units / 1 unit: %.3f (goal at most %.2f)\n", ratio, GoalRatio);
    const bool met =
        ratio <= GoalRatio && shareOne < GoalCpuSharePerUnit && shareFour < GoalCpuSharePerUnit;
    std::printf("%s\n", met ? "goals met" : "GOAL MISSED");
    return met ? 0 : 1;
}
