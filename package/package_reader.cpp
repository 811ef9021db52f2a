#include "package/package_reader.h"
#include "net/tftp_packets.h"
#include "base/catalogue.h"
#include "package/cipher.h"
#include "package/file_failure.h"
#include "package/intel_hex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <new>

namespace quorvex {

namespace {

constexpr int NetworkResponseMs = 7000;
constexpr int SerialResponseMs = 2000;
const QLatin1String CrLf("\r\n");

// Names tried in one folder before it counts as unable to take the file: only a name that
// is already taken (by another load, or planted) leads to another try.
constexpr int NameAttempts = 8;
// The body of a network package is read into its image this much at a time.
constexpr qint64 ReadChunk = 64 * 1024;

// The decoded body must not outlive the load, whichever way the load ends.
class RemovedAtEnd {
  public:
    RemovedAtEnd(TemporaryBody& body, Guard& guard) : body_(body), guard_(guard) {}
    ~RemovedAtEnd() {
        if (!body_.remove())
            guard_.log(Failure{FailureNo::PathFileAccessError,
                               DefaultDescription(FailureNo::PathFileAccessError)});
    }
    RemovedAtEnd(const RemovedAtEnd&) = delete;
    RemovedAtEnd& operator=(const RemovedAtEnd&) = delete;

  private:
    TemporaryBody& body_;
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

QString DecodeFailureMessage(const Failure& f) {
    return QStringLiteral("Unable to decode the DFF file. ") + f.description;
}

QString TooLargeMessage(qint64 size, qint64 limit, bool network) {
    return QStringLiteral("The firmware in this DFF file is %1 bytes long; %2 at most %3 bytes.  "
                          "Unable to load the DFF file.")
        .arg(size)
        .arg(network ? QStringLiteral("a network unit takes")
                     : QStringLiteral("a serial unit's firmware file has"))
        .arg(limit);
}

QString OutOfMemoryMessage() {
    return QStringLiteral("Not enough memory to load the DFF file.");
}

// The whole decoded body of a network package, read a chunk at a time.
QByteArray ReadImage(QFileDevice& body) {
    const qint64 size = body.size();
    // The package was measured before it was decoded; one that grew since is not taken in.
    if (size > tftp::MaxImageSize)
        Raise(FailureNo::Overflow);
    QByteArray image(size, Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        const qint64 got = body.read(image.data() + done, std::min(ReadChunk, size - done));
        if (got < 0)
            RaiseFailure(TransferFailure(body));
        if (got == 0)
            Raise(InputPastEndOfFile, QStringLiteral("Input past end of file"));
        done += got;
    }
    return image;
}

bool IsShownToTheUser(const Failure& f) {
    return f.number == FailureNo::FileAlreadyOpen || f.number == FailureNo::PermissionDenied;
}

} // namespace

TemporaryBody::TemporaryBody(const QString& programFolder, NameSource names) {
    if (!names)
        names = &TemporaryBody::RandomName;
    // Whether the program's folder can take the file is found out by making it there: its
    // permission bits say nothing about read-only media, access lists or another user's rights.
    if (!programFolder.isEmpty() && createIn(programFolder, names))
        return;
    privateFolder_ = std::make_unique<QTemporaryDir>(
        QDir(QDir::tempPath()).filePath(QStringLiteral("quorvex-XXXXXX")));
    if (!privateFolder_->isValid()) {
        failure_ = Failure{FailureNo::PathFileAccessError,
                           DefaultDescription(FailureNo::PathFileAccessError)};
        return;
    }
    createIn(privateFolder_->path(), names);
}

TemporaryBody::~TemporaryBody() {
    remove();
}

QString TemporaryBody::RandomName() {
    return QStringLiteral("FWValidate.%1")
        .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
}

bool TemporaryBody::createIn(const QString& folder, const NameSource& names) {
    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
        file_.setFileName(QDir(folder).filePath(names()));
        // NewOnly: made here and now, or not at all; an existing file or link is never opened.
        if (file_.open(QIODevice::ReadWrite | QIODevice::NewOnly)) {
            created_ = true;
            file_.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            return true;
        }
        failure_ = OpenFailure(file_, file_.fileName(), OpenFor::Writing);
        const QFileInfo there(file_.fileName());
        if (!there.exists() && !there.isSymLink())
            return false; // the folder cannot take a file at all
    }
    return false;
}

bool TemporaryBody::remove() {
    if (!created_)
        return true;
    file_.close();
    const QFileInfo there(file_.fileName());
    if ((there.exists() || there.isSymLink()) && !QFile::remove(file_.fileName()))
        return false;
    created_ = false;
    return true;
}

namespace {

bool Load(Session& s, const QString& path, const std::function<void()>& refreshPorts) {
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
    // Without a whole header there is nothing to confirm: the previous package's header must
    // not be offered in its place.
    QFile package(path);
    qint64 packageSize = 0;
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
            packageSize = package.size();
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

    // Judged by the package's length, before a byte of its body is decoded or read: no unit
    // can take more, and decoding it could fill the disk or the memory.
    const qint64 bodySize = std::max<qint64>(0, packageSize - BodyOffset);
    const qint64 limit = network ? tftp::MaxImageSize : MaxSerialBodySize;
    if (bodySize > limit) {
        ShowError(s.prompts, TooLargeMessage(bodySize, limit, network));
        return false;
    }

    if (!AskYesNo(s.prompts, ConfirmQuestion(header)))
        return false;

    TemporaryBody decoded(s.programFolder);
    RemovedAtEnd removed(decoded, guard);
    if (!decoded.isOpen()) {
        guard.log(decoded.failure());
        ShowError(s.prompts, DecodeFailureMessage(decoded.failure()));
        return false;
    }

    // A failing key check writes nothing, so whichever key fits leaves its body behind.
    ProgressDisplay* bar = &s.window.progress();
    QFile& body = decoded.file();
    Failure whyThree;
    Failure whyTwo;
    const bool threePart =
        DecMD5(path, body, PackageKey(header, KeyParts::Three), bar, s.log, &whyThree);
    const bool twoPart = DecMD5(path, body, PackageKey(header, KeyParts::Two), bar, s.log, &whyTwo);
    if (!threePart && !twoPart) {
        // A key that fits but a body that could not be written (a full disk) is no fault of
        // the package.
        const Failure& why = whyThree.number != 0 ? whyThree : whyTwo;
        ShowError(s.prompts,
                  why.number != 0 ? DecodeFailureMessage(why) : InvalidPackageMessage(header));
        return false;
    }

    bool result = false;
    if (!guard.step(
            [&] {
                if (!body.seek(0))
                    RaiseFailure(TransferFailure(body));
            },
            accessBox))
        return false;
    if (network) {
        guard.step(
            [&] {
                s.firmware.ProgramImage = ReadImage(body);
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
    return result;
}

} // namespace

bool LoadDFFFile(Session& s, const QString& path, const std::function<void()>& refreshPorts) {
    try {
        return Load(s, path, refreshPorts);
    } catch (const std::bad_alloc&) {
        // What the load held is released by now and its temporary file is gone.
        Guard guard(s.log, Place::Module(QStringLiteral("LoadDFFFile"), QStringLiteral("modFW")));
        guard.log(Failure{FailureNo::OutOfMemory, DefaultDescription(FailureNo::OutOfMemory)});
        ShowError(s.prompts, OutOfMemoryMessage());
        return false;
    }
}

} // namespace quorvex
