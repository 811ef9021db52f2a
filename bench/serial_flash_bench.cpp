// Flashes images into the simulated unit over a pseudo-terminal and reports the time per
// frame beside the floor set by the link's own pauses, and the processor time it took.
//   serial_flash_bench
// Exit status 1 when a goal is missed or the unit's memory differs from the image.
#include "bootsim/simulator.h"
#include "serial/firmware_transfer.h"
#include "serial/packet_exchange.h"
#include "serial/qt_serial_port.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

using namespace quorvex;

namespace {

// A quick unit's time to answer.
constexpr int TurnaroundMs = 2;
// A verdict still costs the pause before the frame, the unit's own time to answer and the quiet
// gap that ends the response; a pseudo-terminal adds no time on the line.
const double FloorMsPerFrame = Link::PauseBeforeFrameMs + TurnaroundMs + Link::QuietGapMs;
// What the link cost when a read paused blind for one quiet gap before it waited out another.
const double FormerFloorMsPerFrame = FloorMsPerFrame + Link::QuietGapMs;
constexpr double GoalRatio = 1.10;
constexpr double GoalCpuShare = 0.10;
constexpr int ImageBytes = 16192;

class QuietLog : public ErrorSink {
  public:
    void LogError(const QString& m) override {
        ++count;
        std::fprintf(stderr, "logged: %s\n", qPrintable(m));
    }
    int count = 0;
};

// Counts the boxes a flash would show: none when it goes well.
class CountingReport : public FlashReport {
  public:
    void message(const QString&) override {}
    void progress(qint64, qint64) override {}
    void error(const QString& text, const QString&) override {
        ++count;
        std::fprintf(stderr, "box: %s\n", qPrintable(text));
    }
    void info(const QString& text) override { error(text, {}); }
    int count = 0;
};

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double ProcessCpuMs() {
    return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC;
}

LoadedFirmware Image(int programBytes, int eepromBytes) {
    LoadedFirmware fw;
    fw.Header.setProductCode(QStringLiteral("ORBEL"));
    fw.Header.ChipId = 4;
    fw.ProgramImage = QByteArray(ImageBytes, char(0xFF));
    for (int i = 0; i < programBytes; ++i)
        fw.ProgramImage[i] = char((i * 13 + 1) % 255);
    for (int i = ImageBytes - 8; i < ImageBytes; ++i) // the re-vectored top block
        fw.ProgramImage[i] = char(i % 200);
    fw.ProgramEnd = programBytes;
    fw.EepromImage = QByteArray(std::max(1, eepromBytes), 0);
    fw.EepromPresent = QByteArray(std::max(1, eepromBytes), 0);
    for (int a = 0; a < eepromBytes; ++a) {
        fw.EepromImage[a] = char(a * 3);
        fw.EepromPresent[a] = 1;
    }
    fw.ConfigImage = QByteArray(1, 0);
    return fw;
}

bool Run(const char* name, LoadedFirmware fw) {
    bootsim::Options options;
    options.turnaroundMs = TurnaroundMs;
    bootsim::Simulator sim(options);
    QTemporaryDir folder;
    QString error;
    if (!folder.isValid() || !sim.start(&error) ||
        !QFile::link(sim.slavePath(),
                     folder.filePath(QStringLiteral("ttyUSB%1").arg(sim.slaveNumber())))) {
        std::fprintf(stderr, "%s: cannot set up the simulated unit: %s\n", name, qPrintable(error));
        return false;
    }
    QtSerialPort port(folder.path());
    port.setSettings(QStringLiteral("38400,n,8,1"));
    port.setCommPort(1);
    port.open();
    QuietLog log;
    CountingReport report;

    const double cpu0 = ThreadCpuMs();
    const double proc0 = ProcessCpuMs();
    QElapsedTimer wall;
    wall.start();
    const bool ok = SendFirmwareSer(SerialLink{port, log}, fw, report);
    const double wallMs = double(wall.nsecsElapsed()) / 1e6;
    const double cpuMs = ThreadCpuMs() - cpu0;
    const double procMs = ProcessCpuMs() - proc0;
    port.close();
    sim.stop();

    const int frames = int(sim.frames().size());
    const double perFrame = frames ? wallMs / frames : 0;
    const bool same = sim.flash().left(ImageBytes) == fw.ProgramImage;
    const bool fast = perFrame <= FloorMsPerFrame * GoalRatio;
    const bool idle = procMs <= wallMs * GoalCpuShare;
    std::printf(
        "%-14s %3d frames  %8.0f ms  %6.2f ms/frame  floor %.0f ms (former %.0f ms)  ratio %.3f "
        "(goal <= %.2f)  cpu: updater %.1f%%, process %.1f%% of one core (goal < %.0f%%)  "
        "memory %s\n",
        name, frames, wallMs, perFrame, FloorMsPerFrame, FormerFloorMsPerFrame,
        perFrame / FloorMsPerFrame, GoalRatio, 100 * cpuMs / wallMs, 100 * procMs / wallMs,
        100 * GoalCpuShare, same ? "equals image" : "DIFFERS");
    return ok && same && fast && idle && log.count == 0 && report.count == 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bool pass = true;
    pass = Run("typical image", Image(6 * 1024, 16)) && pass; // 96 blocks + top + 16 EEPROM
    pass = Run("full image", Image(ImageBytes, 0)) && pass;   // all 253 blocks
    std::printf("%s\n",
                pass ? "serial flash benchmark: goals met" : "serial flash benchmark: GOAL MISSED");
    return pass ? 0 : 1;
}
