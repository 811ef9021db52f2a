// Flashes images into a prompt simulated unit over a pseudo-terminal, through the transfer and
// through the real window, and reports the time per frame beside the floor set by the link's own
// pauses, and the processor time it took. The window runs on the display when there is one
// (xcb, e.g. under xvfb-run), offscreen otherwise.
//   serial_flash_bench
// Exit status 1 when a goal is missed or the unit's memory differs from the image.
#include "bootsim/simulator.h"
#include "serial/firmware_transfer.h"
#include "serial/packet_exchange.h"
#include "serial/qt_serial_port.h"
#include "support/bounded_wait.h"
#include "support/fake_devices.h"
#include "support/fakes.h"
#include "ui/frm_fw_updater.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

using namespace quorvex;

namespace {

// A prompt unit answers at once, as a bootloader does.
constexpr int TurnaroundMs = 0;
// A verdict still costs the pause before the frame and the quiet gap that ends the response; a
// pseudo-terminal adds no time on the line, and a prompt unit none of its own.
const double FloorMsPerFrame = Link::PauseBeforeFrameMs + TurnaroundMs + Link::QuietGapMs;

// The whole flash's floor: its frames, and one response window after the last flash frame and
// after the last EEPROM byte, in which an "N" could still take a "K" back.
double FloorMs(const bootsim::Simulator& sim) {
    double ms = 0;
    bool flash = false, eeprom = false;
    for (const auto& f : sim.frames()) {
        ms += FloorMsPerFrame;
        (f.eeprom ? eeprom : flash) = true;
    }
    return ms + Link::ResponseWindowMs * (int(flash) + int(eeprom));
}
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
    const double floorMs = FloorMs(sim);
    const bool same = sim.flash().left(ImageBytes) == fw.ProgramImage;
    const bool fast = wallMs <= floorMs * GoalRatio;
    const bool idle = procMs <= wallMs * GoalCpuShare;
    std::printf("%-14s %3d frames  %8.0f ms  %6.2f ms/frame  floor %.0f ms (%.0f ms a frame and "
                "the confirming windows)  ratio %.3f (goal <= %.2f)  cpu: updater %.1f%%, process "
                "%.1f%% of one core (goal < %.0f%%)  memory %s\n",
                name, frames, wallMs, perFrame, floorMs, FloorMsPerFrame, wallMs / floorMs,
                GoalRatio, 100 * cpuMs / wallMs, 100 * procMs / wallMs, 100 * GoalCpuShare,
                same ? "equals image" : "DIFFERS");
    return ok && same && fast && idle && log.count == 0 && report.count == 0;
}

// The flash as the technician starts it: a package loaded, "Com 1" chosen, a click on the
// window's main button; timed from the click to the box that says the unit is flashed. The time
// per frame includes the hello and the window that confirms the last frame.
bool RunThroughWindow(const char* name, const LoadedFirmware& image) {
    bootsim::Options options;
    options.turnaroundMs = TurnaroundMs;
    options.identification = 0x04; // an Orbel-8 with its PIC18F2620
    bootsim::Simulator sim(options);
    QTemporaryDir devices, programFolder;
    QString error;
    if (!devices.isValid() || !sim.start(&error) ||
        !QFile::link(sim.slavePath(), devices.filePath(QStringLiteral("ttyUSB0")))) {
        std::fprintf(stderr, "%s: cannot set up the simulated unit: %s\n", name, qPrintable(error));
        return false;
    }
    QtSerialPort serial(devices.path());
    LoadedFirmware fw = image;
    fakes::ScriptedPrompts prompts;
    prompts.defaultAnswer = true; // flash another unit: the window stays
    fakes::ScriptedDialogs dialogs;
    fakes::FakeUdpSocket socket;
    FrmFWUpdater form(FormDeps{fw, prompts, serial, socket, dialogs, programFolder.path()});
    form.showMedium(Medium::Serial);
    form.show();
    form.cmdRefresh_Click();
    form.findChild<QComboBox*>(QStringLiteral("SerialCommPort"))->setCurrentIndex(0);
    QElapsedTimer wall;
    const double proc0 = ProcessCpuMs();
    wall.start();
    form.findChild<QPushButton*>(QStringLiteral("cmdUpdate"))->click();
    const bool ended =
        quorvex::testing::WaitUntil([&] { return !prompts.messages.empty(); }, 120000);
    const double wallMs = double(wall.nsecsElapsed()) / 1e6;
    const double procMs = ProcessCpuMs() - proc0;
    // The question about another unit comes once the flash has given the port back.
    quorvex::testing::WaitUntil([&] { return !prompts.questions.empty(); }, 5000);
    sim.stop();

    const int frames = int(sim.frames().size());
    const double perFrame = frames ? wallMs / frames : 0;
    const bool flashed = ended && prompts.messages.size() == 1 &&
                         prompts.messages.front().text.endsWith(QStringLiteral("successfully."));
    const bool same = sim.flash().left(ImageBytes) == fw.ProgramImage;
    const bool fast = perFrame <= FloorMsPerFrame * GoalRatio;
    std::printf("%-14s %3d frames  %8.0f ms  %6.2f ms/frame  floor %.0f ms  ratio %.3f (goal <= "
                "%.2f)  cpu: process %.1f%% of one core  memory %s\n",
                name, frames, wallMs, perFrame, FloorMsPerFrame, perFrame / FloorMsPerFrame,
                GoalRatio, 100 * procMs / wallMs, same ? "equals image" : "DIFFERS");
    if (!flashed)
        for (const auto& m : prompts.messages)
            std::fprintf(stderr, "box: %s\n", qPrintable(m.text));
    return flashed && same && fast;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bool pass = true;
    pass = Run("typical image", Image(6 * 1024, 16)) && pass; // 96 blocks + top + 16 EEPROM
    pass = Run("full image", Image(ImageBytes, 0)) && pass;   // all 253 blocks
    pass = RunThroughWindow("full, window", Image(ImageBytes, 0)) && pass;
    std::printf("%s\n",
                pass ? "serial flash benchmark: goals met" : "serial flash benchmark: GOAL MISSED");
    return pass ? 0 : 1;
}
