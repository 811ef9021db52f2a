#include "cli/flash_unit.h"

#include "base/catalogue.h"
#include "base/identity.h"
#include "serial/flash_report.h"
#include "serial/flashing_sequence.h"
#include "serial/packet_exchange.h"
#include "serial/port_discovery.h"
#include "serial/port_naming.h"
#include "serial/qt_serial_port.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace quorvex::cli {

namespace {

const QString PortUnusable =
    QStringLiteral("Unable to connect on select COM port.  The port may be in use.");

// The window's boxes and message line, told to the unit's events instead. The last box is
// the outcome; a refusal's box is summed up by its caption.
class EventsReport : public FlashReport {
  public:
    explicit EventsReport(UnitEvents& events) : events_(events) {}
    void message(const QString& text) override { events_.stage(text); }
    void progress(qint64 done, qint64 total) override {
        events_.progress(total > 0 ? double(done) / double(total) : 0.0);
    }
    void error(const QString& text, const QString& caption) override {
        events_.told(text, true);
        // A box of its own caption (the refusal) is named by it; the rest by their text.
        outcome = caption.isEmpty() || caption == AppTitle() ? text : caption;
    }
    void info(const QString& text) override {
        events_.told(text, false);
        outcome = text;
    }
    QString outcome;

  private:
    UnitEvents& events_;
};

} // namespace

PortChoice ResolvePort(const QString& given, const QString& folder) {
    PortChoice c;
    c.given = given;
    // "Com 3", "COM3", "com3": the window's numbering.
    static const QRegularExpression com(QStringLiteral("^\\s*com\\s*([0-9]+)\\s*$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto m = com.match(given);
    if (m.hasMatch()) {
        c.number = std::max(1, m.captured(1).toInt());
        c.device = PortDeviceName(c.number, folder);
        return c;
    }
    // A device named directly; a link is followed, so that the device itself is opened.
    const QFileInfo info(given);
    c.device = info.exists() ? info.canonicalFilePath() : given;
    for (int n = FirstScannedPort; n <= LastScannedPort; ++n) {
        const QString numbered = PortDeviceName(n, folder);
        if (numbered.isEmpty())
            break;
        if (QFileInfo(numbered).canonicalFilePath() == c.device) {
            c.number = n;
            break;
        }
    }
    return c;
}

FlashOutcome FlashUnit(const LoadedFirmware& firmware, const PortChoice& port, int helloAttempts,
                       ErrorSink& log, UnitEvents& events) {
    FlashOutcome out;
    helloAttempts = std::max(1, helloAttempts);
    // Made here, on the unit's own thread, which owns it from now on.
    QtSerialPort serial;
    Guard g(log, Place::Module(QStringLiteral("flash"), QStringLiteral("quorvex-cli")));
    // The product's line settings, as the window gives the port when the package is loaded.
    if (const auto settings = SerialSettingsOf(firmware.Header.trimmedCode()))
        g.step([&] { serial.setSettings(*settings); });
    g.step([&] {
        if (port.device.isEmpty())
            Raise(FailureNo::InvalidPortNumber,
                  QStringLiteral("Invalid port number: %1 names no port").arg(port.given));
        serial.setCommDevice(port.number, port.device);
        serial.open();
    });
    out.opened = serial.isOpen();
    if (!out.opened) {
        // The window's text would send the technician looking for a program that holds the
        // port; a port this user may not open says so, and who may.
        if (const auto refusal = AccessRefusalOf(port.device)) {
            out.result = QStringLiteral("Permission denied: user %1 may not read and write %2")
                             .arg(refusal->user, port.device);
            events.told(QStringLiteral("%1 (%2).\nTo use it, join the group that owns it: sudo "
                                       "usermod -aG %3 %4, then log out and in again.")
                            .arg(out.result, refusal->permissions, refusal->group, refusal->user),
                        true);
            return out;
        }
        out.result = PortUnusable;
        events.told(PortUnusable, true);
        return out;
    }
    events.stage(CountdownText(0, helloAttempts));
    EventsReport report(events);
    const SerialLink link{serial, log, SteadyLinkClock()};
    SerialFlashResult result;
    g.step([&] { result = LoadAndSendFirmwareSer(link, firmware, report, helloAttempts); });
    g.step([&] { serial.close(); });

    out.identification = result.identification;
    out.unitFound = result.identification.has_value();
    out.flashBlocks = result.flashBlocks;
    out.eepromBytes = result.eepromBytes;
    out.flashed = result.outcome == SerialFlashOutcome::Flashed;
    // The bar follows the program data; the last blocks and the EEPROM bytes lie past it.
    if (out.flashed)
        events.progress(1.0);
    out.result = report.outcome;
    return out;
}

} // namespace quorvex::cli
