#include "flow/flash_serial_unit.h"

#include "base/catalogue.h"
#include "base/conversions.h"
#include "base/identity.h"
#include "flow/serial_ports.h"
#include "serial/packet_exchange.h"

#include <algorithm>
#include <cmath>

namespace quorvex {

const QString PortUnusableText =
    QStringLiteral("Unable to connect on select COM port.  The port may be in use.");

void FlashReportTo::error(const QString& text, const QString& caption) {
    report_.tell(text, Icon::Error, caption);
    last_ = caption.isEmpty() || caption == AppTitle() ? text : caption;
}

void FlashReportTo::info(const QString& text) {
    report_.tell(text, Icon::Information, AppTitle());
    last_ = text;
}

QString InterruptedFlashText(const SerialFlashResult& written, const TransferCount& toWrite) {
    if (!written.identification)
        return QStringLiteral("interrupted before the unit answered: nothing was written");
    QString done = QStringLiteral("interrupted after %1 of %2 blocks")
                       .arg(written.flashBlocks)
                       .arg(toWrite.flashBlocks);
    if (written.eepromBytes > 0 ||
        (toWrite.eepromBytes > 0 && written.flashBlocks == toWrite.flashBlocks))
        done += QStringLiteral(" and %1 of %2 EEPROM bytes")
                    .arg(written.eepromBytes)
                    .arg(toWrite.eepromBytes);
    return done + QStringLiteral(": flash it again");
}

std::optional<int> PortNumberOf(const QString& name) {
    const double v = std::nearbyint(LeadingNumber(name.toLower().remove(QStringLiteral("com"))));
    if (v < -32768 || v > 32767)
        return std::nullopt;
    return int(v);
}

bool SetsPortNumber(int number) {
    return number >= 1 && number <= 255;
}

namespace {

SerialUnitEnd EndOf(SerialFlashOutcome outcome) {
    switch (outcome) {
    case SerialFlashOutcome::Flashed:
        return SerialUnitEnd::Flashed;
    case SerialFlashOutcome::Refused:
        return SerialUnitEnd::Refused;
    case SerialFlashOutcome::TransferRejected:
        return SerialUnitEnd::Rejected;
    case SerialFlashOutcome::NotReset:
        return SerialUnitEnd::NoAnswer;
    case SerialFlashOutcome::Interrupted:
        return SerialUnitEnd::Interrupted;
    case SerialFlashOutcome::PortGone:
        return SerialUnitEnd::Unplugged;
    case SerialFlashOutcome::TransferFailed:
        break;
    }
    return SerialUnitEnd::Failed;
}

} // namespace

SerialUnitOutcome FlashSerialUnit(const SerialUnitJob& job, SerialPort& port, ErrorSink& log,
                                  Report& report) {
    Guard g(log, job.place);
    SerialUnitOutcome out;
    const LoadedFirmware& fw = job.firmware;
    g.step([&] { UseLineSettingsOf(fw.Header, port); });
    if (SetsPortNumber(job.port.number)) {
        g.step([&] { CloseSerialPort(port); });
        // The device the list showed, not whatever holds the number now.
        g.step([&] { port.setCommDevice(job.port.number, job.port.device); });
    }
    // A port that is still open is flashed on as it is; that is no failure worth a record.
    bool gone = false;
    g.step([&] { port.open(); },
           [&](const Failure& f) {
               gone = f.number == FailureNo::InvalidPortNumber;
               return f.number == FailureNo::PortAlreadyOpen;
           });
    if (!port.isOpen()) {
        out.end = gone ? SerialUnitEnd::PortGone : SerialUnitEnd::PortUnusable;
        out.text = PortUnusableText;
        return out;
    }

    const int attempts = std::max(1, job.helloAttempts);
    g.step([&] { report.stage(CountdownText(0, attempts)); });
    FlashReportTo told(report);
    SerialFlashResult result;
    g.step([&] {
        result = CallUnitAndWriteFirmware(
            SerialLink{port, log, SteadyLinkClock(), nullptr, job.stop}, fw, told, attempts);
    });
    g.step([&] { CloseSerialPort(port); });

    out.identification = result.identification;
    out.flashBlocks = result.flashBlocks;
    out.eepromBytes = result.eepromBytes;
    out.end = EndOf(result.outcome);
    out.text = out.end == SerialUnitEnd::Interrupted
                   ? InterruptedFlashText(result, FramesToSend(fw))
                   : told.lastTold();
    return out;
}

} // namespace quorvex
