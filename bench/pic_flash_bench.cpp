// Flashes a package through the real window (offscreen) into the simulated PIC16F877A, which
// gpsim runs in real time at 9600 baud, and reports the time per frame beside the floor the
// line sets.
//   pic_flash_bench
// Exit status 1 when the flash fails, the unit's memory differs from the package, or the time
// per frame misses its goal.
#include "net/system_udp_socket.h"
#include "package/intel_hex.h"
#include "picsim/unit.h"
#include "serial/packet_exchange.h"
#include "serial/qt_serial_port.h"
#include "support/bounded_wait.h"
#include "support/fake_devices.h"
#include "support/fakes.h"
#include "ui/frm_fw_updater.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

using namespace quorvex;

namespace {

// Flash blocks of the bench's package besides the re-vectored top block.
constexpr int Blocks = 48;
constexpr double Baud = 9600;
constexpr double BitsPerByte = 10;
constexpr int FrameBytes = 68;
// What the line itself costs a frame: the frame out, the verdict back.
const double LineMs = (FrameBytes + 1) * BitsPerByte / Baud * 1000;
const double FloorMs = Link::PauseBeforeFrameMs + LineMs + Link::QuietGapMs;
constexpr double GoalRatio = 1.10;

QString CliPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../cli/quorvex-cli");
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QTemporaryDir devices;
    QTemporaryDir programFolder;
    if (!dir.isValid() || !devices.isValid() || !programFolder.isValid())
        return 1;

    // Program data in the first blocks; the package builder adds the top block.
    QByteArray hex;
    for (int at = 0; at < Blocks * 64; at += 16) {
        QByteArray data(16, 0);
        for (int i = 0; i < 16; ++i)
            data[i] = char((at + i) * 7 % 251 & (i % 2 ? 0x3F : 0xFF)); // 14-bit words
        hex += IntelHexRecord(0, at, data) + "\r\n";
    }
    hex += IntelHexRecord(1, 0, {}) + "\r\n";
    const QString hexPath = dir.filePath(QStringLiteral("bench.hex"));
    const QString package = dir.filePath(QStringLiteral("bench.dff"));
    QFile f(hexPath);
    if (!f.open(QIODevice::WriteOnly) || f.write(hex) != hex.size())
        return 1;
    f.close();
    if (QProcess::execute(CliPath(), {"pack", "--product", "TORV5", "--chip", "0", "--version",
                                      "1.0.0", hexPath, package}) != 0) {
        std::fprintf(stderr, "cannot pack the bench's package\n");
        return 1;
    }

    picsim::Unit unit(devices.filePath(QStringLiteral("ttyUSB0")));
    QString error;
    if (!unit.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    LoadedFirmware firmware;
    fakes::ScriptedPrompts prompts;
    fakes::ScriptedDialogs dialogs;
    fakes::TableResolver resolver;
    SystemUdpSocket socket{resolver};
    QtSerialPort serial(devices.path());
    FrmFWUpdater form(FormDeps{firmware, prompts, serial, socket, dialogs, programFolder.path()});
    form.show();
    auto* button = form.findChild<QPushButton*>(QStringLiteral("cmdUpdate"));
    dialogs.choose(package);
    prompts.answers.push_back(true);
    button->click();
    // The package is decoded on the window's worker.
    quorvex::testing::WaitUntil([&] { return !form.working(); }, 30000);
    if (!firmware.isLoaded()) {
        std::fprintf(stderr, "the window did not load the package\n");
        return 1;
    }
    int frames = 0;
    for (int at = 0; at + 64 <= firmware.ProgramImage.size(); at += 64)
        frames += firmware.ProgramImage.mid(at, 64) != QByteArray(64, char(0xFF));
    const QByteArray image = firmware.ProgramImage;

    QElapsedTimer wall;
    qint64 doneNs = 0;
    prompts.onMessage = [&](const fakes::ShownMessage&) { doneNs = wall.nsecsElapsed(); };
    prompts.answers.push_back(false); // no further unit
    wall.start();
    button->click();
    const bool ended = quorvex::testing::WaitUntil([&] { return !form.isVisible(); }, 120000);
    picsim::Dumps dumps;
    const bool stopped = unit.stop(&dumps, &error);

    bool same = dumps.program.size() == 2 * picsim::ProgramWords;
    for (int w = 0; same && w < picsim::BootloaderStart; ++w) {
        // In 14 bits: the simulator keeps the 16 a word was written with.
        const int unitWord =
            (std::uint8_t(dumps.program[2 * w]) | std::uint8_t(dumps.program[2 * w + 1]) << 8) &
            0x3FFF;
        const int packageWord =
            (std::uint8_t(image[2 * w]) | std::uint8_t(image[2 * w + 1]) << 8) & 0x3FFF;
        same = unitWord == packageWord;
        if (!same)
            std::fprintf(stderr, "word 0x%04X: unit 0x%04X, package 0x%04X\n", w, unitWord,
                         packageWord);
    }
    const bool success =
        ended && prompts.messages.size() == 1 &&
        prompts.messages[0].text == "PIC16F876A/877A flashed with firmware v1.0.0 successfully.";
    const double perFrame = frames ? double(doneNs) / 1e6 / frames : 0;
    const bool fast = perFrame <= FloorMs * GoalRatio;
    std::printf("%d frames in %.0f ms (from the click, one hello included): %.1f ms/frame; "
                "floor %.1f ms (pause %d + line %.1f + the unit's write, under 1 ms in the "
                "simulator + quiet gap %d); ratio %.3f (goal <= %.2f); memory %s\n",
                frames, double(doneNs) / 1e6, perFrame, FloorMs, Link::PauseBeforeFrameMs, LineMs,
                Link::QuietGapMs, perFrame / FloorMs, GoalRatio,
                same ? "equals the package" : "DIFFERS");
    const bool pass = success && stopped && same && fast;
    std::printf("%s\n",
                pass ? "pic flash benchmark: goals met" : "pic flash benchmark: GOAL MISSED");
    return pass ? 0 : 1;
}
