#include "cli/units.h"

#include "base/catalogue.h"
#include "base/identity.h"
#include "flow/flash_serial_unit.h"
#include "net/host_resolver.h"
#include "net/system_udp_socket.h"
#include "net/tftp_client.h"
#include "package/package_reader.h"
#include "serial/port_discovery.h"
#include "serial/port_naming.h"
#include "serial/qt_serial_port.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>
#include <QtEndian>
#include <algorithm>

namespace quorvex::cli {

namespace {

// Which key the package's key check proves, read from its preamble alone: a package refused
// for its body still tells whether its key fits.
QString KeyOf(const QString& path, const DFFHeader& header) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(SeedOffset))
        return {};
    const QByteArray preamble = f.read(SeedSize + DigestSize);
    if (preamble.size() < SeedSize + DigestSize)
        return {};
    const auto seed = qFromLittleEndian<std::int32_t>(preamble.constData());
    const QByteArray check = preamble.mid(SeedSize);
    if (KeyCheckOf(PackageKey(header, KeyParts::Three), seed) == check)
        return QStringLiteral("three-part");
    if (KeyCheckOf(PackageKey(header, KeyParts::Two), seed) == check)
        return QStringLiteral("two-part");
    return {};
}

PackageStatus StatusOf(const LoadRefusal& refusal) {
    return PackageStatus(int(refusal.status));
}

// The window's boxes and message line, told to the unit's events instead.
class EventsReport : public Report {
  public:
    explicit EventsReport(UnitEvents& events) : events_(events) {}
    void stage(const QString& text) override { events_.stage(text); }
    void progress(qint64 done, qint64 total) override {
        events_.progress(total > 0 ? double(done) / double(total) : 0.0);
    }
    void tell(const QString& text, Icon icon, const QString&) override {
        events_.told(text, icon == Icon::Error);
    }
    bool ask(const QString&) override { return false; } // a flash asks nothing

  private:
    UnitEvents& events_;
};

class EventsTftpReport : public TftpReport {
  public:
    explicit EventsTftpReport(UploadEvents& events) : events_(events) {}
    void status(const QString& text) override {
        last = text;
        events_.status(text);
    }
    void step(const QString& text) override {
        last = text;
        static const QRegularExpression block(QStringLiteral("#([0-9]+)$"));
        const auto m = block.match(text);
        if (m.hasMatch())
            events_.block(m.captured(1).toInt());
        else
            events_.status(text);
    }
    void ended() override {}
    QString last;

  private:
    UploadEvents& events_;
};

} // namespace

const int UploadStallSeconds = TftpClient::StallMs / 1000;

PackageFacts ReadPackage(const QString& path, ErrorSink& log, ProgressDisplay* progress) {
    PackageFacts facts;
    facts.path = path;
    auto head = ReadPackageHeader(path, log);
    if (const auto* refused = std::get_if<LoadRefusal>(&head)) {
        facts.status = StatusOf(*refused);
        facts.reason = refused->message;
        return facts;
    }
    const PackageHead& h = std::get<PackageHead>(head);
    facts.headerRead = true;
    facts.header = h.header;
    if (const auto refused = CheckBodySize(h)) {
        facts.status = StatusOf(*refused);
        facts.reason = refused->message;
        return facts;
    }
    auto decoded = DecodePackage(path, h.header, progress, log);
    if (const auto* refused = std::get_if<LoadRefusal>(&decoded)) {
        facts.status = StatusOf(*refused);
        facts.reason = refused->message;
        facts.key = KeyOf(path, h.header);
        return facts;
    }
    DecodedPackage& d = std::get<DecodedPackage>(decoded);
    facts.status = PackageStatus::Valid;
    facts.key =
        d.key == KeyParts::Three ? QStringLiteral("three-part") : QStringLiteral("two-part");
    facts.firmware = std::move(d.firmware);
    return facts;
}

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

QList<PortEntry> ListPorts(const QString& folder) {
    QtSerialPort port(folder);
    return ScanPorts(port);
}

FlashOutcome FlashUnit(const LoadedFirmware& firmware, const PortChoice& port, int helloAttempts,
                       ErrorSink& log, UnitEvents& events) {
    FlashOutcome out;
    // Made here, on the unit's own thread, which owns it from now on.
    QtSerialPort serial;
    const Place place = Place::Module(QStringLiteral("flash"), QStringLiteral("quorvex-cli"));
    SerialUnitOutcome unit;
    unit.text = PortUnusableText;
    if (port.device.isEmpty()) {
        Guard(log, place)
            .log(Failure{FailureNo::InvalidPortNumber,
                         QStringLiteral("Invalid port number: %1 names no port").arg(port.given)});
    } else {
        EventsReport report(events);
        unit = FlashSerialUnit(
            SerialUnitJob{firmware, {port.number, port.device}, helloAttempts, place}, serial, log,
            report);
    }
    out.opened = unit.opened;
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
        out.result = unit.text;
        events.told(unit.text, true);
        return out;
    }
    out.identification = unit.identification;
    out.unitFound = unit.identification.has_value();
    out.flashBlocks = unit.flashBlocks;
    out.eepromBytes = unit.eepromBytes;
    out.flashed = unit.flashed;
    // The bar follows the program data; the last blocks and the EEPROM bytes lie past it.
    if (out.flashed)
        events.progress(1.0);
    out.result = unit.text;
    return out;
}

UploadOutcome UploadTo(const LoadedFirmware& firmware, const QString& target, int tftpPort,
                       ErrorSink& log, UploadEvents& events) {
    UploadOutcome out;
    SystemHostResolver resolver;
    SystemUdpSocket socket(resolver);
    EventsTftpReport report(events);
    TftpClient client(socket, log, report, tftpPort);
    client.BeginUpload(firmware.ProgramImage, firmware.Header.trimmedCode(), target);
    // No bound of its own: the client ends every transfer itself, on its last acknowledgement,
    // an error packet, the watchdog's silence, or a stall (no block acknowledged while the
    // unit goes on talking). A bound by the image's size would let a unit that never
    // progresses hold a large upload for hours. The transfer runs on its own thread; this one
    // sleeps in its event loop, where the report's calls arrive, and looks every 20 ms.
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (!client.inProgress())
            loop.quit();
    });
    look.start(20);
    if (client.inProgress())
        loop.exec();
    out.lastStatus = report.last;
    out.finished = client.outcome() == TftpOutcome::Finished;
    return out;
}

} // namespace quorvex::cli
