#pragma once
// What the serial link tests share: the simulated unit on a pseudo-terminal, a temporary
// device folder whose only node links to it (so "Com 1" is the simulated unit), the real
// QtSerialPort opened on it, and a session that records what it logs and reports.
#include "base/loaded_firmware.h"
#include "bootsim/simulator.h"
#include "serial/packet_exchange.h"
#include "serial/qt_serial_port.h"
#include "support/fake_devices.h"
#include "support/recording_log.h"
#include "support/recording_reports.h"

#include <QTemporaryDir>
#include <functional>
#include <ostream>
#include <vector>

namespace quorvex::testing {

// Passes every call to a real port and records the writes; can make one read fail.
class SpyPort : public SerialPort {
  public:
    explicit SpyPort(SerialPort& inner) : inner_(inner) {}
    void setCommPort(int n) override { inner_.setCommPort(n); }
    void setCommDevice(int n, const QString& d) override { inner_.setCommDevice(n, d); }
    int commPort() const override { return inner_.commPort(); }
    void setSettings(const QString& s) override { inner_.setSettings(s); }
    QString settings() const override { return inner_.settings(); }
    void open() override { inner_.open(); }
    void close() override { inner_.close(); }
    bool isOpen() const override { return inner_.isOpen(); }
    void output(const QByteArray& bytes) override;
    void drain() override;
    QByteArray input() override;
    int inBufferCount() override { return inner_.inBufferCount(); }
    bool waitForReadyRead(int ms) override {
        readLast_ = false;
        return inner_.waitForReadyRead(ms);
    }
    QString deviceName(int n) const override { return inner_.deviceName(n); }

    std::vector<QByteArray> writes;
    int inputs = 0;
    int failInputNumber = -1; // this input() call (from 1) fails with a device error
    // drain() returns this long after the bytes have left; QUORVEX_TEST_DRAIN_LATE_MS sets it
    // for a whole test run.
    int drainLateMs = 0;
    // A response window waits between its reads; two reads back to back are where one window
    // ends and the next begins, and the first read after a drain opens the first. So this
    // counts the windows of one exchange.
    int windowsOpened = 0;

  private:
    SerialPort& inner_;
    bool readLast_ = false;
};

// A link clock `factor` times slower than the steady one: a boundary a few milliseconds of
// link time wide becomes one of tenths of a second, which a busy machine does not cross.
class SlowLinkClock : public LinkClock {
  public:
    explicit SlowLinkClock(int factor) : factor_(factor), startUs_(SteadyLinkClock().nowUs()) {}
    std::int64_t nowUs() const override { return (SteadyLinkClock().nowUs() - startUs_) / factor_; }
    int msUntil(std::int64_t us) const override {
        const std::int64_t realUs = (us - nowUs()) * factor_;
        return realUs <= 0 ? 0 : int((realUs + 999) / 1000);
    }
    int factor() const { return factor_; }

  private:
    int factor_;
    std::int64_t startUs_;
};

// A serial package's firmware: a 16,192-byte image of 0xFF.
LoadedFirmware SerialFirmware(const QString& code, int chip);
// Fills `count` bytes from `offset` with varied non-0xFF values.
void FillProgram(LoadedFirmware& fw, int offset, int count);
void SetEeprom(LoadedFirmware& fw, int address, std::uint8_t value);

class LinkRig {
  public:
    explicit LinkRig(bootsim::Options options = {}, bool openPort = true);
    ~LinkRig();

    bool ready = false;
    QString error;

    bootsim::Simulator sim;
    QTemporaryDir folder;
    QtSerialPort port;
    SpyPort spy;
    LoadedFirmware fw;
    fakes::RecordingLog log;
    // The network is no part of a serial flash: anything opened or sent there is a fault.
    fakes::FakeUdpSocket udp;
    SerialLink link{spy, log};
    fakes::RecordingFlashReport report;

    // How many response windows were opened since the rig was made.
    int windowsOpened() const { return spy.windowsOpened; }
    // The flash frames the unit took in, in order (EEPROM frames left out).
    std::vector<bootsim::FrameRecord> flashFrames() const;
    std::vector<bootsim::FrameRecord> eepromFrames() const;

  private:
};

} // namespace quorvex::testing
