#include "package/package_reader.h"
#include "package/catalogue.h"
#include "package/cipher.h"
#include "package/file_failure.h"
#include "package/intel_hex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quorvex {

namespace {

constexpr int NetworkResponseMs = 7000;
constexpr int SerialResponseMs = 2000;
const QLatin1String CrLf("\r\n");

// The decoded body must not outlive the load, whichever way the load ends.
class RemovedAtEnd {
  public:
    RemovedAtEnd(QString path, Guard& guard) : path_(std::move(path)), guard_(guard) {}
    ~RemovedAtEnd() {
        if (QFile::exists(path_) && !QFile::remove(path_))
            guard_.log(Failure{FailureNo::PathFileAccessError,
                               DefaultDescription(FailureNo::PathFileAccessError)});
    }
    RemovedAtEnd(const RemovedAtEnd&) = delete;
    RemovedAtEnd& operator=(const RemovedAtEnd&) = delete;

  private:
    QString path_;
    Guard& guard_;
};

QString AccessMessage(const Failure& f) {
    return QStringLiteral("Unable to access the DFF file. ") + f.description;
}

QString ConfirmQuestion(const DFFHeader& h) {
    return QStringLiteral("Loading firmware file for the following product: ") + CrLf + CrLf +
           ProductDisplayName(h.trimmedCode()) + CrLf + QStringLiteral("Version: ") +
           h.versionText() + CrLf + CrLf + QStringLiteral("Do you want to continue?");
}

QString InvalidPackageMessage(const DFFHeader& h) {
    return QStringLiteral("Invalid DFF file.  Please obtain the latest ") +
           ProductDisplayName(h.trimmedCode()) + QStringLiteral(" software and DFF files.");
}

bool IsShownToTheUser(const Failure& f) {
    return f.number == FailureNo::FileAlreadyOpen || f.number == FailureNo::PermissionDenied;
}

} // namespace

TemporaryBody::TemporaryBody(const QString& programFolder) {
    const QFileInfo folder(programFolder);
    QString base = programFolder;
    if (programFolder.isEmpty() || !folder.isDir() || !folder.isWritable()) {
        privateFolder_ = std::make_unique<QTemporaryDir>(
            QDir(QDir::tempPath()).filePath(QStringLiteral("quorvex-XXXXXX")));
        base = privateFolder_->isValid() ? privateFolder_->path() : QDir::tempPath();
    }
    path_ = QDir(base).filePath(QStringLiteral("FWValidate"));
}

TemporaryBody::~TemporaryBody() = default;

bool LoadDFFFile(Session& s, const QString& path, const std::function<void()>& refreshPorts) {
    if (path.isEmpty())
        return false;
    Guard guard(s.log, Place::Module(QStringLiteral("LoadDFFFile"), QStringLiteral("modFW")));
    // 55 and 70 are for the technician to act on; everything else goes to the log.
    const auto accessBox = [&s](const Failure& f) {
        if (!IsShownToTheUser(f))
            return false;
        ShowError(s.prompts, AccessMessage(f));
        return true;
    };
    const TemporaryBody decoded(s.programFolder);
    const QString temp = decoded.path();
    RemovedAtEnd removed(temp, guard);

    // Without a whole header there is nothing to confirm: the previous package's header must
    // not be offered in its place.
    QFile package(path);
    const bool headerRead = guard.step(
        [&] {
            if (!package.open(QIODevice::ReadOnly))
                RaiseFailure(OpenFailure(package, path, OpenFor::Reading));
            const QByteArray head = package.read(DFFHeader::Size);
            if (package.error() != QFileDevice::NoError)
                RaiseFailure(TransferFailure(package));
            if (head.size() < DFFHeader::Size)
                Raise(InputPastEndOfFile, QStringLiteral("Input past end of file"));
            s.firmware.Header = DFFHeader::fromBytes(head);
        },
        [&s](const Failure& f) {
            ShowError(s.prompts, AccessMessage(f));
            return IsShownToTheUser(f);
        });
    package.close();
    if (!headerRead)
        return false;
    const DFFHeader header = s.firmware.Header;
    const bool network = IsNetworkUnit(s.firmware);

    s.tmrResponse.stop();
    if (network) {
        s.tmrResponse.setInterval(NetworkResponseMs);
        guard.step([&] { s.tftp.close(); }, accessBox);
        s.window.setEthPanelVisible(true);
        s.window.setSerialPanelVisible(false);
        s.window.setStatus(QStringLiteral("Status: Ready."));
    } else {
        s.tmrResponse.setInterval(SerialResponseMs);
        s.window.setEthPanelVisible(false);
        s.window.setSerialPanelVisible(true);
        if (const auto settings = SerialSettingsOf(header.trimmedCode()))
            guard.step([&] { s.serComm.setSettings(*settings); }, accessBox);
        if (refreshPorts)
            guard.step([&] { refreshPorts(); }, accessBox);
    }

    if (!AskYesNo(s.prompts, ConfirmQuestion(header)))
        return false;

    // A failing key check writes nothing, so whichever key fits leaves its body behind.
    ProgressDisplay* bar = &s.window.progress();
    const bool threePart = DecMD5(path, temp, PackageKey(header, KeyParts::Three), bar, s.log);
    const bool twoPart = DecMD5(path, temp, PackageKey(header, KeyParts::Two), bar, s.log);
    if (!threePart && !twoPart) {
        ShowError(s.prompts, InvalidPackageMessage(header));
        return false;
    }

    bool result = false;
    QFile body(temp);
    if (!guard.step(
            [&] {
                if (!body.open(QIODevice::ReadOnly))
                    RaiseFailure(OpenFailure(body, temp, OpenFor::Reading));
            },
            accessBox))
        return false;
    if (network) {
        guard.step(
            [&] {
                QByteArray image = body.readAll();
                if (body.error() != QFileDevice::NoError)
                    RaiseFailure(TransferFailure(body));
                s.firmware.ProgramImage = std::move(image);
                result = true;
            },
            accessBox);
    } else {
        HexImages hex;
        if (guard.step(
                [&] {
                    hex = ReadIntelHex(body);
                    if (body.error() != QFileDevice::NoError)
                        RaiseFailure(TransferFailure(body));
                },
                accessBox)) {
            s.firmware.ProgramImage = hex.program;
            s.firmware.EepromImage = hex.eeprom;
            s.firmware.EepromPresent = hex.eepromPresent;
            s.firmware.ConfigImage = hex.config;
            if (hex.ok)
                s.firmware.ProgramEnd = hex.programEnd;
            if (!hex.message.isEmpty())
                ShowError(s.prompts, hex.message);
            result = hex.ok;
            const int unwritable = FirstUnwritableEepromAddress(hex.eepromPresent);
            if (result && unwritable >= 0) {
                ShowError(s.prompts, UnwritableEepromMessage(unwritable));
                result = false;
            }
        }
    }
    body.close();
    return result;
}

} // namespace quorvex
