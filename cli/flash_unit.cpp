#include "cli/flash_unit.h"

#include "flow/flash_serial_unit.h"
#include "flow/port_access.h"
#include "flow/report.h"
#include "serial/port_discovery.h"
#include "serial/port_naming.h"
#include "serial/qt_serial_port.h"

#include <QFileInfo>

namespace quorvex::cli {

PortChoice ResolvePort(const QString& given, const QString& folder) {
    PortChoice c;
    c.given = given;
    // "Com 3", "COM3", "com3": read as the window reads its list's entries. "Com 0" names no
    // port, unless a device of that name is there.
    const QFileInfo info(given);
    if (given.trimmed().startsWith(QLatin1String("com"), Qt::CaseInsensitive)) {
        const auto number = PortNumberOf(given);
        if (number && SetsPortNumber(*number)) {
            c.number = *number;
            c.device = PortDeviceName(c.number, folder);
            return c;
        }
        if (!info.exists())
            return c;
    }
    // A device named directly; a link is followed, so that the device itself is opened.
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
                       ErrorSink& log, Report& report, const StopRequest* stop) {
    FlashOutcome out;
    if (StopAsked(stop)) {
        // A unit that --jobs kept waiting when the stop came: its port stays shut, and nobody
        // is asked to reset it.
        out.unit.end = SerialUnitEnd::Interrupted;
        out.unit.text = InterruptedFlashText(SerialFlashResult{}, FramesToSend(firmware));
        out.result = out.unit.text;
        report.tell(out.result, Icon::Error, QString());
        return out;
    }
    // Made here, on the unit's own thread, which owns it from now on.
    QtSerialPort serial;
    const Place place = Place::Module(QStringLiteral("flash"), QStringLiteral("quorvex-cli"));
    SerialUnitOutcome& unit = out.unit;
    unit.text = PortUnusableText;
    if (port.device.isEmpty()) {
        Guard(log, place)
            .log(Failure{FailureNo::InvalidPortNumber,
                         QStringLiteral("Invalid port number: %1 names no port").arg(port.given)});
    } else {
        unit = FlashSerialUnit(
            SerialUnitJob{firmware, {port.number, port.device}, helloAttempts, place, stop}, serial,
            log, report);
    }
    out.result = unit.text;
    if (!unit.opened()) {
        // The window's text would send the technician looking for a program that holds the
        // port; a port this user may not open says so, and who may.
        if (const auto refusal = AccessRefusalOf(port.device)) {
            out.result = QStringLiteral("Permission denied: user %1 may not read and write %2")
                             .arg(refusal->user, port.device);
            // Its lines broken as a box's are, so that the break is printed as one.
            report.tell(QStringLiteral("%1 (%2).\r\n").arg(out.result, refusal->permissions) +
                            PortAccessAdvice(*refusal),
                        Icon::Error, QString());
            return out;
        }
        report.tell(unit.text, Icon::Error, QString());
        return out;
    }
    // The bar follows the program data; the last blocks and the EEPROM bytes lie past it.
    if (unit.end == SerialUnitEnd::Flashed)
        report.progress(1, 1);
    // Told like a box: the state the unit was left in is what the technician must act on.
    if (unit.end == SerialUnitEnd::Interrupted)
        report.tell(unit.text, Icon::Error, QString());
    return out;
}

} // namespace quorvex::cli
