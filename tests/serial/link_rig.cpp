#include "link_rig.h"

#include <QFile>
#include <QThread>
#include <utility>

namespace quorvex::testing {

void SpyPort::output(const QByteArray& bytes) {
    readLast_ = false;
    writes.push_back(bytes);
    inner_.output(bytes);
}

void SpyPort::drain() {
    // The first read after a drain opens the frame's first window.
    readLast_ = true;
    inner_.drain();
    if (drainLateMs > 0)
        QThread::msleep(drainLateMs);
}

QByteArray SpyPort::input() {
    if (std::exchange(readLast_, true))
        ++windowsOpened;
    if (++inputs == failInputNumber)
        Raise(FailureNo::DeviceIOError);
    return inner_.input();
}

LoadedFirmware SerialFirmware(const QString& code, int chip) {
    LoadedFirmware fw;
    fw.Header = DFFHeader::Of(code, 1, 4, chip, 12);
    fw.ProgramImage = QByteArray(16192, char(0xFF));
    fw.EepromImage = QByteArray(1, 0);
    fw.EepromPresent = QByteArray(1, 0);
    fw.ConfigImage = QByteArray(1, 0);
    return fw;
}

void FillProgram(LoadedFirmware& fw, int offset, int count) {
    for (int i = offset; i < offset + count; ++i)
        fw.ProgramImage[i] = char((i * 7 + 3) % 255); // never 0xFF
    fw.ProgramEnd = std::max(fw.ProgramEnd, offset + count);
}

void SetEeprom(LoadedFirmware& fw, int address, std::uint8_t value) {
    if (address >= fw.EepromImage.size()) {
        fw.EepromImage.resize(address + 1, 0);
        fw.EepromPresent.resize(address + 1, 0);
    }
    fw.EepromImage[address] = char(value);
    fw.EepromPresent[address] = 1;
}

LinkRig::LinkRig(bootsim::Options options, bool openPort)
    : sim(std::move(options)), port(folder.path()), spy(port) {
    spy.drainLateMs = qEnvironmentVariableIntValue("QUORVEX_TEST_DRAIN_LATE_MS");
    if (!folder.isValid()) {
        error = QStringLiteral("no temporary folder");
        return;
    }
    if (!sim.start(&error))
        return;
    // Named after the terminal's own number, so that rigs alive at the same time never share
    // a device name.
    const QString link = folder.filePath(QStringLiteral("ttyUSB%1").arg(sim.slaveNumber()));
    if (!QFile::link(sim.slavePath(), link)) {
        error = QStringLiteral("cannot link %1").arg(link);
        return;
    }
    if (openPort) {
        try {
            port.setCommPort(1);
            port.open();
        } catch (const FailureError& e) {
            error = e.failure().description;
            return;
        }
    }
    ready = true;
}

LinkRig::~LinkRig() {
    port.close();
    sim.stop();
}

std::vector<bootsim::FrameRecord> LinkRig::flashFrames() const {
    std::vector<bootsim::FrameRecord> out;
    for (const auto& f : sim.frames())
        if (!f.eeprom)
            out.push_back(f);
    return out;
}

std::vector<bootsim::FrameRecord> LinkRig::eepromFrames() const {
    std::vector<bootsim::FrameRecord> out;
    for (const auto& f : sim.frames())
        if (f.eeprom)
            out.push_back(f);
    return out;
}

} // namespace quorvex::testing
