#pragma once
// Flashing one serial unit on one port, as both front ends do it: the port is opened with the
// product's line settings, the unit's bootloader is called while the technician resets it, the
// firmware is written and the port is closed again.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "flow/report.h"
#include "serial/firmware_transfer.h"
#include "serial/flash_report.h"
#include "serial/flashing_sequence.h"
#include "serial/serial_port.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace quorvex {

// What the technician is told when the chosen port does not open.
extern const QString PortUnusableText;

// The port as the list or the command line named it: its number and the device found for it.
// A number outside 1..255 leaves the port as it was set before, and one still open is then
// flashed on as it is.
struct SerialPortPick {
    int number = 0;
    QString device;
};

// The number a port's name gives, "Com 12" -> 12: lower-cased, every "com" removed, the
// leading number rounded to a whole number. None when that lies outside a 16-bit integer.
std::optional<int> PortNumberOf(const QString& name);
// Whether a pick of `number` sets the port's number: 1..255.
bool SetsPortNumber(int number);

struct SerialUnitJob {
    const LoadedFirmware& firmware;
    SerialPortPick port;
    // Hellos sent while the unit is reset, one a second of the countdown.
    int helloAttempts = Hello::Attempts;
    // The procedure the log's records of the port name.
    Place place;
    // When given and requested, the flash stops before its next hello or frame and the port is
    // closed: quorvex-cli asks on a signal, the window when it is closed mid-flash.
    const StopRequest* stop = nullptr;
};

// How a flash on one port ended.
enum class SerialUnitEnd {
    PortUnusable, // the port did not open
    PortGone,     // the device behind the pick has gone since the ports were listed
    Unplugged,    // the device went away while the unit was being called: nothing was written
    NoAnswer,     // no unit answered the hellos
    Refused,      // the unit is not the one the package is for: nothing was written
    Rejected,     // the unit answered a frame with "N"
    Failed,       // a frame went unanswered, or the port failed during the transfer
    Interrupted,  // a stop was asked for before the flash was over
    Flashed,
};

struct SerialUnitOutcome {
    SerialUnitEnd end = SerialUnitEnd::PortUnusable;
    // The byte the unit answered the hello with; none when no unit answered.
    std::optional<std::uint8_t> identification;
    int flashBlocks = 0; // flash frames the unit accepted
    int eepromBytes = 0;
    // The last box's text (a refusal: its caption); PortUnusableText when the port did not open,
    // which the front end tells in its own way; for an interrupted flash, how far it got.
    QString text;

    bool opened() const {
        return end != SerialUnitEnd::PortUnusable && end != SerialUnitEnd::PortGone;
    }
};

// The serial flash's reports, told in the front end's one report shape.
class FlashReportTo : public FlashReport {
  public:
    explicit FlashReportTo(Report& report) : report_(report) {}
    void message(const QString& text) override { report_.stage(text); }
    void progress(qint64 done, qint64 total) override { report_.progress(done, total); }
    void error(const QString& text, const QString& caption) override;
    void info(const QString& text) override;
    // A box of a caption of its own (the refusal) is named by it, the others by their text.
    const QString& lastTold() const { return last_; }

  private:
    Report& report_;
    QString last_;
};

// What the technician is told of a flash stopped after `written` of `toWrite`: "interrupted
// after 77 of 253 blocks: flash it again".
QString InterruptedFlashText(const SerialFlashResult& written, const TransferCount& toWrite);

// Runs on the calling thread and sleeps there between the bytes of the exchange: the window
// calls it on its worker. The port belongs to that thread until this returns.
SerialUnitOutcome FlashSerialUnit(const SerialUnitJob& job, SerialPort& port, ErrorSink& log,
                                  Report& report);

} // namespace quorvex
