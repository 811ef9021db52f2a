#include "cli/units.h"

#include "base/catalogue.h"
#include "base/conversions.h"
#include "base/prompts.h"
#include "flow/session.h"
#include "flow/window_port.h"
#include "net/host_resolver.h"
#include "net/qt_udp_socket.h"
#include "net/tftp_client.h"
#include "package/cipher.h"
#include "package/package_reader.h"
#include "serial/flashing_sequence.h"
#include "serial/port_discovery.h"
#include "serial/port_naming.h"
#include "serial/qt_serial_port.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <cmath>

namespace quorvex::cli {

namespace {

const QString PortUnusable =
    QStringLiteral("Unable to connect on select COM port.  The port may be in use.");
const QString FinishedStatus = QStringLiteral("Status: Finished.  Ready.");
constexpr int NetworkWatchdogMs = 7000;

// The window's boxes, answered as the technician at the bench would: Yes to loading the
// package; every message kept, the last one being the outcome.
class AnsweringPrompts : public Prompts {
  public:
    explicit AnsweringPrompts(UnitEvents* events = nullptr) : events_(events) {}
    void message(const QString& text, Icon icon, const QString& caption) override {
        last = text;
        lastCaption = caption;
        lastWasError = icon == Icon::Error;
        if (events_)
            events_->told(text, lastWasError);
    }
    bool askYesNo(const QString&, const QString&) override { return true; }
    void openInViewer(const QString&) override {}

    QString last;
    QString lastCaption;
    bool lastWasError = false;

  private:
    UnitEvents* events_;
};

// The window as far as the core draws on it; what a unit's flash or upload shows goes to the
// events, the rest has nothing to draw.
class HeadlessWindow : public WindowPort, public ProgressDisplay {
  public:
    HeadlessWindow(ProgressDisplay* bar, UnitEvents* unit, UploadEvents* upload, QString target)
        : bar_(bar), unit_(unit), upload_(upload), target_(std::move(target)) {}

    void EnableControls(bool) override {}
    void setUpdateCaption(const QString& c) override { caption_ = c; }
    QString updateCaption() const override { return caption_; }
    void setUpdateVisible(bool) override {}
    void setMessage(const QString& text) override {
        if (unit_)
            unit_->stage(text);
    }
    void setStatus(const QString& text) override {
        status_ = text;
        if (upload_)
            upload_->status(text);
    }
    void setProgressStatus(const QString& text) override {
        status_ = text;
        static const QRegularExpression block(QStringLiteral("#([0-9]+)$"));
        const auto m = block.match(text);
        if (upload_ && m.hasMatch())
            upload_->block(m.captured(1).toInt());
        else if (upload_)
            upload_->status(text);
    }
    QString status() const override { return status_; }
    void setSerialPanelVisible(bool) override {}
    void setEthPanelVisible(bool) override {}
    QString targetAddress() const override { return target_; }
    void clearPorts() override {}
    void addPort(const QString&, const QString&) override {}
    int portCount() const override { return 0; }
    void selectPort(int) override {}
    int selectedPortIndex() const override { return -1; }
    QString selectedPortText() const override { return {}; }
    QString selectedPortDevice() const override { return {}; }
    void setBusyPointer(bool) override {}
    void restoreAndRaise() override {}
    void closeWindow() override {}
    ProgressDisplay& progress() override { return *this; }

    void show() override {
        if (bar_)
            bar_->show();
    }
    void fill(double f) override {
        if (bar_)
            bar_->fill(f);
        if (unit_)
            unit_->progress(f);
    }
    void hide() override {
        if (bar_)
            bar_->hide();
    }

  private:
    ProgressDisplay* bar_;
    UnitEvents* unit_;
    UploadEvents* upload_;
    QString target_;
    QString caption_;
    QString status_;
};

// No datagram is ever sent while a package is read or a serial unit flashed.
class NoSocket : public UdpSocket {
  public:
    void setRemoteHost(const QString& h) override { host_ = h; }
    QString remoteHost() const override { return host_; }
    void setRemotePort(int) override {}
    void open() override { Raise(FailureNo::WsaNetDown); }
    void close() override {}
    bool isOpen() const override { return false; }
    void send(const QByteArray&) override { Raise(FailureNo::WsaNetDown); }
    void setArrivalHandler(ArrivalHandler) override {}

  private:
    QString host_;
};

// Which key opens the package, judged by its key check alone: no byte of the body is read.
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

} // namespace

PackageFacts ReadPackage(const QString& path, ErrorSink& log, ProgressDisplay* progress) {
    PackageFacts facts;
    facts.path = path;
    {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray head = f.read(DFFHeader::Size);
            if (head.size() == DFFHeader::Size) {
                facts.headerRead = true;
                facts.header = DFFHeader::fromBytes(head);
            }
        }
    }
    AnsweringPrompts prompts;
    HeadlessWindow window(progress, nullptr, nullptr, {});
    QtSerialPort serial;
    NoSocket socket;
    QTimer timer;
    // An empty program folder: the body is decoded in a private folder of the system's
    // temporary folder, never beside this program or the package.
    Session s{facts.firmware, log, prompts, window, serial, socket, timer, QString(), nullptr};
    const bool loaded = LoadDFFFile(s, path, {});
    if (!facts.headerRead) {
        facts.status = PackageStatus::Unreadable;
        facts.reason = prompts.last;
        if (facts.reason.isEmpty())
            facts.reason = QStringLiteral("Unable to access the DFF file. ") +
                           DefaultDescription(FailureNo::FileNotFound);
        return facts;
    }
    facts.key = KeyOf(path, facts.header);
    facts.reason = prompts.last;
    if (loaded) {
        facts.status = PackageStatus::Valid;
    } else if (prompts.last.startsWith(QLatin1String("Invalid DFF file."))) {
        facts.status = PackageStatus::WrongKey;
    } else if (prompts.last.startsWith(QLatin1String("Unable to access")) ||
               prompts.last.startsWith(QLatin1String("Unable to decode"))) {
        facts.status = PackageStatus::Unreadable;
    } else {
        facts.status = PackageStatus::Damaged;
    }
    if (!loaded)
        facts.firmware.releaseImages();
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
    QList<PortEntry> out;
    QtSerialPort port(folder);
    for (int n = FirstScannedPort; n <= LastScannedPort; ++n) {
        const QString device = port.deviceName(n);
        if (!device.isEmpty() && CanOpenPort(n, port, device))
            out.append({n, QStringLiteral("Com %1").arg(n), device});
    }
    return out;
}

FlashOutcome FlashUnit(const LoadedFirmware& firmware, const PortChoice& port, int helloAttempts,
                       ErrorSink& log, UnitEvents& events) {
    Q_UNUSED(helloAttempts)
    FlashOutcome out;
    LoadedFirmware fw = firmware; // a refusal empties the images: each unit has its own copy
    AnsweringPrompts prompts(&events);
    HeadlessWindow window(nullptr, &events, nullptr, {});
    QtSerialPort serial;
    NoSocket socket;
    QTimer timer;
    Session s{fw, log, prompts, window, serial, socket, timer, QString(), nullptr};
    Guard g(log, Place::Module(QStringLiteral("flash"), QStringLiteral("quorvex-cli")));

    if (const auto settings = SerialSettingsOf(fw.Header.trimmedCode()))
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
        out.result = PortUnusable;
        events.told(PortUnusable, true);
        return out;
    }
    events.stage(QStringLiteral("Please reset the unit... (10 seconds)"));
    SerialFlashOutcome outcome = SerialFlashOutcome::NotReset;
    g.step([&] { outcome = LoadAndSendFirmwareSer(s); });
    g.step([&] { serial.close(); });

    out.unitFound = outcome != SerialFlashOutcome::NotReset;
    out.flashed = outcome == SerialFlashOutcome::Flashed;
    out.result = outcome == SerialFlashOutcome::Refused ? Hello::RefusalCaption : prompts.last;
    if (out.flashed)
        for (int offset = 0; offset + 1 < fw.ProgramImage.size(); offset += 64) {
            bool blank = true;
            for (int i = offset; i < std::min<int>(offset + 64, fw.ProgramImage.size()); ++i)
                blank = blank && std::uint8_t(fw.ProgramImage.at(i)) == 0xFF;
            out.flashBlocks += blank ? 0 : 1;
        }
    return out;
}

UploadOutcome UploadTo(const LoadedFirmware& firmware, const QString& target, int tftpPort,
                       ErrorSink& log, UploadEvents& events) {
    UploadOutcome out;
    LoadedFirmware fw = firmware;
    AnsweringPrompts prompts;
    HeadlessWindow window(nullptr, nullptr, &events, target);
    QtSerialPort serial;
    SystemHostResolver resolver;
    QtUdpSocket socket(resolver);
    QTimer timer;
    timer.setInterval(NetworkWatchdogMs);
    Session s{fw, log, prompts, window, serial, socket, timer, QString(), nullptr};
    TftpClient client(s, tftpPort);
    client.BeginUpload();
    // The watchdog ends a silent transfer after seven seconds; this bound only guards
    // against a peer that keeps answering without ever letting it finish.
    const qint64 blocks = fw.ProgramImage.size() / 512 + 1;
    QDeadlineTimer deadline(NetworkWatchdogMs * 2 + blocks * 1000);
    while (client.inProgress() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (client.inProgress())
        client.EndTftpTransfer();
    out.lastStatus = window.status();
    out.finished = out.lastStatus == FinishedStatus;
    return out;
}

} // namespace quorvex::cli
